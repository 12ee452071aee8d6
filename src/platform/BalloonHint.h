#pragma once

#include <QPainterPath>
#include <QPointer>
#include <QWidget>

// A text balloon whose tail points at a screen point. It is modeless and goes at the next
// key press or mouse click, or when the application loses activation; a new balloon
// replaces the one showing.
class TBalloonHint : public QWidget
{
    Q_OBJECT

public:
    static TBalloonHint* Show(const QString& text, const QPoint& screenPoint);
    static TBalloonHint* Current();

    QPoint TipPoint() const { return m_tip; }
    QString Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TBalloonHint(const QString& text, const QPoint& screenPoint);
    void Dismiss();
    QPainterPath Shape() const;

    QString m_text;
    QPoint m_tip;
    QRect m_body;
    static QPointer<TBalloonHint> s_current;
};
