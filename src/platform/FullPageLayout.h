#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWebEnginePage;

// Readies a page for a picture of its whole height: scrolls it down once, a viewport at a
// time, so that content loaded on sight comes in, goes back to the top, and tells how tall
// the page is then.
class FullPageLayout : public QObject
{
    Q_OBJECT

public:
    explicit FullPageLayout(QObject* parent = nullptr);

    // Scrolls no further than `maxHeight` CSS pixels down.
    void Start(QWebEnginePage* page, int maxHeight);
    void Cancel();
    bool IsActive() const { return m_active; }

Q_SIGNALS:
    // The page's height in CSS pixels, at most the maximum; 0 when it could not be told.
    void Measured(int height);

private:
    void Poll();

    QPointer<QWebEnginePage> m_page;
    int m_maxHeight = 0;
    bool m_active = false;
    bool m_asked = false;
    quint64 m_token = 0;
    int m_polls = 0;
    QTimer m_poll;
};
