#include "capture/BatchRunner.h"

#include "capture/CaptureSettings.h"
#include "capture/WebBrowser.h"
#include "common/ByteFile.h"
#include "urllist/JobId.h"

BatchRunner::BatchRunner(WebBrowser& browser, QObject* parent) : QObject(parent), m_browser(browser)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &BatchRunner::OnTimeout);
    connect(&m_browser, &WebBrowser::BeforeNavigate2, this, &BatchRunner::OnBeforeNavigate);
    connect(&m_browser, &WebBrowser::NavigateError, this, &BatchRunner::OnNavigateError);
    connect(&m_browser, &WebBrowser::DocumentComplete, this, &BatchRunner::OnDocumentComplete);
}

void BatchRunner::Start(const QList<TUrlJob>& jobs, const TBatchSettings& settings)
{
    m_jobs = jobs;
    m_settings = settings;
    m_next = 0;
    m_current = -1;
    m_running = true;
    for (TUrlJob& job : m_jobs) {
        const bool exists = ByteFile::FileExists(ThumbnailPath(m_settings.Folder, job.Id, m_settings.Extension));
        job.Status = m_settings.Skip && exists ? JobStatus::Skipped : JobStatus::Pending;
    }
    // Later rows wait for the event loop, so a caller can connect to the signals first.
    QTimer::singleShot(0, this, &BatchRunner::StartNext);
}

void BatchRunner::StartNext()
{
    while (m_next < m_jobs.size()) {
        const int index = m_next++;
        TUrlJob& job = m_jobs[index];
        if (job.Status != JobStatus::Pending) {
            Q_EMIT RowFinished(index, {});
            continue;
        }
        Q_EMIT RowStarted(index);
        if (!IsSafeFileId(job.Id)) {
            job.Status = JobStatus::Error;
            Q_EMIT RowFinished(index, QStringLiteral("the ID would name a file outside the output folder"));
            continue;
        }
        m_current = index;
        m_attempt = 1;
        StartAttempt();
        return;
    }
    m_current = -1;
    m_running = false;
    Q_EMIT Finished();
}

void BatchRunner::StartAttempt()
{
    m_failed = false;
    m_error.clear();
    m_timeout.start(m_settings.TimeoutMs);
    m_browser.Navigate(m_jobs[m_current].Url);
}

void BatchRunner::OnBeforeNavigate()
{
    if (m_current >= 0 && !m_failed) m_jobs[m_current].Status = JobStatus::Downloading;
}

void BatchRunner::OnNavigateError(const QString& reason, WebBrowser::Failure failure)
{
    if (m_current < 0) return;
    m_jobs[m_current].Status = JobStatus::Error;
    m_failed = true;
    m_failure = failure;
    m_error = reason;
}

void BatchRunner::OnDocumentComplete()
{
    if (m_current < 0) return;
    if (m_failed) {
        // The server's own answer and a refused certificate come out the same every time.
        const bool retryable = m_failure == WebBrowser::Failure::Network ||
                               m_failure == WebBrowser::Failure::Renderer || m_failure == WebBrowser::Failure::Paint;
        EndAttempt(JobStatus::Error, m_error, retryable);
        return;
    }
    const QByteArray path = ThumbnailPath(m_settings.Folder, m_jobs[m_current].Id, m_settings.Extension);
    QString error;
    if (CapturePageToFile(m_browser, m_settings.Sizes, path, &error))
        EndAttempt(JobStatus::Success, {}, false);
    else
        EndAttempt(JobStatus::Error, error, false);
}

void BatchRunner::OnTimeout()
{
    if (m_current < 0) return;
    m_browser.Stop();
    EndAttempt(JobStatus::Error, QStringLiteral("the page did not load within %1 s").arg(m_settings.TimeoutMs / 1000.0),
               true);
}

void BatchRunner::EndAttempt(const QByteArray& status, const QString& reason, bool retryable)
{
    m_timeout.stop();
    if (status == JobStatus::Error && retryable && m_attempt <= m_settings.Retries) {
        ++m_attempt;
        m_browser.RenewRenderer();
        // Not from inside the browser's own signal: the next Navigate starts on a clean stack.
        QTimer::singleShot(0, this, [this] {
            if (m_current >= 0) StartAttempt();
        });
        return;
    }
    if (status == JobStatus::Error && m_attempt > 1)
        FinishRow(status, QStringLiteral("%1 (%2 attempts)").arg(reason).arg(m_attempt));
    else
        FinishRow(status, reason);
}

void BatchRunner::FinishRow(const QByteArray& status, const QString& reason)
{
    const int index = m_current;
    m_current = -1;
    m_jobs[index].Status = status;
    Q_EMIT RowFinished(index, reason);
    QTimer::singleShot(0, this, &BatchRunner::StartNext);
}
