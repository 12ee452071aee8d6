#include "capture/LaneRun.h"

#include "capture/CaptureDriver.h"
#include "urllist/JobList.h"

#include <limits>

TLaneRun::TLaneRun(TJobList& jobs, TCaptureDriver& driver, TCaptureView& view, BatchRunner::BrowserFactory makeBrowser,
                   QObject* parent)
    : QObject(parent), m_jobs(jobs), m_driver(driver), m_view(view), m_makeBrowser(std::move(makeBrowser))
{
}

TLaneRun::~TLaneRun() = default;

bool TLaneRun::IsRunning() const
{
    return m_runner && m_runner->IsRunning();
}

void TLaneRun::Start(int lanes)
{
    Stop();
    if (!m_driver.MarkRun()) return;

    TBatchSettings settings;
    settings.Folder = m_view.FolderText();
    settings.Sizes = m_view.CaptureSizes();
    settings.Extension = m_view.ExtensionText();
    settings.Quality = m_view.ThumbnailQuality();
    // The rows to skip are marked already, by the one-view run's own test.
    settings.Skip = false;
    const int timeout = m_view.PageTimeout();
    settings.TimeoutMs = timeout > 0 ? timeout * 1000 : std::numeric_limits<int>::max();
    // As in the one-view run: a page that fails is an error at once.
    settings.Retries = 0;

    QList<TUrlJob> jobs;
    m_rows.clear();
    const QList<TUrlJob>& all = m_jobs.Model()->Jobs();
    for (int row = 0; row < all.size(); ++row) {
        if (all.at(row).Status != JobStatus::Pending) continue;
        jobs << all.at(row);
        m_rows << row;
    }
    // Views are dear to make: they stay from one run to the next, unless the number or the
    // options change.
    const TCaptureOptions options = m_view.PageOptions();
    if (!m_runner || m_lanes != lanes || options != m_options) {
        m_runner = std::make_unique<BatchRunner>(
            [this, options] {
                std::unique_ptr<WebBrowser> browser = m_makeBrowser();
                if (browser) {
                    const TCaptureSizes now = m_view.CaptureSizes();
                    browser->SetWidth(now.BrowserX);
                    browser->SetHeight(now.BrowserY);
                    if (options != TCaptureOptions()) browser->SetOptions(options);
                }
                return browser;
            },
            lanes);
        m_lanes = lanes;
        m_options = options;
        connect(m_runner.get(), &BatchRunner::RowStarted, this, &TLaneRun::OnRowStarted);
        connect(m_runner.get(), &BatchRunner::RowFinished, this, [this](int index) { OnRowFinished(index); });
        connect(m_runner.get(), &BatchRunner::Finished, this, [this] {
            m_driver.UpdateCounters();
            Q_EMIT Finished();
        });
    }
    m_runner->Start(jobs, settings);
}

void TLaneRun::Stop()
{
    if (!IsRunning()) return;
    m_runner->Stop();
    TJobTableModel* rows = m_jobs.Model();
    for (const int row : std::as_const(m_rows)) {
        if (row < rows->Count() && rows->At(row).Status == JobStatus::Downloading)
            rows->SetStatus(row, JobStatus::Pending);
    }
}

void TLaneRun::OnRowStarted(int index)
{
    const int row = m_rows.value(index, -1);
    if (row >= 0 && row < m_jobs.Count()) m_jobs.Model()->SetStatus(row, JobStatus::Downloading);
}

void TLaneRun::OnRowFinished(int index)
{
    const int row = m_rows.value(index, -1);
    if (row < 0 || row >= m_jobs.Count()) return;
    m_jobs.Model()->SetStatus(row, m_runner->Jobs().at(index).Status);
    Q_EMIT RowEnded(row, m_runner->Results().at(index).Reason);
    m_driver.UpdateCounters();
}
