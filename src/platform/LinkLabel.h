#pragma once

#include <QByteArray>
#include <QLabel>

// A caption that looks and acts like a link: underlined, a pointing hand, blue while the
// mouse is over it, and an address it hands on when clicked.
class TLinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TLinkLabel(QWidget* parent = nullptr);

    void SetLink(const QString& caption, const QByteArray& address);
    QByteArray Address() const { return m_address; }

Q_SIGNALS:
    void Clicked(const QByteArray& address);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetHover(bool hover);
    QByteArray m_address;
};
