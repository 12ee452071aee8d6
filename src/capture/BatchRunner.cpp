#include "capture/BatchRunner.h"

#include "capture/CaptureSettings.h"
#include "common/ByteFile.h"
#include "urllist/JobId.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr int kLaneSpacingMs = 50;

} // namespace

BatchRunner::BatchRunner(BrowserFactory makeBrowser, int lanes, QObject* parent)
    : QObject(parent), m_makeBrowser(std::move(makeBrowser)), m_maxLanes(std::max(1, lanes))
{
}

BatchRunner::BatchRunner(WebBrowser& browser, QObject* parent) : QObject(parent)
{
    AddLane(browser);
}

BatchRunner::~BatchRunner() = default;

void BatchRunner::Start(const QList<TUrlJob>& jobs, const TBatchSettings& settings)
{
    Start(jobs, [settings] { return settings; });
}

void BatchRunner::Start(const QList<TUrlJob>& jobs, SettingsSource settings)
{
    // A run under way ends first: its rows would otherwise land in the new one's.
    for (const auto& lane : m_lanes)
        lane->Abort();
    m_jobs = jobs;
    m_results = QList<TRowResult>(jobs.size());
    m_settings = std::move(settings);
    m_next = 0;
    m_running = true;
    const TBatchSettings now = m_settings();
    for (TUrlJob& job : m_jobs)
        Mark(job, now);
    // Later rows wait for the event loop, so a caller can connect to the signals first.
    QTimer::singleShot(0, this, &BatchRunner::Dispatch);
}

int BatchRunner::Add(const TUrlJob& job)
{
    if (!m_running) return -1;
    m_jobs << job;
    m_results << TRowResult();
    Mark(m_jobs.last(), m_settings());
    // As from Start: the caller learns the index before the row's signals.
    QTimer::singleShot(0, this, &BatchRunner::Dispatch);
    return int(m_jobs.size()) - 1;
}

void BatchRunner::Mark(TUrlJob& job, const TBatchSettings& settings) const
{
    const bool exists = ByteFile::FileExists(ThumbnailPath(settings.Folder, job.Id, settings.Extension));
    job.Status = settings.Skip && exists ? JobStatus::Skipped : JobStatus::Pending;
}

void BatchRunner::Stop()
{
    m_running = false;
    for (const auto& lane : m_lanes)
        lane->Abort();
}

void BatchRunner::Dispatch()
{
    if (!m_running) return;
    while (m_next < m_jobs.size()) {
        TUrlJob& job = m_jobs[m_next];
        if (job.Status != JobStatus::Pending) {
            const int index = m_next++;
            EndRow(index, job.Status, {});
            continue;
        }
        if (!IsSafeFileId(job.Id)) {
            const int index = m_next++;
            Q_EMIT RowStarted(index);
            EndRow(index, JobStatus::Error, QStringLiteral("the ID would name a file outside the output folder"));
            continue;
        }
        const TBatchSettings settings = m_settings();
        const QByteArray path = ThumbnailPath(settings.Folder, job.Id, settings.Extension);
        // Two rows with one file: the later row must write it last, as it would one row at a time.
        if (FileInProgress(path)) break;
        const std::size_t lanes = m_lanes.size();
        CaptureLane* lane = FreeLane();
        if (!lane) break;
        const int index = m_next++;
        Q_EMIT RowStarted(index);
        lane->Run(index, job.Url, path, settings);
        if (m_lanes.size() > lanes) {
            // Making a browser takes a while; let the pages already asked for start loading
            // before the next one is made.
            QTimer::singleShot(kLaneSpacingMs, this, &BatchRunner::Dispatch);
            return;
        }
    }
    const bool lanesIdle = std::all_of(m_lanes.begin(), m_lanes.end(), [](const auto& lane) { return lane->IsIdle(); });
    if (m_next < m_jobs.size() || !lanesIdle) return;
    m_running = false;
    Q_EMIT Finished();
}

CaptureLane* BatchRunner::FreeLane()
{
    for (const auto& lane : m_lanes) {
        if (lane->IsIdle()) return lane.get();
    }
    if (!m_makeBrowser || int(m_lanes.size()) >= m_maxLanes) return nullptr;
    std::unique_ptr<WebBrowser> browser = m_makeBrowser();
    if (!browser) return nullptr;
    m_browsers.push_back(std::move(browser));
    return AddLane(*m_browsers.back());
}

CaptureLane* BatchRunner::AddLane(WebBrowser& browser)
{
    m_lanes.push_back(std::make_unique<CaptureLane>(browser));
    CaptureLane* lane = m_lanes.back().get();
    connect(lane, &CaptureLane::Downloading, this,
            [this](int index) { m_jobs[index].Status = JobStatus::Downloading; });
    connect(lane, &CaptureLane::RowDone, this, &BatchRunner::OnRowDone);
    return lane;
}

bool BatchRunner::FileInProgress(const QByteArray& path) const
{
    return std::any_of(m_lanes.begin(), m_lanes.end(), [&path](const auto& lane) { return lane->Path() == path; });
}

void BatchRunner::EndRow(int index, const QByteArray& status, const QString& reason)
{
    TRowResult result;
    result.Status = status;
    result.Reason = reason;
    m_jobs[index].Status = status;
    m_results[index] = result;
    Q_EMIT RowFinished(index, reason);
}

void BatchRunner::OnRowDone(int index, const TRowResult& result)
{
    m_jobs[index].Status = result.Status;
    m_results[index] = result;
    Q_EMIT RowFinished(index, result.Reason);
    // Not from inside the browser's own signal: the next Navigate starts on a clean stack.
    QTimer::singleShot(0, this, &BatchRunner::Dispatch);
}
