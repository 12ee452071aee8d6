#pragma once

#include "capture/PageCapture.h"
#include "capture/RowResult.h"
#include "capture/WebBrowser.h"
#include "urllist/UrlJob.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// What a run asks of each row: where and how its thumbnail is written, and the viewport and
// options its page is loaded with. A lane takes it as the row starts and keeps it to the end.
struct TBatchSettings
{
    QString Folder;
    TCaptureSizes Sizes;
    TCaptureOptions Options;
    QString Extension = QStringLiteral("jpg");
    // Leave out rows whose thumbnail file already exists.
    bool Skip = true;
    // A page not loaded within this time, or not showing what it is waited for, is an error;
    // the batch goes on. The waits after that (settling, the fixed wait) have limits of their own.
    int TimeoutMs = 30000;
    // Further attempts, each on a fresh renderer, for a row that failed in a way that may
    // pass: a time-out, a network failure, a renderer that died or hung, no painted frame.
    int Retries = 1;
    // Of JPEG and WebP thumbnails, 1 to 100.
    int Quality = 90;
};

// Whether a load that failed this way may end otherwise on a fresh renderer: the server's
// own answer, a refused certificate and an address the engine refuses come out the same
// every time.
bool MayPassOnRetry(WebBrowser::Failure failure);

// Captures one row at a time through one browser: the browser is given the row's viewport
// and options, the page is loaded, captured the moment it is complete and written to the
// row's file. A row that failed in a way another attempt may mend is tried again on a fresh
// renderer first.
class CaptureLane : public QObject
{
    Q_OBJECT

public:
    // `browser` has the default options until a row asks for others.
    explicit CaptureLane(WebBrowser& browser, QObject* parent = nullptr);

    bool IsIdle() const { return m_index < 0; }
    // The file of the row in progress; empty when idle.
    const QByteArray& Path() const { return m_path; }

    // Starts row `index` (the caller's numbering) as `settings` ask; returns at once.
    void Run(int index, const QByteArray& url, const QByteArray& path, const TBatchSettings& settings);
    // Gives up the row in progress without a word: no RowDone follows.
    void Abort();

Q_SIGNALS:
    void Downloading(int index);
    // The result's Status is Success or Error.
    void RowDone(int index, const TRowResult& result);

private:
    void StartAttempt();
    void OnBeforeNavigate();
    void OnNavigateError(const QString& reason, WebBrowser::Failure failure);
    void OnDocumentComplete();
    void OnLoaded();
    void OnLoadingAgain();
    void OnTimeout();
    // `retryable`: another attempt may end otherwise.
    void EndAttempt(const QByteArray& status, const QString& reason, bool retryable);
    void EndRow(const QByteArray& status, const QString& reason);

    WebBrowser& m_browser;
    TBatchSettings m_settings; // the row's
    TCaptureOptions m_options; // those the browser has
    int m_index = -1;
    quint64 m_run = 0; // which row a queued retry is for
    QByteArray m_url;
    QByteArray m_path;
    int m_attempt = 0;
    bool m_failed = false; // the current attempt's load reported an error
    WebBrowser::Failure m_failure = WebBrowser::Failure::Network;
    QString m_error;
    QSize m_written;  // the last thumbnail's size
    QTimer m_timeout; // runs while the page loads, from the attempt's start
    QElapsedTimer m_attemptClock;
    QElapsedTimer m_clock;
};
