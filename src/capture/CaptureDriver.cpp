#include "capture/CaptureDriver.h"

#include "capture/CaptureSettings.h"
#include "capture/WebBrowser.h"
#include "common/ByteFile.h"
#include "common/UserDialogs.h"
#include "urllist/JobId.h"
#include "urllist/JobList.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

TCaptureDriver::TCaptureDriver(TJobList& jobs, WebBrowser& browser, QTimer& timer2, UserDialogs& dialogs,
                               TCaptureView& view, TMonotonicClock clock)
    : m_jobs(jobs), m_browser(browser), m_timer2(timer2), m_dialogs(dialogs), m_view(view), m_clock(std::move(clock))
{
    if (!m_clock) {
        QElapsedTimer since;
        since.start();
        m_clock = [since] { return since.elapsed(); };
    }
}

void TCaptureDriver::Inform(const QString& text)
{
    m_dialogs.ShowSkinMessage(text, TMsgDlgType::Information, mbOK, 0);
}

bool TCaptureDriver::IsRunning() const
{
    return m_timer2.isActive();
}

bool TCaptureDriver::CurrentJobIsRow() const
{
    return m_currentJob >= 0 && m_currentJob < m_jobs.Count();
}

namespace {

struct TDepth
{
    explicit TDepth(int& depth) : m_depth(depth) { ++m_depth; }
    ~TDepth() { --m_depth; }
    int& m_depth;
};

} // namespace

void TCaptureDriver::Start()
{
    const TDepth depth(m_depth);
    m_stopped = false;
    UpdateCounters();
    if (!CheckAndMark()) return;

    m_timer2.stop();
    m_currentJob = -1;
    m_currentJob = NextPendingIndex();
    if (m_currentJob >= 0) {
        NavigateCurrent();
        m_view.ShowCapturePage();
        m_timer2.start();
    }
}

bool TCaptureDriver::MarkRun()
{
    const TDepth depth(m_depth);
    UpdateCounters();
    if (!CheckAndMark()) return false;
    m_currentJob = -1;
    return NextPendingIndex() >= 0;
}

bool TCaptureDriver::CheckAndMark()
{
    const QString folder = m_view.FolderText();
    if (!ByteFile::DirectoryExists(QFile::encodeName(folder))) {
        Inform(QStringLiteral("Please enter a valid folder to save thumbnails."));
        return false;
    }
    if (m_jobs.Count() == 0) {
        Inform(QStringLiteral("Please create a new URL list or add a custom URL."));
        return false;
    }

    // The skip test looks for the ".jpg" file whatever the chosen format.
    const bool skip = m_view.SkipExisting();
    TJobTableModel* rows = m_jobs.Model();
    for (int row = 0; row < m_jobs.Count(); ++row) {
        if (!m_jobs.IsSelected(row)) continue;
        const bool exists = ByteFile::FileExists(ThumbnailPath(folder, rows->At(row).Id, QStringLiteral("jpg")));
        rows->SetStatus(row, skip && exists ? JobStatus::Skipped : JobStatus::Pending);
    }
    return true;
}

void TCaptureDriver::NavigateCurrent()
{
    m_loaded = false;
    m_browser.Navigate(m_jobs.Model()->At(m_currentJob).Url);
    m_navigatedAt = m_clock();
}

void TCaptureDriver::Loaded(bool loaded)
{
    m_loaded = loaded;
}

void TCaptureDriver::LoadNextPending()
{
    m_currentJob = NextPendingIndex();
    if (m_currentJob >= 0) {
        NavigateCurrent();
        m_timer2.start();
    }
}

int TCaptureDriver::NextPendingIndex()
{
    if (m_jobs.Count() == 0) {
        Inform(QStringLiteral("Please add at least one url and select it to start the process"));
        return -1;
    }
    if (!m_jobs.AnySelected()) {
        Inform(QStringLiteral("Please select at least one url to start the process"));
        return -1;
    }
    for (int row = 0; row < m_jobs.Count(); ++row) {
        if (m_jobs.Model()->At(row).Status == JobStatus::Pending) return row;
    }
    return -1;
}

void TCaptureDriver::Tick()
{
    if (m_depth > 0) return;
    const TDepth depth(m_depth);
    // A tick that finds the page complete captures it, however late the tick comes.
    if (!m_stopped && m_browser.ReadyState() == WebBrowser::Complete) {
        m_timer2.stop();
        if (CurrentJobIsRow() && m_jobs.Model()->At(m_currentJob).Status != JobStatus::Error && !Capture()) return;
        // Each row that ends shows in the counters at once, the run's last one included.
        if (CurrentJobIsRow()) UpdateCounters();
        LoadNextPending();
    } else if (!m_stopped && !m_loaded && m_view.PageTimeout() > 0 &&
               m_clock() - m_navigatedAt >= qint64(m_view.PageTimeout()) * 1000) {
        m_timer2.stop();
        GiveUpCurrentPage();
        UpdateCounters();
        LoadNextPending();
    }
    m_view.ShowListPage();
}

void TCaptureDriver::GiveUpCurrentPage()
{
    // A page that never completes may be stuck in its script: the next row gets a renderer
    // of its own.
    m_browser.Stop();
    m_browser.RenewRenderer();
    // Marked last, so that nothing the dropped page still reports can overwrite it.
    if (CurrentJobIsRow()) m_jobs.Model()->SetStatus(m_currentJob, JobStatus::Error);
}

bool TCaptureDriver::Capture()
{
    TJobTableModel* rows = m_jobs.Model();
    const int row = m_currentJob;
    const QByteArray id = rows->At(row).Id;
    if (!IsSafeFileId(id)) {
        // A "/" in an ID would put the file outside the output folder.
        rows->SetStatus(row, JobStatus::Error);
        return true;
    }
    const QByteArray path = ThumbnailPath(m_view.FolderText(), id, m_view.ExtensionText());
    QString error;
    if (!CapturePageToFile(m_browser, m_view.CaptureSizes(), path, &error, m_view.ThumbnailQuality())) {
        // The failure ends the tick: the poll is already off, so the batch stops here and
        // the row keeps its status.
        m_dialogs.ReportError(error);
        return false;
    }
    rows->SetStatus(row, JobStatus::Success);
    return true;
}

void TCaptureDriver::Stop()
{
    m_timer2.stop();
    m_browser.Stop();
    m_stopped = true;
    if (m_jobs.Count() > 0 && CurrentJobIsRow()) m_jobs.Model()->SetStatus(m_currentJob, JobStatus::Pending);
}

void TCaptureDriver::BeforeNavigate2()
{
    if (m_stopped || !CurrentJobIsRow()) return;
    m_jobs.Model()->SetStatus(m_currentJob, JobStatus::Downloading);
}

void TCaptureDriver::NavigateError()
{
    if (m_stopped || !CurrentJobIsRow()) return;
    const TDepth depth(m_depth);
    m_jobs.Model()->SetStatus(m_currentJob, JobStatus::Error);
    UpdateCounters();
}

void TCaptureDriver::ProgressChange(int progress, int progressMax)
{
    if (m_stopped) {
        m_gaugeValue = 0;
    } else {
        // The gauge holds its value within its range: set the value, then the maximum.
        m_gaugeValue = qBound(0, progress, m_gaugeMax);
        m_gaugeMax = qMax(0, progressMax);
        m_gaugeValue = qMin(m_gaugeValue, m_gaugeMax);
    }
    m_view.SetGauge(m_gaugeValue, m_gaugeMax);
}

void TCaptureDriver::UpdateCounters()
{
    m_totalCount = m_doneCount = m_successCount = m_errorCount = m_pendingCount = 0;
    for (const TUrlJob& job : m_jobs.Model()->Jobs()) {
        if (job.Status == JobStatus::Error)
            ++m_errorCount;
        else if (job.Status == JobStatus::Pending)
            ++m_pendingCount;
        else if (job.Status == JobStatus::Success)
            ++m_successCount;
    }
    m_totalCount = m_jobs.Count();
    m_doneCount = m_totalCount - m_pendingCount;
    m_view.SetCounterCaptions(
        QStringLiteral("Total: %1").arg(m_totalCount), QStringLiteral("Done: %1").arg(m_doneCount),
        QStringLiteral("Success: %1").arg(m_successCount), QStringLiteral("Errors: %1").arg(m_errorCount));
    m_view.ProcessMessages();
}
