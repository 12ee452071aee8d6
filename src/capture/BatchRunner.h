#pragma once

#include "capture/PageCapture.h"
#include "capture/WebBrowser.h"
#include "urllist/UrlJob.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

struct TBatchSettings
{
    QString Folder;
    TCaptureSizes Sizes;
    QString Extension = QStringLiteral("jpg");
    // Leave out rows whose thumbnail file already exists.
    bool Skip = true;
    // A page that is not complete within this time is an error; the batch goes on.
    int TimeoutMs = 30000;
    // Further attempts, each on a fresh renderer, for a row that failed in a way that may
    // pass: a time-out, a network failure, a renderer that died or hung, no painted frame.
    int Retries = 1;
};

// Captures every row of a list, in order, through one browser, without a window: each
// row is loaded, captured the moment its page is complete, and ends "Success", "Error"
// or "Skipped". A row that failed in a way another attempt may mend is tried again first.
class BatchRunner : public QObject
{
    Q_OBJECT

public:
    BatchRunner(WebBrowser& browser, QObject* parent = nullptr);

    void Start(const QList<TUrlJob>& jobs, const TBatchSettings& settings);
    bool IsRunning() const { return m_running; }
    const QList<TUrlJob>& Jobs() const { return m_jobs; }

Q_SIGNALS:
    void RowStarted(int index);
    // The row's final status is in Jobs()[index].Status; `reason` explains an error.
    void RowFinished(int index, const QString& reason);
    void Finished();

private:
    void StartNext();
    void StartAttempt();
    void OnBeforeNavigate();
    void OnNavigateError(const QString& reason, WebBrowser::Failure failure);
    void OnDocumentComplete();
    void OnTimeout();
    // `retryable`: another attempt may end otherwise.
    void EndAttempt(const QByteArray& status, const QString& reason, bool retryable);
    void FinishRow(const QByteArray& status, const QString& reason);

    WebBrowser& m_browser;
    TBatchSettings m_settings;
    QList<TUrlJob> m_jobs;
    bool m_running = false;
    int m_current = -1;
    int m_next = 0;
    int m_attempt = 0;
    bool m_failed = false; // the current attempt's load reported an error
    WebBrowser::Failure m_failure = WebBrowser::Failure::Network;
    QString m_error;
    QTimer m_timeout;
};
