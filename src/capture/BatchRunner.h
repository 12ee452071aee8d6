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
    using BrowserFactory = std::function<std::unique_ptr<WebBrowser>()>;

    // Up to `lanes` rows at a time; a lane's browser is made when a row first needs it.
    BatchRunner(BrowserFactory makeBrowser, int lanes, QObject* parent = nullptr);
    // One row at a time through `browser`, which must outlive the runner.
    explicit BatchRunner(WebBrowser& browser, QObject* parent = nullptr);
    ~BatchRunner() override;

    void Start(const QList<TUrlJob>& jobs, const TBatchSettings& settings);
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

    BrowserFactory m_makeBrowser;
    int m_maxLanes = 1;
    // Browsers before lanes: a lane lets go of its browser's signals before the browser goes.
    std::vector<std::unique_ptr<WebBrowser>> m_browsers;
    std::vector<std::unique_ptr<CaptureLane>> m_lanes;
    TBatchSettings m_settings;
    QList<TUrlJob> m_jobs;
    QList<TRowResult> m_results;
    bool m_running = false;
    int m_next = 0;
};
