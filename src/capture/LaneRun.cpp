#include "capture/LaneRun.h"

#include "capture/CaptureDriver.h"
#include "urllist/JobList.h"

#include <limits>

TLaneRun::TLaneRun(TJobList& jobs, TCaptureDriver& driver, TCaptureView& view, BatchRunner::BrowserFactory makeBrowser,
                   QObject* parent)
    : QObject(parent), m_jobs(jobs), m_driver(driver), m_view(view), m_makeBrowser(std::move(makeBrowser))
{
    connect(m_jobs.Model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { OnRowsInserted(first, last); });
}

TLaneRun::~TLaneRun() = default;

bool TLaneRun::IsRunning() const
{
    return m_runner && m_runner->IsRunning();
}

TBatchSettings TLaneRun::Settings() const
{
    TBatchSettings settings;
    settings.Folder = m_view.FolderText();
    settings.Sizes = m_view.CaptureSizes();
    settings.Options = m_view.PageOptions();
    settings.Extension = m_view.ExtensionText();
    settings.Quality = m_view.ThumbnailQuality();
    // The rows to skip are marked already, by the one-view run's own test.
    settings.Skip = false;
    const int timeout = m_view.PageTimeout();
    settings.TimeoutMs = timeout > 0 ? timeout * 1000 : std::numeric_limits<int>::max();
    // As in the one-view run: a page that fails is an error at once.
    settings.Retries = 0;
    return settings;
}

void TLaneRun::Start(int lanes)
{
    Stop();
    if (!m_driver.MarkRun()) return;

    QList<TUrlJob> jobs;
    m_rows.clear();
    TJobTableModel* rows = m_jobs.Model();
    for (int row = 0; row < rows->Count(); ++row) {
        if (rows->At(row).Status != JobStatus::Pending) continue;
        jobs << rows->At(row);
        m_rows << QPersistentModelIndex(rows->index(row, 0));
    }
    // Views are dear to make: they stay from one run to the next, unless the number or the
    // options change; each row gives its view the panel's sizes as it starts.
    const TCaptureOptions options = m_view.PageOptions();
    if (!m_runner || m_lanes != lanes || options != m_options) {
        m_runner = std::make_unique<BatchRunner>(m_makeBrowser, lanes);
        m_lanes = lanes;
        m_options = options;
        connect(m_runner.get(), &BatchRunner::RowStarted, this, &TLaneRun::OnRowStarted);
        connect(m_runner.get(), &BatchRunner::RowFinished, this, [this](int index) { OnRowFinished(index); });
        connect(m_runner.get(), &BatchRunner::Finished, this, [this] {
            m_driver.UpdateCounters();
            Q_EMIT Finished();
        });
    }
    m_runner->Start(jobs, [this] { return Settings(); });
}

void TLaneRun::Stop()
{
    if (!IsRunning()) return;
    m_runner->Stop();
    TJobTableModel* rows = m_jobs.Model();
    for (const QPersistentModelIndex& row : std::as_const(m_rows)) {
        if (row.isValid() && rows->At(row.row()).Status == JobStatus::Downloading)
            rows->SetStatus(row.row(), JobStatus::Pending);
    }
}

void TLaneRun::OnRowsInserted(int first, int last)
{
    if (!IsRunning()) return;
    TJobTableModel* rows = m_jobs.Model();
    for (int row = first; row <= last; ++row) {
        if (rows->At(row).Status != JobStatus::Pending) continue;
        if (m_runner->Add(rows->At(row)) >= 0) m_rows << QPersistentModelIndex(rows->index(row, 0));
    }
}

void TLaneRun::OnRowStarted(int index)
{
    const QPersistentModelIndex row = m_rows.value(index);
    if (row.isValid()) m_jobs.Model()->SetStatus(row.row(), JobStatus::Downloading);
}

void TLaneRun::OnRowFinished(int index)
{
    const QPersistentModelIndex row = m_rows.value(index);
    if (!row.isValid()) return;
    m_jobs.Model()->SetStatus(row.row(), m_runner->Jobs().at(index).Status);
    Q_EMIT RowEnded(row.row(), m_runner->Results().at(index).Reason);
    m_driver.UpdateCounters();
}
