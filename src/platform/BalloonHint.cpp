#include "platform/BalloonHint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolTip>

QPointer<TBalloonHint> TBalloonHint::s_current;

namespace {

constexpr int kShadow = 4;
constexpr int kTail = 12;
constexpr int kPadding = 8;

} // namespace

TBalloonHint* TBalloonHint::Show(const QString& text, const QPoint& screenPoint)
{
    if (s_current) s_current->Dismiss();
    s_current = new TBalloonHint(text, screenPoint);
    s_current->show();
    return s_current;
}

TBalloonHint* TBalloonHint::Current()
{
    return s_current;
}

TBalloonHint::TBalloonHint(const QString& text, const QPoint& screenPoint)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), m_text(text),
      m_tip(screenPoint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("balloonHint"));
    setAccessibleName(text);
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    setFont(font);

    const QRect textRect = QFontMetrics(font).boundingRect(QRect(0, 0, 400, 1000), Qt::TextWordWrap, m_text);
    m_body = QRect(0, kTail, textRect.width() + 2 * kPadding, textRect.height() + 2 * kPadding);
    resize(m_body.width() + kShadow, m_body.bottom() + 1 + kShadow);
    // The tail starts near the body's left edge and points up at the screen point.
    move(m_tip - QPoint(kTail + kPadding, 0));
    // A mask rather than a translucent window: without a compositor, translucency is black.
    setMask(QRegion(Shape().toFillPolygon().toPolygon()) +
            QRegion(Shape().translated(kShadow, kShadow).toFillPolygon().toPolygon()));
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) Dismiss();
    });
}

void TBalloonHint::Dismiss()
{
    qApp->removeEventFilter(this);
    close();
}

bool TBalloonHint::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        Dismiss();
        break;
    default:
        break;
    }
    return false;
}

QPainterPath TBalloonHint::Shape() const
{
    QPainterPath shape;
    shape.addRoundedRect(m_body, 6, 6);
    QPolygonF tail;
    tail << QPointF(kTail + kPadding, 0) << QPointF(kPadding + 4, kTail + 1)
         << QPointF(kPadding + 2 * kTail, kTail + 1);
    shape.addPolygon(tail);
    return shape.simplified();
}

void TBalloonHint::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Shape();
    painter.fillPath(shape.translated(kShadow, kShadow), QColor(0x80, 0x80, 0x80));
    const QPalette tips = QToolTip::palette();
    painter.fillPath(shape, tips.color(QPalette::ToolTipBase));
    painter.setPen(tips.color(QPalette::ToolTipText));
    painter.drawPath(shape);
    painter.drawText(m_body.adjusted(kPadding, kPadding, -kPadding, -kPadding), Qt::TextWordWrap, m_text);
}
