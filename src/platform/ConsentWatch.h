#pragma once

#include "capture/WebBrowser.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWebEnginePage;

// The last word on a page's consent banner before its capture: asks the page's consent
// check until it is done with the banner, whether or not the page was left to settle. With
// no settling, a banner seen at the load event is still dealt with.
class ConsentWatch : public QObject
{
    Q_OBJECT

public:
    explicit ConsentWatch(QObject* parent = nullptr);

    // Starts asking `page`; `report` is what the wait before found, passed on with what
    // became of the banner.
    void Start(QWebEnginePage* page, const TSettleReport& report);
    void Cancel();
    bool IsActive() const { return m_active; }

Q_SIGNALS:
    void Finished(const TSettleReport& report);

private:
    void Ask();
    void OnTimer();
    void OnAnswer(const QString& consent);
    void Finish();

    QPointer<QWebEnginePage> m_page;
    TSettleReport m_report;
    bool m_active = false;
    bool m_asked = false; // a question is on its way to the page
    quint64 m_token = 0;  // answers to an earlier watch count for nothing
    QElapsedTimer m_clock;
    QTimer m_timer; // the next question, or the end of the wait for an answer
};
