#pragma once

#include "capture/CaptureLane.h"
#include "capture/WebBrowser.h"
#include "urllist/UrlJob.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Captures every row of a list without a window, each row ending "Success", "Error" or
// "Skipped". Rows are handed out in list order to lanes as they come free; each lane has a
// browser of its own, so a page that hangs or crashes holds up only its own lane.
class BatchRunner : public QObject
{
    Q_OBJECT

public:
    // A browser with the default options: each row gives it the run's own.
    using BrowserFactory = std::function<std::unique_ptr<WebBrowser>()>;
    // What the row about to start is asked to be; read as each row starts.
    using SettingsSource = std::function<TBatchSettings()>;

    // Up to `lanes` rows at a time; a lane's browser is made when a row first needs it.
    BatchRunner(BrowserFactory makeBrowser, int lanes, QObject* parent = nullptr);
    // One row at a time through `browser`, which must outlive the runner.
    explicit BatchRunner(WebBrowser& browser, QObject* parent = nullptr);
    ~BatchRunner() override;

    void Start(const QList<TUrlJob>& jobs, const TBatchSettings& settings);
    // As above, each row as `settings` says when the row starts: a change the caller makes
    // during the run reaches the rows that start after it. Rows are skipped as it says at Start.
    void Start(const QList<TUrlJob>& jobs, SettingsSource settings);
    // Appends `job` to the run under way, skipped or pending as Start would mark it; returns
    // its index in Jobs(), or -1 when no run is under way.
    int Add(const TUrlJob& job);
    // Ends every lane at once; rows not finished keep the status they had, and no signal
    // follows. Start begins anew.
    void Stop();
    bool IsRunning() const { return m_running; }
    const QList<TUrlJob>& Jobs() const { return m_jobs; }
    // What became of each row of Jobs(); complete once the row has finished.
    const QList<TRowResult>& Results() const { return m_results; }
    // Browsers made so far: at most `lanes`, no more than the rows needed at once.
    int LaneCount() const { return int(m_lanes.size()); }

Q_SIGNALS:
    void RowStarted(int index);
    // The row's final status is in Jobs()[index].Status; `reason` explains an error.
    void RowFinished(int index, const QString& reason);
    void Finished();

private:
    void Dispatch();
    CaptureLane* FreeLane();
    CaptureLane* AddLane(WebBrowser& browser);
    bool FileInProgress(const QByteArray& path) const;
    void OnRowDone(int index, const TRowResult& result);
    void EndRow(int index, const QByteArray& status, const QString& reason);
    void Mark(TUrlJob& job, const TBatchSettings& settings) const;

    BrowserFactory m_makeBrowser;
    int m_maxLanes = 1;
    // Browsers before lanes: a lane lets go of its browser's signals before the browser goes.
    std::vector<std::unique_ptr<WebBrowser>> m_browsers;
    std::vector<std::unique_ptr<CaptureLane>> m_lanes;
    SettingsSource m_settings;
    QList<TUrlJob> m_jobs;
    QList<TRowResult> m_results;
    bool m_running = false;
    int m_next = 0;
};
