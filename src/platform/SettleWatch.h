#pragma once

#include "capture/CaptureOptions.h"
#include "capture/PageSettling.h"
#include "capture/WebBrowser.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWebEnginePage;
class QWebEngineScript;

// The wait between a page's load event and its capture: asks the probe in the page what it
// is still waiting for until PageSettling calls it settled, or the longest wait is over.
// It also reads what became of the page's consent banner.
class SettleWatch : public QObject
{
    Q_OBJECT

public:
    explicit SettleWatch(const TCaptureOptions& options, QObject* parent = nullptr);

    // Between watches: the next one waits as these say.
    void SetOptions(const TCaptureOptions& options);

    // The probe, to be in every page before its first script runs.
    static QWebEngineScript ProbeScript();

    // Starts watching `page`, which has just fired its load event; Finished follows.
    void Start(QWebEnginePage* page);
    void Cancel();
    bool IsActive() const { return m_active; }

Q_SIGNALS:
    void Finished(const TSettleReport& report);

private:
    void Poll();
    void OnAnswer(const QVariant& answer);
    void Finish(bool settled);

    TCaptureOptions m_options;
    PageSettling m_settling;
    QPointer<QWebEnginePage> m_page;
    bool m_active = false;
    bool m_asked = false; // a question is on its way to the page
    quint64 m_token = 0;  // answers to an earlier watch count for nothing
    qint64 m_askedAt = 0;
    QString m_consent;
    QElapsedTimer m_clock;
    QTimer m_poll;
};
