#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QWebEnginePage;

// Evaluates a script expression in a page until it is truthy, then says so. It never gives
// up by itself: the capture's own time-out decides how long a condition may take.
class ConditionWatch : public QObject
{
    Q_OBJECT

public:
    explicit ConditionWatch(QObject* parent = nullptr);

    // The expression that holds once an element matching `selector` exists and is visible.
    static QString SelectorVisible(const QString& selector);

    void Start(QWebEnginePage* page, const QString& expression);
    void Cancel();
    bool IsActive() const { return m_active; }

Q_SIGNALS:
    void Met();

private:
    void Poll();

    QPointer<QWebEnginePage> m_page;
    QString m_expression;
    bool m_active = false;
    bool m_asked = false;
    quint64 m_token = 0;
    QTimer m_poll;
};
