#include "capture/CaptureLane.h"

#include "common/ByteFile.h"

CaptureLane::CaptureLane(WebBrowser& browser, const TBatchSettings& settings, QObject* parent)
    : QObject(parent), m_browser(browser), m_settings(settings)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &CaptureLane::OnTimeout);
    connect(&m_browser, &WebBrowser::BeforeNavigate2, this, &CaptureLane::OnBeforeNavigate);
    connect(&m_browser, &WebBrowser::NavigateError, this, &CaptureLane::OnNavigateError);
    connect(&m_browser, &WebBrowser::DocumentComplete, this, &CaptureLane::OnDocumentComplete);
}

void CaptureLane::Run(int index, const QByteArray& url, const QByteArray& path)
{
    m_index = index;
    m_url = url;
    m_path = path;
    m_attempt = 1;
    m_clock.start();
    StartAttempt();
}

void CaptureLane::StartAttempt()
{
    m_failed = false;
    m_error.clear();
    m_timeout.start(m_settings.TimeoutMs);
    m_browser.Navigate(m_url);
}

void CaptureLane::OnBeforeNavigate()
{
    if (m_index >= 0 && !m_failed) Q_EMIT Downloading(m_index);
}

void CaptureLane::OnNavigateError(const QString& reason, WebBrowser::Failure failure)
{
    if (m_index < 0) return;
    m_failed = true;
    m_failure = failure;
    m_error = reason;
}

void CaptureLane::OnDocumentComplete()
{
    if (m_index < 0) return;
    if (m_failed) {
        // The server's own answer and a refused certificate come out the same every time.
        const bool retryable = m_failure == WebBrowser::Failure::Network ||
                               m_failure == WebBrowser::Failure::Renderer || m_failure == WebBrowser::Failure::Paint;
        EndAttempt(JobStatus::Error, m_error, retryable);
        return;
    }
    QString error;
    if (CapturePageToFile(m_browser, m_settings.Sizes, m_path, &error))
        EndAttempt(JobStatus::Success, {}, false);
    else
        EndAttempt(JobStatus::Error, error, false);
}

void CaptureLane::OnTimeout()
{
    if (m_index < 0) return;
    m_browser.Stop();
    EndAttempt(JobStatus::Error, QStringLiteral("the page did not load within %1 s").arg(m_settings.TimeoutMs / 1000.0),
               true);
}

void CaptureLane::EndAttempt(const QByteArray& status, const QString& reason, bool retryable)
{
    m_timeout.stop();
    if (status == JobStatus::Error && retryable && m_attempt <= m_settings.Retries) {
        ++m_attempt;
        m_browser.RenewRenderer();
        // Not from inside the browser's own signal: the next Navigate starts on a clean stack.
        QTimer::singleShot(0, this, [this] {
            if (m_index >= 0) StartAttempt();
        });
        return;
    }
    const bool several = status == JobStatus::Error && m_attempt > 1;
    EndRow(status, several ? QStringLiteral("%1 (%2 attempts)").arg(reason).arg(m_attempt) : reason);
}

void CaptureLane::EndRow(const QByteArray& status, const QString& reason)
{
    TRowResult result;
    result.Status = status;
    result.Reason = reason;
    result.Attempts = m_attempt;
    result.Ms = m_clock.elapsed();
    result.HttpStatus = m_browser.HttpStatus();
    result.FinalUrl = m_browser.LocationURL();
    if (status == JobStatus::Success) {
        const TSettleReport settle = m_browser.SettleReport();
        result.Settled = settle.Settled;
        result.SettleMs = settle.SettleMs;
        result.Consent = settle.Consent;
    }
    // A page with nothing to draw is a success that writes no file.
    const qint64 bytes = ByteFile::RegularFileSize(m_path);
    if (status == JobStatus::Success && bytes >= 0) {
        result.File = m_path;
        result.Bytes = bytes;
        result.Width = m_settings.Sizes.ThumbX;
        result.Height = m_settings.Sizes.ThumbY;
    }
    const int index = m_index;
    m_index = -1;
    m_path.clear();
    Q_EMIT RowDone(index, result);
}
