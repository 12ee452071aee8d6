#include "capture/FMain.h"

#include "capture/BrowserTab.h"
#include "capture/LaneRun.h"
#include "capture/ListDropTarget.h"
#include "capture/RowReasons.h"
#include "capture/RunRate.h"
#include "capture/SettingsFile.h"
#include "capture/ThumbnailPreview.h"
#include "capture/WebBrowser.h"
#include "common/ByteFile.h"
#include "common/Shell.h"
#include "common/UserDialogs.h"
#include "online/HttpClient.h"
#include "online/NewsService.h"
#include "online/UpdateCheck.h"
#include "urllist/FList.h"
#include "urllist/FSave.h"
#include "urllist/FURL.h"
#include "urllist/JobId.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>

namespace {

constexpr int kClientWidth = 785;
constexpr int kClientHeight = 591;
constexpr int kLiveViewMs = 250;

} // namespace
TfrmMain::TfrmMain(const TMainParts& parts, QWidget* parent)
    : QWidget(parent), m_programFolder(parts.ProgramFolder), m_userFolders(parts.UserFolders),
      m_settingsFolder(m_userFolders.PerUser() ? m_userFolders.Settings : m_programFolder), m_dialogs(*parts.Dialogs),
      m_shell(*parts.Shell), m_welcomeView(*parts.WelcomeView),
      m_random(parts.Random ? parts.Random : ClockSeededRandom()), EmbeddedWB1(*parts.CaptureBrowser),
      EmbeddedWB2(*parts.BrowsingBrowser), m_browsingView(parts.BrowsingView), m_engine(parts.Engine),
      IdHTTP1(*parts.Http), m_newHtmlView(parts.NewHtmlView)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Thumbrix"));
    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1.setInterval(2000);
    Timer1.setSingleShot(true);
    Timer2.setInterval(1000);

    BuildPrincipalPages();
    BuildToolStrip();
    BuildBannerStrip();
    BuildCommandStrip();
    BuildSettingsPanel();
    BuildPages();
    BuildLinksStrip();
    BuildStatusBar();

    m_jobs = std::make_unique<TJobList>(m_rows, lvwItems->selectionModel());
    m_driver = std::make_unique<TCaptureDriver>(*m_jobs, EmbeddedWB1, Timer2, m_dialogs,
                                                static_cast<TCaptureView&>(*this), parts.Clock);

    m_rowReasons = new TRowReasons(m_rows, this);
    if (parts.NewCaptureBrowser)
        m_laneRun =
            std::make_unique<TLaneRun>(*m_jobs, *m_driver, static_cast<TCaptureView&>(*this), parts.NewCaptureBrowser);
    if (m_laneRun)
        connect(m_laneRun.get(), &TLaneRun::RowEnded, this,
                [this](int row, const QString& reason) { m_rowReasons->Set(row, reason); });
    connect(lvwItems->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TfrmMain::UpdatePreview);
    connect(m_rows, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        const int current = lvwItems->currentIndex().row();
        if (current >= from.row() && current <= to.row()) UpdatePreview();
    });
    connect(m_rows, &QAbstractItemModel::modelReset, this, &TfrmMain::UpdatePreview);
    // A row added during a run is captured in it: it counts among the run's rows.
    connect(m_rows, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        if (m_runRows == 0) return;
        for (int row = first; row <= last; ++row) {
            if (m_rows->At(row).Status == JobStatus::Pending) ++m_runRows;
        }
    });
    connect(lvwItems, &QTableView::doubleClicked, this, &TfrmMain::lvwItemsDblClick);
    m_drops = new TListDropTarget(
        lvwItems, *m_jobs, m_dialogs, [this] { return cbxType->currentIndex(); }, [this] { StopRunBeforeListChange(); },
        this);
    connect(m_drops, &TListDropTarget::TotalChanged, this, &TfrmMain::SetTotalCaption);
    connect(&Timer2, &QTimer::timeout, this, &TfrmMain::Timer2Timer);
    connect(&Timer1, &QTimer::timeout, this, &TfrmMain::Timer1Timer);
    m_news = std::make_unique<TNewsService>(IdHTTP1, m_dialogs, m_profile);
    m_update = std::make_unique<TUpdateCheck>(IdHTTP1, m_dialogs, m_programFolder,
                                              m_userFolders.PerUser() ? m_userFolders.Cache : m_programFolder,
                                              UpdateBaseUrl(), AppVersion, parts.Launcher, [this] { close(); });
    connect(&EmbeddedWB1, &WebBrowser::BeforeNavigate2, this, [this] { m_driver->BeforeNavigate2(); });
    connect(&EmbeddedWB1, &WebBrowser::NavigateError, this, [this](const QString& reason) {
        if (m_driver->IsRunning()) m_rowReasons->Set(m_driver->CurrentJob(), reason);
        m_driver->NavigateError();
    });
    connect(&EmbeddedWB1, &WebBrowser::ProgressChange, this,
            [this](int progress, int progressMax) { m_driver->ProgressChange(progress, progressMax); });
    connect(&EmbeddedWB1, &WebBrowser::Loaded, this, [this] { m_driver->Loaded(true); });
    connect(&EmbeddedWB1, &WebBrowser::LoadingAgain, this, [this] { m_driver->Loaded(false); });
    m_liveViewTimer.setInterval(kLiveViewMs);
    connect(&m_liveViewTimer, &QTimer::timeout, this, &TfrmMain::RefreshCaptureView);

    FormCreate();
}

TfrmMain::~TfrmMain()
{
    // The driver and the list refer to the view's selection; let them go first.
    m_driver.reset();
    m_jobs.reset();
}

// ---- life cycle

void TfrmMain::FormCreate()
{
    gifBanner->setGeometry(imgBanner->geometry());
    LoadBrandProfile();
    m_userFolders = ForBrand(m_userFolders, m_profile.BranderCode);
    if (m_userFolders.PerUser()) m_settingsFolder = m_userFolders.Settings;
    // With a welcome page the news timer waits until the user leaves it.
    if (m_profile.WelcomeHtml.isEmpty()) Timer1.start();
    LoadSettings();
    Timer2.stop();
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmMain::FormShow()
{
    for (int page = 0; page < pgcPrinc->count(); ++page) {
        pgcPrinc->setCurrentIndex(page);
        QCoreApplication::processEvents();
    }
    pgcPrinc->setCurrentIndex(0);
    if (m_profile.WelcomeHtml.isEmpty()) {
        pgcPrinc->removeWidget(stsWelcome);
        stsWelcome->hide();
    } else {
        ShowWelcome();
    }
    pgcPrinc->setCurrentIndex(0);
    CentreBanner();
    EmbeddedWB1.Navigate(QByteArrayLiteral("about:blank"));
    bsSkinPageControl1->setCurrentIndex(0);
}

void TfrmMain::bsSkinButton1Click()
{
    pgcPrinc->setCurrentWidget(stsMain);
    if (!m_profile.WelcomeHtml.isEmpty()) Timer1.start();
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TfrmMain::FormResize()
{
    CentreBanner();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TfrmMain::FormClose()
{
    IdHTTP1.Disconnect();
    QCoreApplication::processEvents();
    SaveSettings();
}

// ---- settings

TCaptureSettings TfrmMain::CurrentSettings() const
{
    TCaptureSettings settings;
    settings.Folder = edtFolder->text();
    settings.BrowserX = speBrowserX->value();
    settings.BrowserY = speBrowserY->value();
    settings.ThumbX = speThumbX->value();
    settings.ThumbY = speThumbY->value();
    settings.KeepAspectRatio = chkKeepAspectRatio->isChecked();
    settings.Skip = chkSkip->isChecked();
    settings.LinkType = cbxType->currentIndex();
    settings.PageTimeout = m_pageTimeout;
    settings.PagesAtOnce = spePagesAtOnce->value();
    settings.ImageFormat = cbxExt->currentText();
    return settings;
}

void TfrmMain::LoadSettings()
{
    const QString source = SettingsSourceFolder(m_programFolder, m_userFolders);
    const TCaptureSettings settings = LoadSettingsFile(source);
    // Each value set runs its control's rule, in the panel's order, changed or not.
    edtFolder->setText(settings.Folder);
    {
        const QSignalBlocker blocker(speBrowserX);
        speBrowserX->setValue(settings.BrowserX);
    }
    speBrowserXChange();
    {
        const QSignalBlocker blocker(speBrowserY);
        speBrowserY->setValue(settings.BrowserY);
    }
    speBrowserYChange();
    {
        const QSignalBlocker blocker(speThumbX);
        speThumbX->setValue(settings.ThumbX);
    }
    speThumbXChange();
    speThumbY->setValue(settings.ThumbY);
    chkKeepAspectRatio->setChecked(settings.KeepAspectRatio);
    chkKeepAspectRatioClick();
    chkSkip->setChecked(settings.Skip);
    cbxType->setCurrentIndex(settings.LinkType);
    cbxExt->setCurrentIndex(0);
    m_pageTimeout = settings.PageTimeout;
    m_captureChoices = LoadCaptureChoices(source);
    // A file that cannot be read now is said at Start.
    TCaptureOptions options;
    QString ignored;
    if (ResolveCaptureChoices(m_captureChoices, &options, &ignored)) ApplyBrowsingIdentity(options);
    spePagesAtOnce->setValue(settings.PagesAtOnce);
}

void TfrmMain::SaveSettings()
{
    QString error;
    const bool folderReady = !m_userFolders.PerUser() || MakeUserFolder(m_settingsFolder, &error);
    if (!folderReady || !SaveWholeSettingsFile(m_settingsFolder, CurrentSettings(), m_captureChoices, &error))
        m_dialogs.ReportError(error);
}

void TfrmMain::speBrowserXChange()
{
    EmbeddedWB1.SetWidth(speBrowserX->value());
}

void TfrmMain::speBrowserYChange()
{
    EmbeddedWB1.SetHeight(speBrowserY->value());
}

void TfrmMain::speThumbXChange()
{
    ApplyAspectRatio();
}

void TfrmMain::chkKeepAspectRatioClick()
{
    ApplyAspectRatio();
    const bool keep = chkKeepAspectRatio->isChecked();
    speThumbY->setReadOnly(keep);
    speThumbY->setEnabled(!keep);
}

void TfrmMain::ApplyAspectRatio()
{
    if (!chkKeepAspectRatio->isChecked()) return;
    if (const std::optional<int> height =
            AspectThumbHeight(speThumbX->value(), speBrowserX->value(), speBrowserY->value()))
        speThumbY->setValue(*height);
}

void TfrmMain::bsSkinButton6Click()
{
    const QString folder = m_dialogs.ChooseFolder(this, QStringLiteral("Select folder"));
    if (!folder.isEmpty()) edtFolder->setText(folder);
}

// ---- the capture run

void TfrmMain::btnStartClick()
{
    if (!ApplyCaptureChoices()) return;
    m_rowReasons->Clear();
    m_runRows = 0;
    const int lanes = spePagesAtOnce->value();
    if (lanes > 1 && m_laneRun) {
        if (m_driver->IsRunning()) m_driver->Stop();
        m_laneRun->Start(lanes);
    } else {
        if (m_laneRun) m_laneRun->Stop();
        m_driver->Start();
    }
    // The rows Start marked are the run's.
    m_runRows = RowsLeft();
    m_runClock.start();
    UpdateRunRate();
}

void TfrmMain::btnStopClick()
{
    if (m_laneRun) m_laneRun->Stop();
    m_driver->Stop();
    m_runRows = 0;
    UpdateRunRate();
}

void TfrmMain::Timer2Timer()
{
    m_driver->Tick();
}

QString TfrmMain::FolderText() const
{
    return edtFolder->text();
}

bool TfrmMain::SkipExisting() const
{
    return chkSkip->isChecked();
}

QString TfrmMain::ExtensionText() const
{
    return cbxExt->currentText();
}

TCaptureSizes TfrmMain::CaptureSizes() const
{
    // The scale the engine took at start-up, whatever the Options say now.
    return {speBrowserX->value(), speBrowserY->value(), speThumbX->value(),
            speThumbY->value(),   m_engine.Scale,       m_captureOptions.FullPage};
}

int TfrmMain::ThumbnailQuality() const
{
    return m_captureQuality;
}

int TfrmMain::PageTimeout() const
{
    return m_pageTimeout;
}

void TfrmMain::ShowCapturePage()
{
    bsSkinPageControl1->setCurrentIndex(1);
}

void TfrmMain::ShowListPage()
{
    bsSkinPageControl1->setCurrentIndex(0);
}

void TfrmMain::SetCounterCaptions(const QString& total, const QString& done, const QString& success,
                                  const QString& errors)
{
    stpTotal->setText(total);
    stpDone->setText(done);
    stpSuccess->setText(success);
    stpError->setText(errors);
    UpdateRunRate();
}

int TfrmMain::RowsLeft() const
{
    int left = 0;
    for (const TUrlJob& job : m_rows->Jobs()) {
        if (job.Status == JobStatus::Pending || job.Status == JobStatus::Downloading) ++left;
    }
    return left;
}

void TfrmMain::UpdateRunRate()
{
    const int left = RowsLeft();
    if (left == 0) m_runRows = 0;
    stpRate->setText(m_runRows > 0 ? RunRateText(m_runRows - left, left, m_runClock.elapsed()) : QString());
}

void TfrmMain::UpdatePreview()
{
    const int row = lvwItems->currentIndex().row();
    if (row < 0 || row >= m_rows->Count()) {
        imgPreview->ShowNothing();
        return;
    }
    const TUrlJob& job = m_rows->At(row);
    const QByteArray path =
        IsSafeFileId(job.Id) ? ThumbnailPath(edtFolder->text(), job.Id, cbxExt->currentText()) : QByteArray();
    imgPreview->ShowRow(path, job.Status, m_rowReasons->Reason(row));
}

void TfrmMain::lvwItemsDblClick(const QModelIndex& index)
{
    if (!index.isValid()) return;
    lvwItems->setCurrentIndex(index);
    UpdatePreview();
    if (!imgPreview->Shown().isEmpty()) m_shell.OpenFile(imgPreview->Shown());
}

void TfrmMain::SetGauge(int value, int maximum)
{
    MainGauge->setMaximum(qMax(maximum, 0));
    MainGauge->setValue(value);
}

void TfrmMain::ProcessMessages()
{
    QCoreApplication::processEvents();
}

void TfrmMain::RefreshCaptureView()
{
    const QImage frame = EmbeddedWB1.Draw();
    if (!frame.isNull()) {
        m_captureLiveView->setPixmap(QPixmap::fromImage(frame));
        m_captureLiveView->resize(frame.size());
    }
}

// ---- list commands

void TfrmMain::SetTotalCaption(int rowCount)
{
    stpTotal->setText(QStringLiteral("Total: %1").arg(rowCount));
}

void TfrmMain::StopRunBeforeListChange()
{
    if (m_driver->IsRunning() || (m_laneRun && m_laneRun->IsRunning())) btnStopClick();
}

void TfrmMain::btnImportClick()
{
    StopRunBeforeListChange();
    TfrmList window(*m_jobs, cbxType->currentIndex(), m_dialogs, this);
    connect(&window, &TfrmList::TotalChanged, this, &TfrmMain::SetTotalCaption);
    window.exec();
}

void TfrmMain::btnAddURLClick()
{
    TfrmAddUrl window(*m_jobs, cbxType->currentIndex(), this);
    window.SetUrl(bsSkinTabSheet3->Address());
    connect(&window, &TfrmAddUrl::TotalChanged, this, &TfrmMain::SetTotalCaption);
    window.exec();
}

void TfrmMain::btnExportClick()
{
    if (m_jobs->Count() == 0) {
        m_dialogs.ShowSkinMessage(QStringLiteral("You don't have any url to export."), TMsgDlgType::Information, mbOK,
                                  0);
        return;
    }
    if (!m_jobs->AnySelected()) {
        m_dialogs.ShowSkinMessage(QStringLiteral("Please select at least one url to export."), TMsgDlgType::Information,
                                  mbOK, 0);
        return;
    }
    TfrmSave window(*m_jobs, m_dialogs, this);
    window.exec();
}

void TfrmMain::btnSelectAllClick()
{
    m_jobs->SelectAll();
}

void TfrmMain::btnSelectErrorsClick()
{
    m_jobs->SelectErrors();
}

void TfrmMain::btnClearSelectionClick()
{
    m_jobs->ClearSelection();
}

void TfrmMain::btnDeleteSelectedClick()
{
    if (!m_jobs->AnySelected()) {
        m_dialogs.ShowSkinMessage(QStringLiteral("Please select the items do you want delete."),
                                  TMsgDlgType::Information, mbOK, 0);
        return;
    }
    StopRunBeforeListChange();
    m_jobs->DeleteSelected();
}
