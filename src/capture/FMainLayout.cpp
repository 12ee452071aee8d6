// The main window's controls, built in the order they stand on screen.

#include "capture/FMain.h"

#include "capture/BrowserTab.h"
#include "capture/ThumbnailPreview.h"
#include "common/HtmlView.h"
#include "common/Shell.h"
#include "platform/LinkLabel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

namespace {

// A signed whole number without bounds that does not step with the arrow keys.
class TNumberEdit : public QSpinBox
{
public:
    explicit TNumberEdit(QWidget* parent) : QSpinBox(parent)
    {
        setRange(INT_MIN, INT_MAX);
        setButtonSymbols(QAbstractSpinBox::NoButtons);
        setAccelerated(false);
    }

protected:
    StepEnabled stepEnabled() const override { return StepNone; }
};

QWidget* Strip(QWidget* parent, int height)
{
    auto* strip = new QWidget(parent);
    strip->setFixedHeight(height);
    return strip;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QToolButton* PictureButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    return button;
}

QLabel* Label(QWidget* parent, const QString& caption, QWidget* buddy)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

QLabel* StatusPanel(QWidget* parent, const char* name, const QString& caption)
{
    auto* panel = new QLabel(caption, parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFixedWidth(95);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setIndent(3);
    return panel;
}

} // namespace
void TfrmMain::BuildPrincipalPages()
{
    pgcPrinc = new QStackedWidget(this);
    pgcPrinc->setObjectName(QStringLiteral("pgcPrinc"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(pgcPrinc);

    stsWelcome = new QWidget(pgcPrinc);
    stsWelcome->setObjectName(QStringLiteral("stsWelcome"));
    prfWelcome = m_welcomeView.Widget();
    prfWelcome->setParent(stsWelcome);
    prfWelcome->setObjectName(QStringLiteral("prfWelcome"));
    bsSkinButton1 = Button(stsWelcome, "bsSkinButton1", QStringLiteral("Thanks, just show me the main application"));
    bsSkinButton1->setDefault(true);
    // A default button answers Enter only inside a dialog: on this page Enter presses it
    // wherever the focus is, the welcome view included.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* enter = new QShortcut(key, stsWelcome, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(enter, &QShortcut::activated, bsSkinButton1, &QPushButton::click);
    }
    bsSkinButton1->setFixedSize(bsSkinButton1->sizeHint().expandedTo(QSize(265, 20)));
    connect(bsSkinButton1, &QPushButton::clicked, this, &TfrmMain::bsSkinButton1Click);
    auto* welcome = new QVBoxLayout(stsWelcome);
    welcome->addWidget(prfWelcome, 1);
    welcome->addWidget(bsSkinButton1, 0, Qt::AlignRight);
    pgcPrinc->addWidget(stsWelcome);

    stsMain = new QWidget(pgcPrinc);
    stsMain->setObjectName(QStringLiteral("stsMain"));
    auto* main = new QVBoxLayout(stsMain);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    pgcPrinc->addWidget(stsMain);
}

void TfrmMain::BuildToolStrip()
{
    QWidget* strip = Strip(stsMain, 43);
    btnMakeMoney = Button(strip, "btnMakeMoney", QStringLiteral("Make Money"));
    btnAbout = Button(strip, "btnAbout", QStringLiteral("About"));
    btnNews = PictureButton(strip, "btnNews", QStyle::SP_FileDialogInfoView, QStringLiteral("Check News"));
    btnUpdate = PictureButton(strip, "btnUpdate", QStyle::SP_BrowserReload, QStringLiteral("Check Updates"));
    btnHelp = PictureButton(strip, "btnHelp", QStyle::SP_MessageBoxQuestion, QStringLiteral("Help"));
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 4, 6, 4);
    row->addWidget(btnMakeMoney);
    row->addWidget(btnAbout);
    row->addStretch(1);
    row->addWidget(btnNews);
    row->addWidget(btnUpdate);
    row->addWidget(btnHelp);
    stsMain->layout()->addWidget(strip);
    btnMakeMoney->setMinimumWidth(125);
    btnAbout->setMinimumWidth(125);
    for (QToolButton* picture : {btnNews, btnUpdate, btnHelp})
        picture->setFixedSize(41, 34);
    connect(btnMakeMoney, &QPushButton::clicked, this, &TfrmMain::btnMakeMoneyClick);
    connect(btnAbout, &QPushButton::clicked, this, &TfrmMain::btnAboutClick);
    connect(btnHelp, &QToolButton::clicked, this, &TfrmMain::btnHelpClick);
    connect(btnNews, &QToolButton::clicked, this, &TfrmMain::btnNewsClick);
    connect(btnUpdate, &QToolButton::clicked, this, &TfrmMain::btnUpdateClick);
}

void TfrmMain::BuildBannerStrip()
{
    panBanner = Strip(stsMain, 65);
    panBanner->setObjectName(QStringLiteral("panBanner"));
    imgBanner = new QLabel(panBanner);
    imgBanner->setObjectName(QStringLiteral("imgBanner"));
    imgBanner->setGeometry(0, 0, 468, 60);
    gifBanner = new QLabel(panBanner);
    gifBanner->setObjectName(QStringLiteral("gifBanner"));
    imgBanner->installEventFilter(this);
    gifBanner->installEventFilter(this);
    stsMain->layout()->addWidget(panBanner);
}

void TfrmMain::BuildCommandStrip()
{
    QWidget* strip = Strip(stsMain, 37);
    btnAddURL = Button(strip, "btnAddURL", QStringLiteral("Add URL"));
    btnImport = Button(strip, "btnImport", QStringLiteral("Import"));
    btnExport = Button(strip, "btnExport", QStringLiteral("Export"));
    btnStart = Button(strip, "btnStart", QStringLiteral("Start"));
    btnStop = Button(strip, "btnStop", QStringLiteral("Stop"));
    btnOptions = Button(strip, "btnOptions", QStringLiteral("Options"));
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 2, 6, 2);
    for (QPushButton* b : {btnAddURL, btnImport, btnExport, btnStart, btnStop, btnOptions})
        row->addWidget(b);
    row->addStretch(1);
    stsMain->layout()->addWidget(strip);

    connect(btnAddURL, &QPushButton::clicked, this, &TfrmMain::btnAddURLClick);
    connect(btnImport, &QPushButton::clicked, this, &TfrmMain::btnImportClick);
    connect(btnExport, &QPushButton::clicked, this, &TfrmMain::btnExportClick);
    connect(btnStart, &QPushButton::clicked, this, &TfrmMain::btnStartClick);
    connect(btnStop, &QPushButton::clicked, this, &TfrmMain::btnStopClick);
    connect(btnOptions, &QPushButton::clicked, this, &TfrmMain::btnOptionsClick);
}

void TfrmMain::BuildSettingsPanel()
{
    QWidget* panel = Strip(stsMain, 104);
    panel->setObjectName(QStringLiteral("panSettings"));
    edtFolder = new QLineEdit(panel);
    edtFolder->setObjectName(QStringLiteral("edtFolder"));
    bsSkinButton6 = Button(panel, "bsSkinButton6", QStringLiteral("Browse"));
    speBrowserX = new TNumberEdit(panel);
    speBrowserX->setObjectName(QStringLiteral("speBrowserX"));
    speBrowserY = new TNumberEdit(panel);
    speBrowserY->setObjectName(QStringLiteral("speBrowserY"));
    speThumbX = new TNumberEdit(panel);
    speThumbX->setObjectName(QStringLiteral("speThumbX"));
    speThumbY = new TNumberEdit(panel);
    speThumbY->setObjectName(QStringLiteral("speThumbY"));
    chkKeepAspectRatio = new QCheckBox(QStringLiteral("Keep aspect radio"), panel);
    chkKeepAspectRatio->setObjectName(QStringLiteral("chkKeepAspectRatio"));
    chkKeepAspectRatio->setChecked(true);
    chkSkip = new QCheckBox(QStringLiteral("Skip existing"), panel);
    chkSkip->setObjectName(QStringLiteral("chkSkip"));
    chkSkip->setChecked(true);
    cbxExt = new QComboBox(panel);
    cbxExt->setObjectName(QStringLiteral("cbxExt"));
    cbxExt->addItems({QStringLiteral("jpg"), QStringLiteral("gif"), QStringLiteral("bmp"), QStringLiteral("png"),
                      QStringLiteral("webp")});
    spePagesAtOnce = new TNumberEdit(panel);
    spePagesAtOnce->setObjectName(QStringLiteral("spePagesAtOnce"));
    spePagesAtOnce->setRange(1, kMaxPagesAtOnce);
    spePagesAtOnce->setValue(1);
    cbxType = new QComboBox(panel);
    cbxType->setObjectName(QStringLiteral("cbxType"));
    cbxType->addItems({QStringLiteral("Automatic Alphanumeric ID"), QStringLiteral("URL Address")});

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(4);
    grid->addWidget(Label(panel, QStringLiteral("&Output folder:"), edtFolder), 0, 0);
    grid->addWidget(edtFolder, 0, 1, 1, 5);
    grid->addWidget(bsSkinButton6, 0, 6);
    grid->addWidget(Label(panel, QStringLiteral("Browser &Width:"), speBrowserX), 1, 0);
    grid->addWidget(speBrowserX, 1, 1);
    grid->addWidget(Label(panel, QStringLiteral("Browser &Height:"), speBrowserY), 1, 2);
    grid->addWidget(speBrowserY, 1, 3);
    grid->addWidget(Label(panel, QStringLiteral("&Export as:"), cbxExt), 1, 4);
    grid->addWidget(cbxExt, 1, 5, 1, 2);
    grid->addWidget(Label(panel, QStringLiteral("&Thumbnail Width:"), speThumbX), 2, 0);
    grid->addWidget(speThumbX, 2, 1);
    grid->addWidget(Label(panel, QStringLiteral("Thumbnail H&eight:"), speThumbY), 2, 2);
    grid->addWidget(speThumbY, 2, 3);
    grid->addWidget(Label(panel, QStringLiteral("&Generate File Name From:"), cbxType), 2, 4);
    grid->addWidget(cbxType, 2, 5, 1, 2);
    grid->addWidget(chkKeepAspectRatio, 3, 1, 1, 2);
    grid->addWidget(chkSkip, 3, 3);
    grid->addWidget(Label(panel, QStringLiteral("&Pages at once:"), spePagesAtOnce), 3, 4);
    grid->addWidget(spePagesAtOnce, 3, 5);
    for (QSpinBox* edit : {speBrowserX, speBrowserY, speThumbX, speThumbY, spePagesAtOnce})
        edit->setMaximumWidth(90);
    for (QComboBox* box : {cbxExt, cbxType}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(10);
    }
    grid->setColumnStretch(5, 1);
    stsMain->layout()->addWidget(panel);

    // Row by row, left to right, as the panel reads.
    const QList<QWidget*> order = {edtFolder, bsSkinButton6, speBrowserX,        speBrowserY, cbxExt,        speThumbX,
                                   speThumbY, cbxType,       chkKeepAspectRatio, chkSkip,     spePagesAtOnce};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    connect(bsSkinButton6, &QPushButton::clicked, this, &TfrmMain::bsSkinButton6Click);
    connect(speBrowserX, &QSpinBox::valueChanged, this, &TfrmMain::speBrowserXChange);
    connect(speBrowserY, &QSpinBox::valueChanged, this, &TfrmMain::speBrowserYChange);
    connect(speThumbX, &QSpinBox::valueChanged, this, &TfrmMain::speThumbXChange);
    connect(chkKeepAspectRatio, &QCheckBox::clicked, this, &TfrmMain::chkKeepAspectRatioClick);
}

void TfrmMain::BuildPages()
{
    bsSkinPageControl1 = new QTabWidget(stsMain);
    bsSkinPageControl1->setObjectName(QStringLiteral("bsSkinPageControl1"));

    bsSkinTabSheet1 = new QWidget(bsSkinPageControl1);
    bsSkinTabSheet1->setObjectName(QStringLiteral("bsSkinTabSheet1"));
    m_rows = new TJobTableModel(this);
    lvwItems = new QTableView(bsSkinTabSheet1);
    lvwItems->setObjectName(QStringLiteral("lvwItems"));
    lvwItems->setAccessibleName(QStringLiteral("URL list"));
    lvwItems->setModel(m_rows);
    lvwItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwItems->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwItems->setShowGrid(true);
    lvwItems->setWordWrap(false);
    lvwItems->verticalHeader()->hide();
    lvwItems->verticalHeader()->setDefaultSectionSize(lvwItems->fontMetrics().height() + 6);
    QHeaderView* header = lvwItems->horizontalHeader();
    header->resizeSection(TJobTableModel::ColNumber, 100);
    header->resizeSection(TJobTableModel::ColId, 150);
    header->resizeSection(TJobTableModel::ColStatus, 100);
    header->setSectionResizeMode(TJobTableModel::ColUrl, QHeaderView::Stretch);
    btnSelectAll = Button(bsSkinTabSheet1, "btnSelectAll", QStringLiteral("Select All"));
    btnSelectErrors = Button(bsSkinTabSheet1, "btnSelectErrors", QStringLiteral("Select Errors"));
    btnClearSelection = Button(bsSkinTabSheet1, "btnClearSelection", QStringLiteral("Clear Selection"));
    btnDeleteSelected = Button(bsSkinTabSheet1, "btnDeleteSelected", QStringLiteral("Delete Selected"));
    auto* listPage = new QVBoxLayout(bsSkinTabSheet1);
    listPage->setContentsMargins(4, 4, 4, 4);
    imgPreview = new TThumbnailPreview(bsSkinTabSheet1);
    auto* listAndPreview = new QHBoxLayout;
    listAndPreview->addWidget(lvwItems, 1);
    listAndPreview->addWidget(imgPreview, 0, Qt::AlignTop);
    listPage->addLayout(listAndPreview, 1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(btnSelectAll);
    listButtons->addWidget(btnSelectErrors);
    listButtons->addWidget(btnClearSelection);
    listButtons->addWidget(btnDeleteSelected);
    listButtons->addStretch(1);
    listPage->addLayout(listButtons);
    bsSkinPageControl1->addTab(bsSkinTabSheet1, QStringLiteral("URL List"));

    // The capture browser renders off screen; this page shows what it draws.
    bsSkinTabSheet2 = new QScrollArea(bsSkinPageControl1);
    bsSkinTabSheet2->setObjectName(QStringLiteral("bsSkinTabSheet2"));
    bsSkinTabSheet2->setBackgroundRole(QPalette::Base);
    bsSkinTabSheet2->setStyleSheet(QStringLiteral("QScrollArea { background: white; }"));
    m_captureLiveView = new QLabel;
    m_captureLiveView->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    bsSkinTabSheet2->setWidget(m_captureLiveView);
    bsSkinPageControl1->addTab(bsSkinTabSheet2, QStringLiteral("Browser"));
    bsSkinPageControl1->setTabVisible(1, false);

    bsSkinTabSheet3 = new TBrowserTab(EmbeddedWB2, m_browsingView, bsSkinPageControl1);
    bsSkinTabSheet3->setObjectName(QStringLiteral("bsSkinTabSheet3"));
    bsSkinPageControl1->addTab(bsSkinTabSheet3, QStringLiteral("Browser"));

    stsMain->layout()->addWidget(bsSkinPageControl1);
    static_cast<QVBoxLayout*>(stsMain->layout())->setStretchFactor(bsSkinPageControl1, 1);

    connect(btnSelectAll, &QPushButton::clicked, this, &TfrmMain::btnSelectAllClick);
    connect(btnSelectErrors, &QPushButton::clicked, this, &TfrmMain::btnSelectErrorsClick);
    connect(btnClearSelection, &QPushButton::clicked, this, &TfrmMain::btnClearSelectionClick);
    connect(btnDeleteSelected, &QPushButton::clicked, this, &TfrmMain::btnDeleteSelectedClick);
    connect(bsSkinPageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1) {
            RefreshCaptureView();
            m_liveViewTimer.start();
        } else {
            m_liveViewTimer.stop();
        }
    });
}

void TfrmMain::BuildLinksStrip()
{
    panLinks = Strip(stsMain, 36);
    panLinks->setObjectName(QStringLiteral("panLinks"));
    lblLink1URL = new TLinkLabel(panLinks);
    lblLink1URL->setObjectName(QStringLiteral("lblLink1URL"));
    lblLink1URL->SetLink(QStringLiteral("Thumbrix home page"), QByteArrayLiteral("https://www.example.com/"));
    lblLink2URL = new TLinkLabel(panLinks);
    lblLink2URL->setObjectName(QStringLiteral("lblLink2URL"));
    lblLink2URL->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblLink2URL->SetLink(QStringLiteral("Support"), QByteArrayLiteral("https://www.example.com/support"));
    for (TLinkLabel* link : {lblLink1URL, lblLink2URL})
        connect(link, &TLinkLabel::Clicked, this, [this](const QByteArray& address) { m_shell.OpenLink(address); });
    auto* row = new QHBoxLayout(panLinks);
    row->setContentsMargins(8, 2, 8, 2);
    row->addWidget(lblLink1URL);
    row->addStretch(1);
    row->addWidget(lblLink2URL);
    stsMain->layout()->addWidget(panLinks);
}

void TfrmMain::BuildStatusBar()
{
    QWidget* bar = Strip(stsMain, 17);
    stpTotal = StatusPanel(bar, "stpTotal", QStringLiteral("Total:"));
    stpDone = StatusPanel(bar, "stpDone", QStringLiteral("Done:"));
    stpSuccess = StatusPanel(bar, "stpSuccess", QStringLiteral("Success:"));
    stpError = StatusPanel(bar, "stpError", QStringLiteral("Error:"));
    // How fast the run goes, while one does.
    stpRate = StatusPanel(bar, "stpRate", QString());
    MainGauge = new QProgressBar(bar);
    MainGauge->setObjectName(QStringLiteral("MainGauge"));
    MainGauge->setAccessibleName(QStringLiteral("Page load progress"));
    MainGauge->setRange(0, 100);
    MainGauge->setValue(0);
    MainGauge->setFormat(QStringLiteral("%p%"));
    MainGauge->setTextVisible(true);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    for (QLabel* panel : {stpTotal, stpDone, stpSuccess, stpError, stpRate})
        row->addWidget(panel);
    row->addWidget(MainGauge, 1);
    stsMain->layout()->addWidget(bar);
}
