#include "capture/CaptureLane.h"

#include "common/ByteFile.h"

bool MayPassOnRetry(WebBrowser::Failure failure)
{
    switch (failure) {
    case WebBrowser::Failure::Network:
    case WebBrowser::Failure::Renderer:
    case WebBrowser::Failure::Paint:
        return true;
    case WebBrowser::Failure::HttpStatus:
    case WebBrowser::Failure::Certificate:
    case WebBrowser::Failure::Address:
        return false;
    }
    return false;
}

CaptureLane::CaptureLane(WebBrowser& browser, QObject* parent) : QObject(parent), m_browser(browser)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &CaptureLane::OnTimeout);
    connect(&m_browser, &WebBrowser::BeforeNavigate2, this, &CaptureLane::OnBeforeNavigate);
    connect(&m_browser, &WebBrowser::NavigateError, this, &CaptureLane::OnNavigateError);
    connect(&m_browser, &WebBrowser::DocumentComplete, this, &CaptureLane::OnDocumentComplete);
    connect(&m_browser, &WebBrowser::Loaded, this, &CaptureLane::OnLoaded);
    connect(&m_browser, &WebBrowser::LoadingAgain, this, &CaptureLane::OnLoadingAgain);
}

void CaptureLane::Run(int index, const QByteArray& url, const QByteArray& path, const TBatchSettings& settings)
{
    m_settings = settings;
    // New options cost the browser a fresh page: only when they change.
    if (m_settings.Options != m_options) {
        m_browser.SetOptions(m_settings.Options);
        m_options = m_settings.Options;
    }
    // The page is laid out at the size it is captured at.
    m_browser.SetWidth(m_settings.Sizes.BrowserX);
    m_browser.SetHeight(m_settings.Sizes.BrowserY);
    m_index = index;
    ++m_run;
    m_url = url;
    m_path = path;
    m_attempt = 1;
    m_written = QSize(m_settings.Sizes.ThumbX, m_settings.Sizes.ThumbY);
    m_clock.start();
    StartAttempt();
}

void CaptureLane::Abort()
{
    if (m_index < 0) return;
    m_timeout.stop();
    m_index = -1;
    ++m_run;
    m_path.clear();
    m_browser.Stop();
}

void CaptureLane::StartAttempt()
{
    m_failed = false;
    m_error.clear();
    m_attemptClock.start();
    m_timeout.start(m_settings.TimeoutMs);
    m_browser.Navigate(m_url);
}

void CaptureLane::OnLoaded()
{
    // The waits the user asked for are no part of loading.
    if (m_index >= 0) m_timeout.stop();
}

void CaptureLane::OnLoadingAgain()
{
    // Still the same attempt's time: a page that keeps reloading itself never loaded.
    if (m_index < 0 || m_timeout.isActive() || !m_attemptClock.isValid()) return;
    m_timeout.start(int(qMax<qint64>(0, m_settings.TimeoutMs - m_attemptClock.elapsed())));
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
        EndAttempt(JobStatus::Error, m_error, MayPassOnRetry(m_failure));
        return;
    }
    QString error;
    if (CapturePageToFile(m_browser, m_settings.Sizes, m_path, &error, m_settings.Quality, &m_written))
        EndAttempt(JobStatus::Success, {}, false);
    else
        EndAttempt(JobStatus::Error, error, false);
}

void CaptureLane::OnTimeout()
{
    if (m_index < 0) return;
    const QString awaited = m_browser.AwaitedCondition();
    m_browser.Stop();
    const double seconds = m_settings.TimeoutMs / 1000.0;
    // A page that loaded but never met the user's condition would come out the same again.
    if (!awaited.isEmpty())
        EndAttempt(JobStatus::Error, QStringLiteral("waited %1 s for %2").arg(seconds).arg(awaited), false);
    else
        EndAttempt(JobStatus::Error, QStringLiteral("the page did not load within %1 s").arg(seconds), true);
}

void CaptureLane::EndAttempt(const QByteArray& status, const QString& reason, bool retryable)
{
    m_timeout.stop();
    m_attemptClock.invalidate();
    if (status == JobStatus::Error && retryable && m_attempt <= m_settings.Retries) {
        ++m_attempt;
        m_browser.RenewRenderer();
        // Not from inside the browser's own signal: the next Navigate starts on a clean stack.
        QTimer::singleShot(0, this, [this, run = m_run] {
            if (m_index >= 0 && m_run == run) StartAttempt();
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
        result.Width = m_written.width();
        result.Height = m_written.height();
    }
    const int index = m_index;
    m_index = -1;
    m_path.clear();
    Q_EMIT RowDone(index, result);
}
