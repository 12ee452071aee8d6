#pragma once

#include "brand/BrandProfile.h"
#include "capture/CaptureChoices.h"
#include "capture/CaptureDriver.h"
#include "capture/CaptureSettings.h"
#include "common/UserFolders.h"
#include "online/UpdateCheck.h"
#include "urllist/JobList.h"

#include <QElapsedTimer>
#include <QModelIndex>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QToolButton;
class TBrowserTab;
class TLaneRun;
class TListDropTarget;
class TRowReasons;
class TThumbnailPreview;
class THtmlView;
class TLinkLabel;
class TShell;
class THttpClient;
class TNewsService;
class QMovie;
class UserDialogs;
class WebBrowser;

// What main hands the window: its own folder, the dialog and desktop services, both
// browsers, the welcome viewer and the random source of the profile's choices.
struct TMainParts
{
    QString ProgramFolder;
    // Where settings, the update download and the news read are kept; empty: beside the program.
    TUserFolders UserFolders;
    UserDialogs* Dialogs = nullptr;
    TShell* Shell = nullptr;
    WebBrowser* CaptureBrowser = nullptr;
    WebBrowser* BrowsingBrowser = nullptr;
    QWidget* BrowsingView = nullptr;
    THtmlView* WelcomeView = nullptr;
    TRandomIndex Random;
    THttpClient* Http = nullptr;
    // A fresh HTML view for each opening of the news window.
    std::function<std::unique_ptr<THtmlView>()> NewHtmlView;
    // Starts the updater, without a shell.
    TUpdateCheck::Launcher Launcher;
    // Times the capture's page time-out; empty: the system's monotonic clock.
    TMonotonicClock Clock;
    // What the engine took at start-up (main read it from config.ini); the browsers come
    // without options, and the window gives them its own.
    TEngineOptions Engine;
    // A capture view of its own for each page the run loads at once; empty: one at a time.
    std::function<std::unique_ptr<WebBrowser>()> NewCaptureBrowser;
};

// The main window: settings panel, URL list, capture run, browsing tab and status bar.
class TfrmMain : public QWidget, private TCaptureView
{
    Q_OBJECT

public:
    explicit TfrmMain(const TMainParts& parts, QWidget* parent = nullptr);
    ~TfrmMain() override;

    TCaptureSettings CurrentSettings() const;
    const TBrandProfile& Profile() const { return m_profile; }
    const QTimer& NewsTimer() const { return Timer1; }
    const QList<QByteArray>& News() const { return NewsList; }
    TCaptureDriver& Driver() { return *m_driver; }
    // The run over several views; null without a way to make them.
    TLaneRun* LaneRun() { return m_laneRun.get(); }
    TJobList& Jobs() { return *m_jobs; }

    void btnStartClick();
    void btnStopClick();
    void btnOptionsClick();
    void Timer2Timer();
    void btnImportClick();
    void btnAddURLClick();
    void btnExportClick();
    void btnSelectAllClick();
    void btnSelectErrorsClick();
    void lvwItemsDblClick(const QModelIndex& index);
    // The preview shows the current row.
    void UpdatePreview();
    void UpdateRunRate();
    // Rows still "Pending" or "Downloading...".
    int RowsLeft() const;
    void btnClearSelectionClick();
    void btnDeleteSelectedClick();
    void bsSkinButton6Click();
    void bsSkinButton1Click();
    void imgBannerClick();
    void gifBannerClick();
    void btnMakeMoneyClick();
    void btnHelpClick();
    void btnAboutClick();
    void Timer1Timer();
    void btnNewsClick();
    void btnUpdateClick();
    void ShowMessageBalloon(const QString& text);
    const TCaptureChoices& CaptureChoices() const { return m_captureChoices; }
    void ShowWelcome();
    void CentreBanner();
    void speBrowserXChange();
    void speBrowserYChange();
    void speThumbXChange();
    void chkKeepAspectRatioClick();
    void ApplyAspectRatio();
    void LoadSettings();
    void SaveSettings();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();
    void LoadBrandProfile();
    void ApplyBanner();

    void BuildPrincipalPages();
    void BuildToolStrip();
    void BuildBannerStrip();
    void BuildCommandStrip();
    void BuildSettingsPanel();
    void BuildPages();
    void BuildLinksStrip();
    void BuildStatusBar();
    void SetTotalCaption(int rowCount);
    // Edits to the list must not pull rows from under a page being captured.
    void StopRunBeforeListChange();
    void RefreshCaptureView();
    // The Options' page-level choices go to the capture browser, their files read afresh;
    // false, the user told why, when one cannot be used.
    bool ApplyCaptureChoices();
    void ApplyBrowsingIdentity(const TCaptureOptions& options);

    // TCaptureView
    QString FolderText() const override;
    bool SkipExisting() const override;
    QString ExtensionText() const override;
    TCaptureSizes CaptureSizes() const override;
    int ThumbnailQuality() const override;
    TCaptureOptions PageOptions() const override { return m_captureOptions; }
    int PageTimeout() const override;
    void ShowCapturePage() override;
    void ShowListPage() override;
    void SetCounterCaptions(const QString& total, const QString& done, const QString& success,
                            const QString& errors) override;
    void SetGauge(int value, int maximum) override;
    void ProcessMessages() override;

    QString m_programFolder;
    TUserFolders m_userFolders;
    QString m_settingsFolder;
    UserDialogs& m_dialogs;
    TShell& m_shell;
    THtmlView& m_welcomeView;
    TRandomIndex m_random;
    TBrandProfile m_profile;
    QByteArray m_bannerGif;
    QMovie* m_bannerMovie = nullptr;
    WebBrowser& EmbeddedWB1;
    WebBrowser& EmbeddedWB2;
    QWidget* m_browsingView;
    bool m_shown = false;
    // Seconds; kept in config.ini but not shown on the panel.
    int m_pageTimeout = kDefaultPageTimeout;
    // The Options as chosen (passwords for this session only), and as each browser has them.
    TEngineOptions m_engine;
    TCaptureChoices m_captureChoices;
    TCaptureOptions m_captureOptions;
    int m_captureQuality = kDefaultQuality;
    TCaptureOptions m_browsingIdentity = IdentityOf(TCaptureOptions());

    QStackedWidget* pgcPrinc = nullptr;
    QWidget* stsWelcome = nullptr;
    QWidget* stsMain = nullptr;
    QWidget* prfWelcome = nullptr;
    QPushButton* bsSkinButton1 = nullptr;

    QPushButton* btnMakeMoney = nullptr;
    QPushButton* btnAbout = nullptr;
    QToolButton* btnNews = nullptr;
    QToolButton* btnUpdate = nullptr;
    QToolButton* btnHelp = nullptr;

    QWidget* panBanner = nullptr;
    QLabel* imgBanner = nullptr;
    QLabel* gifBanner = nullptr;

    QPushButton* btnAddURL = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnExport = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnOptions = nullptr;

    QLineEdit* edtFolder = nullptr;
    QPushButton* bsSkinButton6 = nullptr;
    QSpinBox* speBrowserX = nullptr;
    QSpinBox* speBrowserY = nullptr;
    QSpinBox* speThumbX = nullptr;
    QSpinBox* speThumbY = nullptr;
    QSpinBox* spePagesAtOnce = nullptr;
    QCheckBox* chkKeepAspectRatio = nullptr;
    QCheckBox* chkSkip = nullptr;
    QComboBox* cbxExt = nullptr;
    QComboBox* cbxType = nullptr;

    QTabWidget* bsSkinPageControl1 = nullptr;
    QWidget* bsSkinTabSheet1 = nullptr;
    QScrollArea* bsSkinTabSheet2 = nullptr;
    TBrowserTab* bsSkinTabSheet3 = nullptr;
    QLabel* m_captureLiveView = nullptr;
    QTimer m_liveViewTimer;
    QTableView* lvwItems = nullptr;
    QPushButton* btnSelectAll = nullptr;
    QPushButton* btnSelectErrors = nullptr;
    QPushButton* btnClearSelection = nullptr;
    QPushButton* btnDeleteSelected = nullptr;

    QWidget* panLinks = nullptr;
    TLinkLabel* lblLink1URL = nullptr;
    TLinkLabel* lblLink2URL = nullptr;

    QLabel* stpTotal = nullptr;
    QLabel* stpDone = nullptr;
    QLabel* stpSuccess = nullptr;
    QLabel* stpError = nullptr;
    QLabel* stpRate = nullptr;
    TThumbnailPreview* imgPreview = nullptr;
    QProgressBar* MainGauge = nullptr;

    QTimer Timer1;
    QTimer Timer2;
    THttpClient& IdHTTP1;
    std::function<std::unique_ptr<THtmlView>()> m_newHtmlView;
    QList<QByteArray> NewsList;
    std::unique_ptr<TNewsService> m_news;
    std::unique_ptr<TUpdateCheck> m_update;

    TJobTableModel* m_rows = nullptr;
    std::unique_ptr<TJobList> m_jobs;
    std::unique_ptr<TCaptureDriver> m_driver;
    std::unique_ptr<TLaneRun> m_laneRun;
    TListDropTarget* m_drops = nullptr;
    // Why rows of this run failed.
    TRowReasons* m_rowReasons = nullptr;
    // The rows the run under way had to do, and since when; 0: no run.
    int m_runRows = 0;
    QElapsedTimer m_runClock;
};
