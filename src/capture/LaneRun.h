#pragma once

#include "capture/BatchRunner.h"

#include <QList>
#include <QObject>
#include <QPersistentModelIndex>

#include <memory>

class TCaptureDriver;
class TCaptureView;
class TJobList;

// The window's run over several capture views at once. Start checks and marks the rows
// as the one-view run does, then hands every pending row, in list order, to the lanes of a
// BatchRunner as they come free: each row goes "Downloading..." and then "Success" or
// "Error" with its own page, captured the moment that page is complete, and the counters
// are recounted as each row ends. As in the one-view run, the panel is read as each row
// starts, and a row that becomes "Pending" during the run is captured too.
class TLaneRun : public QObject
{
    Q_OBJECT

public:
    // `driver` does the checks, the marks and the counting; `makeBrowser` makes a capture
    // view for each lane.
    TLaneRun(TJobList& jobs, TCaptureDriver& driver, TCaptureView& view, BatchRunner::BrowserFactory makeBrowser,
             QObject* parent = nullptr);
    ~TLaneRun() override;

    void Start(int lanes);
    // Ends every lane at once; the rows still loading read "Pending" again.
    void Stop();
    bool IsRunning() const;

Q_SIGNALS:
    // Row `row` of the list has ended; `reason` says why when it is an error.
    void RowEnded(int row, const QString& reason);
    void Finished();

private:
    // The panel as it is now.
    TBatchSettings Settings() const;
    void OnRowsInserted(int first, int last);
    void OnRowStarted(int index);
    void OnRowFinished(int index);

    TJobList& m_jobs;
    TCaptureDriver& m_driver;
    TCaptureView& m_view;
    BatchRunner::BrowserFactory m_makeBrowser;
    std::unique_ptr<BatchRunner> m_runner;
    int m_lanes = 0;
    TCaptureOptions m_options;           // those the views were made for
    QList<QPersistentModelIndex> m_rows; // the list row of each of the runner's jobs
};
