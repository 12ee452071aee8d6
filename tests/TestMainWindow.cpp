// The main window on fake browsers: start-up settings, the panel's rules, the capture
// run's bookkeeping and the list commands.

#include "FifoRescue.h"
#include "MainWindowFixture.h"

#include "capture/CaptureSettings.h"
#include "urllist/JobId.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QUrl>

#include <sys/stat.h>

namespace {

QList<TUrlJob> Rows(TfrmMain& window)
{
    return window.Jobs().Model()->Jobs();
}

QByteArrayList Statuses(TfrmMain& window)
{
    QByteArrayList statuses;
    for (const TUrlJob& job : Rows(window))
        statuses << job.Status;
    return statuses;
}

QByteArrayList Numbers(TfrmMain& window)
{
    QByteArrayList numbers;
    for (const TUrlJob& job : Rows(window))
        numbers << job.Number;
    return numbers;
}

void AddRows(TfrmMain& window, const QList<QByteArray>& urls)
{
    for (const QByteArray& url : urls)
        window.Jobs().AddUrl(url, 0);
}

// Records its navigations among the other steps, so that their order shows.
struct StepsWithNavigation : FakeWebBrowser
{
    void Navigate(const QByteArray& url) override
    {
        Steps << QStringLiteral("navigate ") + QString::fromLatin1(url);
        FakeWebBrowser::Navigate(url);
    }
};

void SelectRows(TfrmMain& window, const QList<int>& rows)
{
    QItemSelectionModel* selection = window.findChild<QAbstractItemView*>(QStringLiteral("lvwItems"))->selectionModel();
    selection->clearSelection();
    for (int row : rows)
        selection->select(window.Jobs().Model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Web-palette colours in 4 x 4 blocks: the default 800 x 600 view reduced to 200 x 150
// gives each block's colour, unmixed, and GIF holds it too.
QRgb BlockColour(int x, int y)
{
    return qRgb(51 * (x % 6), 51 * (y % 6), 51 * ((x / 6 + y / 6) % 6));
}

QImage BlockView()
{
    QImage view(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            view.setPixel(x, y, BlockColour(x / 4, y / 4));
    return view;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startupSettings_data();
    void startupSettings();
    void panelRules();
    void savesAtClose();
    void browse();
    void startRefusals_data();
    void startRefusals();
    void runMarksAndCaptures();
    void rateCountsRowsAddedDuringTheRun();
    void previewShowsTheRowsThumbnail();
    void listsAndAddressesFromTheDesktop_data();
    void listsAndAddressesFromTheDesktop();
    void pasteAddsAddresses();
    void pageTimeout_data();
    void pageTimeout();
    void skipTestsJpgWhateverTheFormat_data();
    void skipTestsJpgWhateverTheFormat();
    void stopDuringLoad();
    void startAgainDuringRun();
    void gaugeRules();
    void unsafeIdAndUnwritableFolder();
    void listCommands();
    void importAndAddThroughWindows();
    void listChangesStopTheRun();
    void tickInsideAnotherHandlerIsDropped();
    void browsingTab();
    void tabOrderAndLabels();
};

void TestMainWindow::startupSettings_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("browserX");
    QTest::addColumn<int>("browserY");
    QTest::addColumn<int>("thumbX");
    QTest::addColumn<int>("thumbY");
    QTest::addColumn<bool>("keepAspect");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<int>("linkType");
    QTest::addColumn<int>("pageTimeout");

    QTest::newRow("no-config") << QByteArray() << QString() << 800 << 600 << 200 << 150 << true << true << 0 << 30;
    QTest::newRow("hexadecimal-0x400") << QByteArray("[Settings]\nBrowserX=0x400\n") << QString() << 1024 << 600 << 200
                                       << 117 << true << true << 0 << 30;
    QTest::newRow("dollar-hex-and-case") << QByteArray("[settings]\nbrowsery=$258\nTHUMBX=400\n") << QString() << 800
                                         << 600 << 400 << 300 << true << true << 0 << 30;
    QTest::newRow("unreadable-values")
        << QByteArray("[Settings]\nBrowserX=wide\nThumbX=\nSkip=maybe\nLinkType=x\nPageTimeout=soon\n") << QString()
        << 800 << 600 << 200 << 150 << true << true << 0 << 30;
    QTest::newRow("keep-aspect-off-keeps-height")
        << QByteArray("[Settings]\nKeepAspectRatio=0\nThumbY=77\nSkip=0\nLinkType=1\nFolder=  /tmp/a,b  \n")
        << QStringLiteral("/tmp/a,b") << 800 << 600 << 200 << 77 << false << false << 1 << 30;
    QTest::newRow("stored-height-recomputed") << QByteArray("[Settings]\nThumbX=333\nThumbY=10\n") << QString() << 800
                                              << 600 << 333 << 249 << true << true << 0 << 30;
    QTest::newRow("browser-width-zero") << QByteArray("[Settings]\nBrowserX=0\nThumbY=42\n") << QString() << 0 << 600
                                        << 200 << 42 << true << true << 0 << 30;
    QTest::newRow("page-timeout-one-second")
        << QByteArray("[Settings]\nPageTimeout=1\n") << QString() << 800 << 600 << 200 << 150 << true << true << 0 << 1;
    QTest::newRow("page-timeout-zero-is-no-limit")
        << QByteArray("[Settings]\nPageTimeout=0\n") << QString() << 800 << 600 << 200 << 150 << true << true << 0 << 0;
    QTest::newRow("page-timeout-negative-is-default") << QByteArray("[Settings]\nPageTimeout=-5\n") << QString() << 800
                                                      << 600 << 200 << 150 << true << true << 0 << 30;
    QTest::newRow("page-timeout-capped-at-an-hour") << QByteArray("[Settings]\nPageTimeout=100000\n") << QString()
                                                    << 800 << 600 << 200 << 150 << true << true << 0 << 3600;
}

void TestMainWindow::startupSettings()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, folder);
    QFETCH(int, browserX);
    QFETCH(int, browserY);
    QFETCH(int, thumbX);
    QFETCH(int, thumbY);
    QFETCH(bool, keepAspect);
    QFETCH(bool, skip);
    QFETCH(int, linkType);
    QFETCH(int, pageTimeout);

    MainWindowFixture f;
    if (!config.isNull()) f.WriteConfig(config);
    TfrmMain& window = f.Open();
    const TCaptureSettings s = window.CurrentSettings();
    QCOMPARE(s.Folder, folder);
    QCOMPARE(s.BrowserX, browserX);
    QCOMPARE(s.BrowserY, browserY);
    QCOMPARE(s.ThumbX, thumbX);
    QCOMPARE(s.ThumbY, thumbY);
    QCOMPARE(s.KeepAspectRatio, keepAspect);
    QCOMPARE(s.Skip, skip);
    QCOMPARE(s.LinkType, linkType);
    QCOMPARE(s.PageTimeout, pageTimeout);
    QCOMPARE(s.ImageFormat, QStringLiteral("jpg"));
    // The capture browser takes the loaded size; the height edit is locked while the box is on.
    QCOMPARE(f.Capture.Widths.last(), browserX);
    QCOMPARE(f.Capture.Heights.last(), browserY);
    auto* heightEdit = f.Find<QSpinBox>("speThumbY");
    QCOMPARE(heightEdit->isEnabled(), !keepAspect);
    QCOMPARE(heightEdit->isReadOnly(), keepAspect);
    QVERIFY(f.Dialogs.Messages.isEmpty());
    // The window opens on the main page (no welcome entry) and the capture browser is blank.
    QCOMPARE(f.Capture.Navigated, QList<QByteArray>{"about:blank"});
    QCOMPARE(f.Find<QTabWidget>("bsSkinPageControl1")->currentIndex(), 0);
}

void TestMainWindow::panelRules()
{
    MainWindowFixture f;
    f.Open();
    auto* browserX = f.Find<QSpinBox>("speBrowserX");
    auto* browserY = f.Find<QSpinBox>("speBrowserY");
    auto* thumbX = f.Find<QSpinBox>("speThumbX");
    auto* thumbY = f.Find<QSpinBox>("speThumbY");
    auto* keep = f.Find<QCheckBox>("chkKeepAspectRatio");

    thumbX->setValue(333);
    QCOMPARE(thumbY->value(), 249);
    // The browser height alone does not recompute the thumbnail height...
    browserY->setValue(300);
    QCOMPARE(f.Capture.Heights.last(), 300);
    QCOMPARE(thumbY->value(), 249);
    // ...the next width change or click does.
    keep->click();
    QVERIFY(!keep->isChecked());
    QVERIFY(thumbY->isEnabled());
    keep->click();
    QCOMPARE(thumbY->value(), 124);
    // Width 0: the rule fails quietly and the height stays.
    browserX->setValue(0);
    QCOMPARE(f.Capture.Widths.last(), 0);
    thumbX->setValue(500);
    QCOMPARE(thumbY->value(), 124);
    QVERIFY(f.Dialogs.Messages.isEmpty());
    QVERIFY(f.Dialogs.Errors.isEmpty());
    // The number edits do not step with the arrow keys.
    thumbX->setFocus();
    QTest::keyClick(thumbX, Qt::Key_Up);
    QCOMPARE(thumbX->value(), 500);
}

void TestMainWindow::savesAtClose()
{
    MainWindowFixture f;
    f.WriteConfig("; kept\n[Other]\nName=x\n[Settings]\nBrowserX=1024\nPageTimeout=99999\n");
    TfrmMain& window = f.Open();
    f.Find<QLineEdit>("edtFolder")->setText(QStringLiteral("/srv/thumbs, new"));
    f.Find<QSpinBox>("speThumbX")->setValue(400);
    f.Find<QCheckBox>("chkSkip")->click();
    f.Find<QComboBox>("cbxType")->setCurrentIndex(1);
    f.Find<QComboBox>("cbxExt")->setCurrentIndex(1);
    window.close();

    QFile file(f.ProgramFolder.filePath(QStringLiteral("config.ini")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("; kept") && text.contains("[Other]"), text.constData());
    for (const char* line : {"Folder=/srv/thumbs, new", "BrowserX=1024", "BrowserY=600", "ThumbX=400", "ThumbY=234",
                             "KeepAspectRatio=1", "Skip=0", "LinkType=1", "PageTimeout=3600", "PagesAtOnce=1"})
        QVERIFY2(text.contains(line), line);

    MainWindowFixture again;
    again.WriteConfig(text);
    const TCaptureSettings s = again.Open().CurrentSettings();
    QCOMPARE(s.Folder, QStringLiteral("/srv/thumbs, new"));
    QCOMPARE(s.ThumbY, 234);
    QCOMPARE(s.ImageFormat, QStringLiteral("jpg"));
}

void TestMainWindow::browse()
{
    MainWindowFixture f;
    f.Open();
    auto* folder = f.Find<QLineEdit>("edtFolder");
    folder->setText(QStringLiteral("/before"));
    f.Dialogs.FileAnswers << QString();
    f.Find<QPushButton>("bsSkinButton6")->click();
    QCOMPARE(folder->text(), QStringLiteral("/before"));
    f.Dialogs.FileAnswers << QStringLiteral("/chosen");
    f.Find<QPushButton>("bsSkinButton6")->click();
    QCOMPARE(folder->text(), QStringLiteral("/chosen"));
    QCOMPARE(f.Dialogs.DialogTitles, (QStringList{QStringLiteral("Select folder"), QStringLiteral("Select folder")}));
}

void TestMainWindow::startRefusals_data()
{
    QTest::addColumn<bool>("validFolder");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("select");
    QTest::addColumn<QString>("message");

    QTest::newRow("no-folder") << false << 2 << true
                               << QStringLiteral("Please enter a valid folder to save thumbnails.");
    QTest::newRow("empty-list") << true << 0 << false
                                << QStringLiteral("Please create a new URL list or add a custom URL.");
    QTest::newRow("no-selection") << true << 2 << false
                                  << QStringLiteral("Please select at least one url to start the process");
}

void TestMainWindow::startRefusals()
{
    QFETCH(bool, validFolder);
    QFETCH(int, rows);
    QFETCH(bool, select);
    QFETCH(QString, message);
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(validFolder ? out.path() : out.filePath(QStringLiteral("missing")));
    for (int i = 0; i < rows; ++i)
        window.Jobs().AddUrl("http://example.invalid/" + QByteArray::number(i), 0);
    if (select) window.btnSelectAllClick();
    f.Capture.Navigated.clear();
    window.btnStartClick();
    QCOMPARE(f.Dialogs.MessageTexts(), QStringList{message});
    QCOMPARE(f.Dialogs.Messages.first().kind, TMsgDlgType::Information);
    QCOMPARE(f.Dialogs.Messages.first().buttons, TMsgDlgButtons(mbOK));
    QVERIFY(f.Capture.Navigated.isEmpty());
    QVERIFY(!window.Driver().IsRunning());
}

void TestMainWindow::rateCountsRowsAddedDuringTheRun()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    f.Capture.View = QImage(800, 600, QImage::Format_RGB32);
    f.Capture.View.fill(Qt::red);
    AddRows(window, {"http://a.invalid/"});
    SelectRows(window, {0});
    window.btnStartClick();
    AddRows(window, {"http://b.invalid/", "http://c.invalid/"});

    Q_EMIT f.Capture.BeforeNavigate2();
    f.Capture.State = WebBrowser::Complete;
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[0], JobStatus::Success);
    QVERIFY(window.Driver().IsRunning());
    // One row done of three, two of them added after Start.
    QVERIFY2(f.Find<QLabel>("stpRate")->text().contains(QStringLiteral(" pages/min, ")),
             qPrintable(f.Find<QLabel>("stpRate")->text()));
}

void TestMainWindow::runMarksAndCaptures()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    f.Capture.View = QImage(800, 600, QImage::Format_RGB32);
    f.Capture.View.fill(Qt::red);
    AddRows(window, {"http://a.invalid/", "http://b.invalid/", "http://c.invalid/"});
    window.Jobs().Model()->SetStatus(1, JobStatus::Success);
    SelectRows(window, {1}); // only row 1 selected; rows 0 and 2 read "Pending" from creation
    f.Capture.Navigated.clear();

    window.btnStartClick();
    // The counters describe the rows before this Start.
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 3"));
    QCOMPARE(f.Find<QLabel>("stpDone")->text(), QStringLiteral("Done: 1"));
    QCOMPARE(f.Find<QLabel>("stpSuccess")->text(), QStringLiteral("Success: 1"));
    QCOMPARE(f.Find<QLabel>("stpError")->text(), QStringLiteral("Errors: 0"));
    QVERIFY(window.Driver().IsRunning());
    QCOMPARE(f.Find<QTabWidget>("bsSkinPageControl1")->currentIndex(), 1);
    QCOMPARE(f.Capture.Navigated, QList<QByteArray>{"http://a.invalid/"});

    Q_EMIT f.Capture.BeforeNavigate2();
    QCOMPARE(Statuses(window)[0], JobStatus::Downloading);
    f.Capture.State = WebBrowser::Loading;
    window.Timer2Timer(); // not complete yet: nothing but the page switch
    QCOMPARE(Statuses(window)[0], JobStatus::Downloading);
    QCOMPARE(f.Find<QTabWidget>("bsSkinPageControl1")->currentIndex(), 0);
    f.Capture.State = WebBrowser::Complete;
    window.Timer2Timer();
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Success, JobStatus::Pending, JobStatus::Pending}));
    QVERIFY(
        QFile::exists(out.filePath(QString::fromLatin1(MakeJobId("http://a.invalid/", 0)) + QStringLiteral(".jpg"))));
    // Recounted as the row ends, with the run's speed so far.
    QVERIFY2(f.Find<QLabel>("stpRate")->text().contains(QStringLiteral(" pages/min, ")),
             qPrintable(f.Find<QLabel>("stpRate")->text()));
    QCOMPARE(f.Find<QLabel>("stpDone")->text(), QStringLiteral("Done: 1"));
    QCOMPARE(f.Find<QLabel>("stpSuccess")->text(), QStringLiteral("Success: 1"));

    // Row 1 was selected and marked Pending; then row 2 follows in list order.
    QCOMPARE(f.Capture.Navigated.last(), QByteArray("http://b.invalid/"));
    Q_EMIT f.Capture.NavigateError(QStringLiteral("HTTP status 404"), WebBrowser::Failure::HttpStatus);
    QCOMPARE(Statuses(window)[1], JobStatus::Error);
    QCOMPARE(f.Find<QLabel>("stpError")->text(), QStringLiteral("Errors: 1"));
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[1], JobStatus::Error);
    QVERIFY(
        !QFile::exists(out.filePath(QString::fromLatin1(MakeJobId("http://b.invalid/", 0)) + QStringLiteral(".jpg"))));

    QCOMPARE(f.Capture.Navigated.last(), QByteArray("http://c.invalid/"));
    window.Timer2Timer();
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Success, JobStatus::Error, JobStatus::Success}));
    QVERIFY(!window.Driver().IsRunning());
    QCOMPARE(window.Driver().CurrentJob(), -1);
    // The run's end shows in the counters; the speed goes with the run.
    QCOMPARE(f.Find<QLabel>("stpRate")->text(), QString());
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 3"));
    QCOMPARE(f.Find<QLabel>("stpDone")->text(), QStringLiteral("Done: 3"));
    QCOMPARE(f.Find<QLabel>("stpSuccess")->text(), QStringLiteral("Success: 2"));
    QCOMPARE(f.Find<QLabel>("stpError")->text(), QStringLiteral("Errors: 1"));
    QVERIFY(f.Dialogs.Messages.isEmpty());

    // The failed row, and it alone, is selected for another run.
    f.Find<QPushButton>("btnSelectErrors")->click();
    QCOMPARE(window.Jobs().SelectedJobs().size(), 1);
    QVERIFY(window.Jobs().IsSelected(1));
}

void TestMainWindow::previewShowsTheRowsThumbnail()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    f.Capture.View = QImage(800, 600, QImage::Format_RGB32);
    f.Capture.View.fill(Qt::blue);
    AddRows(window, {"http://a.invalid/", "http://b.invalid/", "http://c.invalid/"});
    SelectRows(window, {0, 1});
    window.btnStartClick();
    f.Capture.State = WebBrowser::Complete;
    window.Timer2Timer();
    Q_EMIT f.Capture.NavigateError(QStringLiteral("HTTP status 404"), WebBrowser::Failure::HttpStatus);
    window.Timer2Timer();
    window.Timer2Timer();
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Success, JobStatus::Error, JobStatus::Success}));

    auto* list = f.Find<QTableView>("lvwItems");
    auto* preview = f.Find<QLabel>("imgPreview");
    const QByteArray file = QFile::encodeName(
        out.filePath(QString::fromLatin1(MakeJobId("http://a.invalid/", 0)) + QStringLiteral(".jpg")));
    list->setCurrentIndex(list->model()->index(0, 0));
    QVERIFY(!preview->pixmap().isNull());
    QVERIFY(preview->pixmap().toImage().pixelColor(10, 10).blue() > 240); // a JPEG of blue
    list->setCurrentIndex(list->model()->index(1, 0));
    QVERIFY(preview->pixmap().isNull());
    QVERIFY2(preview->text().contains(QStringLiteral("HTTP status 404")), qPrintable(preview->text()));

    // Double-click opens a row's file with the desktop's program, and nothing for a row without one.
    Q_EMIT list->doubleClicked(list->model()->index(1, 2));
    QVERIFY(f.Shell.Files.isEmpty());
    Q_EMIT list->doubleClicked(list->model()->index(0, 2));
    QCOMPARE(f.Shell.Files, QList<QByteArray>{file});

    // A row not yet captured says so; the preview follows when its thumbnail is written.
    window.Jobs().Model()->SetStatus(2, JobStatus::Pending);
    QFile::remove(out.filePath(QString::fromLatin1(MakeJobId("http://c.invalid/", 0)) + QStringLiteral(".jpg")));
    list->setCurrentIndex(list->model()->index(2, 0));
    QCOMPARE(preview->text(), QStringLiteral("Nothing written yet."));

    // A reason goes with its row when rows above it are deleted, and no other row takes it.
    window.Jobs().Model()->SetStatus(2, JobStatus::Error);
    SelectRows(window, {0});
    window.btnDeleteSelectedClick();
    list->setCurrentIndex(list->model()->index(0, 0));
    QCOMPARE(preview->text(), QStringLiteral("Error: HTTP status 404"));
    list->setCurrentIndex(list->model()->index(1, 0));
    QCOMPARE(preview->text(), QStringLiteral("Error: no thumbnail was written."));
}

void TestMainWindow::pageTimeout_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("completesJustInTime");
    // After the navigation: "loaded" (the page loaded, its waits go past the limit), "again"
    // (it loaded, then began loading again by itself), or nothing.
    QTest::addColumn<QString>("load");

    QTest::newRow("default-never-completes") << QByteArray() << 30 << false << QString();
    QTest::newRow("default-completes-just-in-time") << QByteArray() << 30 << true << QString();
    QTest::newRow("configured-5s-never-completes")
        << QByteArray("[Settings]\nPageTimeout=5\n") << 5 << false << QString();
    QTest::newRow("configured-45s-never-completes")
        << QByteArray("[Settings]\nPageTimeout=45\n") << 45 << false << QString();
    QTest::newRow("no-limit-never-gives-up") << QByteArray("[Settings]\nPageTimeout=0\n") << 0 << false << QString();
    QTest::newRow("loaded-waits-past-the-limit") << QByteArray() << 30 << false << QStringLiteral("loaded");
    QTest::newRow("loads-again-never-completes") << QByteArray() << 30 << false << QStringLiteral("again");
}

void TestMainWindow::pageTimeout()
{
    QFETCH(QByteArray, config);
    QFETCH(int, seconds);
    QFETCH(bool, completesJustInTime);
    QFETCH(QString, load);
    const qint64 limit = qint64(seconds) * 1000;

    MainWindowFixture f;
    qint64 now = 0;
    f.Clock = [&now] { return now; };
    if (!config.isNull()) f.WriteConfig(config);
    StepsWithNavigation capture;
    capture.View = QImage(800, 600, QImage::Format_RGB32);
    capture.View.fill(Qt::blue);
    TfrmMain& window = f.Open(&capture);
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    AddRows(window, {"http://first.invalid/", "http://next.invalid/"});
    auto file = [&out](const QByteArray& url) {
        return out.filePath(QString::fromLatin1(MakeJobId(url, 0)) + QStringLiteral(".jpg"));
    };
    window.btnSelectAllClick();
    now = 7000; // the time counts from the navigation, not from the window's start
    window.btnStartClick();
    capture.Steps.clear();
    Q_EMIT capture.BeforeNavigate2();
    capture.State = WebBrowser::Loading;

    if (!load.isEmpty()) Q_EMIT capture.Loaded();
    if (load == QLatin1String("loaded")) {
        // The waits the user asked for are no part of the time-out.
        now += 10 * limit;
        window.Timer2Timer();
        QCOMPARE(Statuses(window)[0], JobStatus::Downloading);
        QVERIFY(capture.Steps.isEmpty());
        capture.State = WebBrowser::Complete;
        window.Timer2Timer();
        QCOMPARE(Statuses(window)[0], JobStatus::Success);
        QVERIFY(QFile::exists(file("http://first.invalid/")));
        return;
    }
    if (load == QLatin1String("again")) Q_EMIT capture.LoadingAgain();
    if (seconds == 0) {
        now += qint64(10) * 24 * 3600 * 1000;
        window.Timer2Timer();
        QCOMPARE(Statuses(window)[0], JobStatus::Downloading);
        QVERIFY(capture.Steps.isEmpty());
        return;
    }
    now += limit - 1;
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[0], JobStatus::Downloading);
    QVERIFY(capture.Steps.isEmpty());
    if (completesJustInTime) {
        // Complete before the time-out; the tick that sees it comes a second later.
        capture.State = WebBrowser::Complete;
        now += 1000;
        window.Timer2Timer();
        QCOMPARE(Statuses(window)[0], JobStatus::Success);
        QVERIFY(QFile::exists(file("http://first.invalid/")));
        QCOMPARE(capture.Steps, QStringList{QStringLiteral("navigate http://next.invalid/")});
    } else {
        now += 1;
        window.Timer2Timer();
        QCOMPARE(Statuses(window)[0], JobStatus::Error);
        QVERIFY(!QFile::exists(file("http://first.invalid/")));
        // The page goes with its renderer before the next row loads.
        QCOMPARE(capture.Steps, (QStringList{QStringLiteral("stop"), QStringLiteral("renew"),
                                             QStringLiteral("navigate http://next.invalid/")}));
    }
    QVERIFY(window.Driver().IsRunning());

    // The next row has the whole time-out from its own navigation.
    Q_EMIT capture.BeforeNavigate2();
    capture.State = WebBrowser::Loading;
    now += limit - 1;
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[1], JobStatus::Downloading);
    capture.State = WebBrowser::Complete;
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[1], JobStatus::Success);
    QVERIFY(QFile::exists(file("http://next.invalid/")));
    QVERIFY(!window.Driver().IsRunning());
    // A row that timed out counts as an error once it has ended.
    QCOMPARE(f.Find<QLabel>("stpError")->text(),
             completesJustInTime ? QStringLiteral("Errors: 0") : QStringLiteral("Errors: 1"));
    QCOMPARE(f.Find<QLabel>("stpSuccess")->text(),
             completesJustInTime ? QStringLiteral("Success: 2") : QStringLiteral("Success: 1"));
    QVERIFY(f.Dialogs.Messages.isEmpty());
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestMainWindow::skipTestsJpgWhateverTheFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("magicAt");
    QTest::addColumn<QByteArray>("magic");
    QTest::addColumn<bool>("exact"); // the file decodes to the reduced view's pixels, unchanged

    QTest::newRow("gif") << QStringLiteral("gif") << 0 << QByteArrayLiteral("GIF87a") << true;
    QTest::newRow("png") << QStringLiteral("png") << 0 << QByteArrayLiteral("\x89PNG\r\n\x1a\n") << true;
    QTest::newRow("webp") << QStringLiteral("webp") << 8 << QByteArrayLiteral("WEBPVP8 ") << false;
}

void TestMainWindow::skipTestsJpgWhateverTheFormat()
{
    QFETCH(QString, format);
    QFETCH(int, magicAt);
    QFETCH(QByteArray, magic);
    QFETCH(bool, exact);

    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    auto* formats = f.Find<QComboBox>("cbxExt");
    formats->setCurrentIndex(formats->findText(format));
    QCOMPARE(formats->currentText(), format);
    f.Capture.View = BlockView();
    AddRows(window, {"http://has-jpg.invalid/", "http://has-other.invalid/"});
    auto touch = [&](const QByteArray& url, const QString& ext) {
        QFile file(out.filePath(QString::fromLatin1(MakeJobId(url, 0)) + QLatin1Char('.') + ext));
        QVERIFY(file.open(QIODevice::WriteOnly));
    };
    touch("http://has-jpg.invalid/", QStringLiteral("jpg"));
    touch("http://has-other.invalid/", format);
    window.btnSelectAllClick();
    window.btnStartClick();
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Skipped, JobStatus::Pending}));
    QCOMPARE(f.Capture.Navigated.last(), QByteArray("http://has-other.invalid/"));
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[1], JobStatus::Success);
    QFile written(
        out.filePath(QString::fromLatin1(MakeJobId("http://has-other.invalid/", 0)) + QLatin1Char('.') + format));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray data = written.readAll();
    QCOMPARE(data.mid(magicAt, magic.size()), magic);
    if (exact) {
        const QImage thumb = QImage::fromData(data);
        QCOMPARE(thumb.size(), QSize(200, 150));
        for (int y = 0; y < thumb.height(); ++y) {
            for (int x = 0; x < thumb.width(); ++x) {
                if (thumb.pixel(x, y) != BlockColour(x, y))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
            }
        }
    }

    // Everything skipped and nothing else pending: no message, nothing loaded.
    touch("http://has-other.invalid/", QStringLiteral("jpg"));
    f.Capture.Navigated.clear();
    window.btnStartClick();
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Skipped, JobStatus::Skipped}));
    QVERIFY(f.Capture.Navigated.isEmpty());
    QVERIFY(f.Dialogs.Messages.isEmpty());
}

void TestMainWindow::stopDuringLoad()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    AddRows(window, {"http://a.invalid/", "http://b.invalid/"});
    window.btnSelectAllClick();
    window.btnStartClick();
    Q_EMIT f.Capture.BeforeNavigate2();
    window.btnStopClick();
    QCOMPARE(f.Capture.Stops, 1);
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Pending, JobStatus::Pending}));
    // Later events of that load change nothing; the poll is off.
    Q_EMIT f.Capture.BeforeNavigate2();
    Q_EMIT f.Capture.NavigateError(QString(), WebBrowser::Failure::Network);
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Pending, JobStatus::Pending}));
    QVERIFY(!window.Driver().IsRunning());
    window.Timer2Timer();
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Pending, JobStatus::Pending}));
    QVERIFY(QDir(out.path()).isEmpty());
}

void TestMainWindow::startAgainDuringRun()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    f.Capture.View = QImage(800, 600, QImage::Format_RGB32);
    f.Find<QCheckBox>("chkSkip")->click(); // the first row's file exists by the second Start
    AddRows(window, {"http://a.invalid/", "http://b.invalid/"});
    window.btnSelectAllClick();
    window.btnStartClick();
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[0], JobStatus::Success);
    Q_EMIT f.Capture.BeforeNavigate2();
    QCOMPARE(Statuses(window)[1], JobStatus::Downloading);
    f.Capture.Navigated.clear();
    window.btnStartClick();
    // The selected rows are marked again and the run begins anew with the first pending row.
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Pending, JobStatus::Pending}));
    QCOMPARE(f.Capture.Navigated, QList<QByteArray>{"http://a.invalid/"});
    QCOMPARE(window.Driver().CurrentJob(), 0);
}

void TestMainWindow::gaugeRules()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    auto* gauge = f.Find<QProgressBar>("MainGauge");
    Q_EMIT f.Capture.ProgressChange(40, 100);
    QCOMPARE(gauge->value(), 40);
    // A value above the maximum in force shows that maximum until the next event.
    Q_EMIT f.Capture.ProgressChange(300, 1000);
    QCOMPARE(gauge->maximum(), 1000);
    QCOMPARE(gauge->value(), 100);
    Q_EMIT f.Capture.ProgressChange(500, 200);
    QCOMPARE(gauge->maximum(), 200);
    QCOMPARE(gauge->value(), 200);
    window.btnStopClick();
    Q_EMIT f.Capture.ProgressChange(90, 100);
    QCOMPARE(gauge->value(), 0);
}

void TestMainWindow::unsafeIdAndUnwritableFolder()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    const QString folder = out.filePath(QStringLiteral("inner"));
    QVERIFY(QDir().mkpath(folder));
    f.Find<QLineEdit>("edtFolder")->setText(folder);
    f.Capture.View = QImage(800, 600, QImage::Format_RGB32);
    window.Jobs().Import({"../escape|http://a.invalid/", "fine|http://b.invalid/"}, ListFormat::Pipe, 0);
    window.btnSelectAllClick();
    window.btnStartClick();
    window.Timer2Timer();
    QCOMPARE(Statuses(window)[0], JobStatus::Error);
    QVERIFY(!QFile::exists(out.filePath(QStringLiteral("escape.jpg"))));

    // The folder vanishes mid-run: the failure is reported, the run stops, the window goes on.
    QVERIFY(QDir(folder).removeRecursively());
    Q_EMIT f.Capture.BeforeNavigate2();
    window.Timer2Timer();
    QCOMPARE(f.Dialogs.Errors.size(), 1);
    QVERIFY2(f.Dialogs.Errors.first().contains(folder), qPrintable(f.Dialogs.Errors.first()));
    QCOMPARE(Statuses(window)[1], JobStatus::Downloading);
    QVERIFY(!window.Driver().IsRunning());

    // Sizes the capture cannot use arrive at the report with a clear message.
    QVERIFY(QDir().mkpath(folder));
    f.Find<QSpinBox>("speBrowserX")->setValue(100000);
    f.Find<QSpinBox>("speBrowserY")->setValue(100000);
    window.btnStartClick();
    window.Timer2Timer(); // the unsafe row again
    window.Timer2Timer();
    QCOMPARE(f.Dialogs.Errors.size(), 2);
    QVERIFY2(f.Dialogs.Errors.last().contains(QLatin1String("100000 x 100000")), qPrintable(f.Dialogs.Errors.last()));
}

void TestMainWindow::listCommands()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    auto* deleteButton = f.Find<QPushButton>("btnDeleteSelected");
    auto* exportButton = f.Find<QPushButton>("btnExport");

    exportButton->click();
    deleteButton->click();
    QCOMPARE(f.Dialogs.MessageTexts(), (QStringList{QStringLiteral("You don't have any url to export."),
                                                    QStringLiteral("Please select the items do you want delete.")}));

    window.Jobs().Import({"a", "b", "c", "d", "e"}, ListFormat::OneUrlPerLine, 0);
    window.Jobs().Import({"x", "y", "z"}, ListFormat::OneUrlPerLine, 0);
    QCOMPARE(Numbers(window), (QByteArrayList{"6", "7", "8"}));
    f.Dialogs.Messages.clear();
    exportButton->click();
    QCOMPARE(f.Dialogs.MessageTexts(), QStringList{QStringLiteral("Please select at least one url to export.")});

    SelectRows(window, {1});
    f.Find<QLabel>("stpTotal")->setText(QStringLiteral("Total: 3"));
    deleteButton->click();
    QCOMPARE(Numbers(window), (QByteArrayList{"1", "2"}));
    QCOMPARE(Rows(window)[1].Url, QByteArray("z"));
    // The status bar is not touched by a deletion.
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 3"));

    f.Find<QPushButton>("btnSelectAll")->click();
    QVERIFY(window.Jobs().IsSelected(0) && window.Jobs().IsSelected(1));
    f.Find<QPushButton>("btnClearSelection")->click();
    QVERIFY(!window.Jobs().AnySelected());
}

void TestMainWindow::importAndAddThroughWindows()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    window.Jobs().Import({"old1", "old2"}, ListFormat::OneUrlPerLine, 0);

    WhenModalOpens([](QDialog* dialog) {
        dialog->findChild<QPlainTextEdit*>(QStringLiteral("memList"))->setPlainText(QStringLiteral("u1\nu2\nu3\n"));
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text().remove(QLatin1Char('&')) == QLatin1String("Load List")) button->click();
    });
    f.Find<QPushButton>("btnImport")->click();
    QCOMPARE(Numbers(window), (QByteArrayList{"3", "4", "5"}));
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 3"));

    // Add URL starts with the browsing tab's address.
    f.Find<QLineEdit>("edtAddress")->setText(QStringLiteral("http://found.invalid/page"));
    QString prefilled;
    WhenModalOpens([&prefilled](QDialog* dialog) {
        prefilled = dialog->findChild<QLineEdit*>(QStringLiteral("edtURL"))->text();
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text().remove(QLatin1Char('&')) == QLatin1String("Ok")) button->click();
    });
    f.Find<QPushButton>("btnAddURL")->click();
    QCOMPARE(prefilled, QStringLiteral("http://found.invalid/page"));
    QCOMPARE(Numbers(window).last(), QByteArray("6"));
    QCOMPARE(Rows(window).last().Url, QByteArray("http://found.invalid/page"));
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 4"));
}

void TestMainWindow::listChangesStopTheRun()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    AddRows(window, {"http://a.invalid/", "http://b.invalid/", "http://c.invalid/"});
    window.btnSelectAllClick();
    window.btnStartClick();
    Q_EMIT f.Capture.BeforeNavigate2();
    SelectRows(window, {0});
    // Deleting the row being loaded stops the run first: nothing is captured into another row.
    window.btnDeleteSelectedClick();
    QVERIFY(!window.Driver().IsRunning());
    QCOMPARE(f.Capture.Stops, 1);
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Pending, JobStatus::Pending}));
    Q_EMIT f.Capture.BeforeNavigate2();
    window.Timer2Timer();
    QCOMPARE(Statuses(window), (QByteArrayList{JobStatus::Pending, JobStatus::Pending}));
    QVERIFY(QDir(out.path()).isEmpty());

    // Adding a row does not disturb a run.
    window.btnSelectAllClick();
    window.btnStartClick();
    QVERIFY(window.Driver().IsRunning());
    window.Jobs().AddUrl("http://d.invalid/", 0);
    QVERIFY(window.Driver().IsRunning());
}

void TestMainWindow::tickInsideAnotherHandlerIsDropped()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    f.Capture.View = QImage(800, 600, QImage::Format_RGB32);
    AddRows(window, {"http://a.invalid/"});
    window.btnSelectAllClick();
    // Start lets pending events run while it refreshes the counters; a poll tick waiting
    // there must not capture the row before Start has even loaded it.
    QTimer::singleShot(0, &window, [&window] { window.Timer2Timer(); });
    window.btnStartClick();
    QCOMPARE(Statuses(window), QByteArrayList{JobStatus::Pending});
    QVERIFY(QDir(out.path()).isEmpty());
    window.Timer2Timer();
    QCOMPARE(Statuses(window), QByteArrayList{JobStatus::Success});
}

void TestMainWindow::browsingTab()
{
    MainWindowFixture f;
    f.Open();
    auto* address = f.Find<QLineEdit>("edtAddress");
    address->setText(QStringLiteral(" example.org/a b "));
    QTest::keyClick(address, Qt::Key_Return);
    QCOMPARE(f.Browsing.Navigated, QList<QByteArray>{" example.org/a b "});
    f.Find<QPushButton>("btnGo")->click();
    QCOMPARE(f.Browsing.Navigated.size(), 2);

    f.Browsing.Location = QStringLiteral("http://example.org/landed");
    Q_EMIT f.Browsing.NavigateComplete2();
    QCOMPARE(address->text(), QStringLiteral("http://example.org/landed"));

    f.Find<QToolButton>("btnBrowserBack")->click();
    f.Browsing.IsBusy = true;
    f.Find<QToolButton>("btnBrowserFoward")->click();
    f.Find<QToolButton>("btnBrowserRefresh")->click();
    f.Find<QToolButton>("btnBrowserStop")->click();
    QCOMPARE(f.Browsing.Steps,
             (QStringList{QStringLiteral("back"), QStringLiteral("stop"), QStringLiteral("forward"),
                          QStringLiteral("stop"), QStringLiteral("refresh"), QStringLiteral("stop")}));
}

void TestMainWindow::tabOrderAndLabels()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    // Every input of the settings panel is named by its label.
    for (const char* name :
         {"edtFolder", "speBrowserX", "speBrowserY", "speThumbX", "speThumbY", "cbxExt", "cbxType"}) {
        auto* input = f.Find<QWidget>(name);
        bool labelled = false;
        for (QLabel* label : window.findChildren<QLabel*>())
            labelled = labelled || label->buddy() == input;
        QVERIFY2(labelled, name);
    }
    for (const char* name : {"btnNews", "btnUpdate", "btnHelp", "btnBrowserBack", "btnBrowserStop"})
        QVERIFY2(!f.Find<QWidget>(name)->accessibleName().isEmpty(), name);

    // Tab walks the main page from top to bottom, and left to right along a row.
    const QStringList expected = {QStringLiteral("btnAddURL"),   QStringLiteral("btnImport"),
                                  QStringLiteral("btnExport"),   QStringLiteral("btnStart"),
                                  QStringLiteral("btnStop"),     QStringLiteral("btnOptions"),
                                  QStringLiteral("edtFolder"),   QStringLiteral("bsSkinButton6"),
                                  QStringLiteral("speBrowserX"), QStringLiteral("speBrowserY"),
                                  QStringLiteral("cbxExt"),      QStringLiteral("speThumbX"),
                                  QStringLiteral("cbxType"),     QStringLiteral("chkKeepAspectRatio"),
                                  QStringLiteral("chkSkip")};
    QWidget* widget = f.Find<QWidget>("btnAddURL");
    QStringList walked;
    for (int i = 0; i < expected.size(); ++i) {
        walked << widget->objectName();
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isEnabled() || !widget->isVisible() ||
               widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_")));
    }
    QCOMPARE(walked, expected);
}

void TestMainWindow::listsAndAddressesFromTheDesktop_data()
{
    QTest::addColumn<QString>("drop"); // "file:NAME" drops that file of the scratch folder; else text
    QTest::addColumn<QByteArrayList>("urls");
    QTest::addColumn<QString>("error"); // part of the error reported; empty: none

    const QByteArrayList kept{"http://old.invalid/"};
    QTest::newRow("list-file-replaces") << QStringLiteral("file:list.txt")
                                        << QByteArrayList{"http://one.invalid/", "two.invalid/x"} << QString();
    QTest::newRow("folder-refused") << QStringLiteral("file:folder") << kept << QStringLiteral("folder");
    QTest::newRow("fifo-refused") << QStringLiteral("file:fifo") << kept << QStringLiteral("FIFO");
    QTest::newRow("addresses-added") << QStringLiteral("http://a.invalid/\nnot an address\nb.invalid/p?q=1\n"
                                                       "javascript:alert(1)\nword\n-x.invalid\n")
                                     << QByteArrayList{"http://old.invalid/", "http://a.invalid/", "b.invalid/p?q=1"}
                                     << QString();
    // A word alone is text, but with a scheme it is an intranet host.
    QTest::newRow("schemed-word-host-added") << QStringLiteral("http://intranet/\nintranet\n")
                                             << QByteArrayList{"http://old.invalid/", "http://intranet/"} << QString();
}

// Through the list's own drop handling, as the desktop delivers a drop.
void TestMainWindow::listsAndAddressesFromTheDesktop()
{
    QFETCH(QString, drop);
    QFETCH(QByteArrayList, urls);
    QFETCH(QString, error);
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    window.show();
    AddRows(window, {"http://old.invalid/"});
    QTemporaryDir dir;
    {
        QFile list(dir.filePath(QStringLiteral("list.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("http://one.invalid/\r\ntwo.invalid/x\r\n");
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);

    QMimeData data;
    if (drop.startsWith(QLatin1String("file:")))
        data.setUrls({QUrl::fromLocalFile(dir.filePath(drop.mid(5)))});
    else
        data.setText(drop);
    QWidget* target = f.Find<QTableView>("lvwItems")->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    {
        const TFifoRescue rescue(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))));
        QCoreApplication::sendEvent(target, &dropped);
    }

    QByteArrayList got;
    for (const TUrlJob& job : window.Jobs().Model()->Jobs())
        got << job.Url;
    QCOMPARE(got, urls);
    for (const TUrlJob& job : window.Jobs().Model()->Jobs())
        QCOMPARE(job.Status, JobStatus::Pending);
    if (error.isEmpty()) {
        QVERIFY(f.Dialogs.Errors.isEmpty());
        QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: %1").arg(urls.size()));
    } else {
        QCOMPARE(f.Dialogs.Errors.size(), 1);
        QVERIFY2(f.Dialogs.Errors.first().contains(error, Qt::CaseInsensitive), qPrintable(f.Dialogs.Errors.first()));
    }
}

void TestMainWindow::pasteAddsAddresses()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    window.show();
    QApplication::clipboard()->setText(QStringLiteral("https://x.invalid/a\r\nhello there\r\nlocalhost:8080/b\r\n"));
    auto* list = f.Find<QTableView>("lvwItems");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
    QByteArrayList got;
    for (const TUrlJob& job : window.Jobs().Model()->Jobs())
        got << job.Url + ' ' + job.Number;
    QCOMPARE(got, (QByteArrayList{"https://x.invalid/a 1", "localhost:8080/b 2"}));
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
