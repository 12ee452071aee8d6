#pragma once

#include "capture/CaptureOptions.h"
#include "capture/PageCapture.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QTimer;
class TJobList;
class UserDialogs;
class WebBrowser;

// What the batch driver reads from and shows on the main window. The settings are read at
// the moment they are needed, so a change during a batch applies to the next page.
class TCaptureView
{
public:
    virtual ~TCaptureView() = default;

    virtual QString FolderText() const = 0;
    virtual bool SkipExisting() const = 0;
    virtual QString ExtensionText() const = 0;
    virtual TCaptureSizes CaptureSizes() const = 0;
    // Of jpg and webp thumbnails, 1 to 100.
    virtual int ThumbnailQuality() const = 0;
    // How each capture view treats its pages, as the last Start took them from the Options.
    virtual TCaptureOptions PageOptions() const = 0;
    // Seconds a page may take to complete.
    virtual int PageTimeout() const = 0;

    virtual void ShowCapturePage() = 0;
    virtual void ShowListPage() = 0;
    virtual void SetCounterCaptions(const QString& total, const QString& done, const QString& success,
                                    const QString& errors) = 0;
    virtual void SetGauge(int value, int maximum) = 0;
    // Lets pending window messages run, so the status bar repaints at once.
    virtual void ProcessMessages() = 0;
};

// Milliseconds on a clock that never goes back.
using TMonotonicClock = std::function<qint64()>;

// The capture run: Start marks the selected rows, the capture browser loads one pending
// row after another, a 1000 ms poll writes the thumbnail once the page is complete. A page
// still not loaded after the time-out ends as "Error" and the run goes on.
class TCaptureDriver
{
public:
    // Without a clock the driver uses the system's monotonic one.
    TCaptureDriver(TJobList& jobs, WebBrowser& browser, QTimer& timer2, UserDialogs& dialogs, TCaptureView& view,
                   TMonotonicClock clock = {});

    void Start();
    // Start's checks and marks without the run: the selected rows become "Pending" or
    // "Skipped". False, with the user told why, when there is nothing to run.
    bool MarkRun();
    void Stop();
    void Tick();
    void BeforeNavigate2();
    void NavigateError();
    void ProgressChange(int progress, int progressMax);
    // The current page has loaded, or loads again by itself: the time-out counts only the load.
    void Loaded(bool loaded);
    void UpdateCounters();
    int NextPendingIndex();

    // Whether a page is awaited (the poll is on).
    bool IsRunning() const;
    int CurrentJob() const { return m_currentJob; }
    bool IsStopped() const { return m_stopped; }

    int TotalCount() const { return m_totalCount; }
    int DoneCount() const { return m_doneCount; }
    int SuccessCount() const { return m_successCount; }
    int ErrorCount() const { return m_errorCount; }
    int PendingCount() const { return m_pendingCount; }

private:
    void Inform(const QString& text);
    bool CheckAndMark();
    bool CurrentJobIsRow() const;
    // False when the capture failed and the tick must end.
    bool Capture();
    void NavigateCurrent();
    void LoadNextPending();
    void GiveUpCurrentPage();

    TJobList& m_jobs;
    WebBrowser& m_browser;
    QTimer& m_timer2;
    UserDialogs& m_dialogs;
    TCaptureView& m_view;
    TMonotonicClock m_clock;

    int m_currentJob = 0;
    bool m_stopped = false;
    int m_totalCount = 0;
    int m_doneCount = 0;
    int m_successCount = 0;
    int m_errorCount = 0;
    int m_pendingCount = 0;
    // Handlers of the driver under way: a tick that arrives from inside one of them (through
    // a nested event loop) is dropped; the poll comes round again a second later.
    int m_depth = 0;
    int m_gaugeValue = 0;
    int m_gaugeMax = 100;
    // When the current row's navigation began, on m_clock.
    qint64 m_navigatedAt = 0;
    bool m_loaded = false; // the current page is past its load, in the waits the user asked for
};
