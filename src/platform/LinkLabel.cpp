#include "platform/LinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent)
{
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    // Captions come from the reseller's profile: never markup, never a link of their own.
    setTextFormat(Qt::PlainText);
}

void TLinkLabel::SetLink(const QString& caption, const QByteArray& address)
{
    setText(caption);
    setAccessibleName(caption);
    m_address = address;
}

void TLinkLabel::SetHover(bool hover)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, hover ? QColor(Qt::blue) : QLabel().palette().color(QPalette::WindowText));
    setPalette(p);
}

void TLinkLabel::enterEvent(QEnterEvent* event)
{
    SetHover(true);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event)
{
    SetHover(false);
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && !text().isEmpty())
        Q_EMIT Clicked(m_address);
    QLabel::mouseReleaseEvent(event);
}

void TLinkLabel::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Space) && !text().isEmpty()) {
        Q_EMIT Clicked(m_address);
        return;
    }
    QLabel::keyPressEvent(event);
}
