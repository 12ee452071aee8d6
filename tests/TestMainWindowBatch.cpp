// A whole capture run through the main window, on the real engine and pages served on
// 127.0.0.1.

#include "LocalHttpServer.h"
#include "MainWindowFixture.h"
#include "WebEngineTestMain.h"

#include "platform/WebEngineBrowser.h"
#include "urllist/JobId.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

namespace {

// Every status each row showed, in order, repeats folded.
class StatusHistory : public QObject
{
public:
    explicit StatusHistory(TJobTableModel* model) : m_model(model)
    {
        connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
            for (int row = from.row(); row <= to.row(); ++row) {
                QByteArrayList& seen = Rows[row];
                const QByteArray status = m_model->At(row).Status;
                if (seen.isEmpty() || seen.last() != status) seen << status;
            }
        });
    }
    QHash<int, QByteArrayList> Rows;

private:
    TJobTableModel* m_model;
};

// The window on the real engine, once its first "about:blank" is complete, writing bmp
// thumbnails into `folder`.
TfrmMain& OpenForBmp(MainWindowFixture& f, WebEngineBrowser& capture, const QString& folder)
{
    TfrmMain& window = f.Open(&capture);
    [&] { QTRY_COMPARE_WITH_TIMEOUT(capture.ReadyState(), int(WebBrowser::Complete), 10000); }();
    f.Find<QLineEdit>("edtFolder")->setText(folder);
    f.Find<QComboBox>("cbxExt")->setCurrentIndex(2);
    return window;
}

} // namespace

class TestMainWindowBatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void wholeRun();
    void stopDuringLoadThenStartAgain();
    void pageThatNeverFinishesTimesOut();
    void brokenPageIsAnErrorAndTheNextIsCaptured_data();
    void brokenPageIsAnErrorAndTheNextIsCaptured();
    void contentAfterLoadIsCaptured();

private:
    LocalHttpServer m_server;
};

void TestMainWindowBatch::initTestCase()
{
    QVERIFY(m_server.Start());
    m_server.RoutePage("/red", LocalHttpServer::SolidPage("#ff0000"));
    m_server.RoutePage("/blue", LocalHttpServer::SolidPage("#0000ff"));
    m_server.RoutePage("/skipped", LocalHttpServer::SolidPage("#00ff00"));
    m_server.Route("/slow", {200, "text/html", LocalHttpServer::SolidPage("#00ff00"), 6000});
    m_server.RoutePage(
        "/spin", LocalHttpServer::SolidPage("#ff0000", "<script>onload=()=>new MutationObserver(()=>{for(;;){}})"
                                                       ".observe(document.documentElement,{childList:true})</script>"));
    m_server.Route("/never", {200, "text/html", LocalHttpServer::SolidPage("#00ff00"), 120000});
    // The page's colour comes from an answer that arrives after the first tick of the poll.
    m_server.RoutePage("/late", LocalHttpServer::SolidPage(
                                    "#00ff00", "<script>fetch('/late-colour').then(r=>r.text()).then(c=>"
                                               "document.body.style.background=c)</script>"));
    m_server.Route("/late-colour", {200, "text/plain", "#0000ff", 1800});
}

void TestMainWindowBatch::wholeRun()
{
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    window.Jobs().Import({"red|" + m_server.Url("/red"), "gone|" + m_server.Url("/gone"),
                          "skipped|" + m_server.Url("/skipped"), "blue|" + m_server.Url("/blue")},
                         ListFormat::Pipe, 0);
    {
        QFile existing(out.filePath(QStringLiteral("skipped.jpg")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
    }
    StatusHistory history(window.Jobs().Model());
    window.btnSelectAllClick();
    window.btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!window.Driver().IsRunning(), 60000);

    QCOMPARE(history.Rows[0], (QByteArrayList{JobStatus::Pending, JobStatus::Downloading, JobStatus::Success}));
    QCOMPARE(history.Rows[1], (QByteArrayList{JobStatus::Pending, JobStatus::Downloading, JobStatus::Error}));
    QCOMPARE(history.Rows[2], QByteArrayList{JobStatus::Skipped});
    QCOMPARE(history.Rows[3], (QByteArrayList{JobStatus::Pending, JobStatus::Downloading, JobStatus::Success}));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("blue.bmp"), QStringLiteral("red.bmp"), QStringLiteral("skipped.jpg")}));
    QCOMPARE(QImage(out.filePath(QStringLiteral("red.bmp"))).pixel(100, 75), qRgb(255, 0, 0));
    QCOMPARE(QImage(out.filePath(QStringLiteral("blue.bmp"))).pixel(100, 75), qRgb(0, 0, 255));
    // The counters were last written by the 404's error: rows 2 and 3 still pending then.
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 4"));
    QCOMPARE(f.Find<QLabel>("stpDone")->text(), QStringLiteral("Done: 3"));
    QCOMPARE(f.Find<QLabel>("stpSuccess")->text(), QStringLiteral("Success: 1"));
    QCOMPARE(f.Find<QLabel>("stpError")->text(), QStringLiteral("Errors: 1"));
    QCOMPARE(f.Find<QTabWidget>("bsSkinPageControl1")->currentIndex(), 0);
    QVERIFY(f.Dialogs.Messages.isEmpty());
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestMainWindowBatch::stopDuringLoadThenStartAgain()
{
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    TfrmMain& window = f.Open(&capture);
    QTRY_COMPARE_WITH_TIMEOUT(capture.ReadyState(), int(WebBrowser::Complete), 10000); // the first "about:blank"
    QTemporaryDir out;
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    window.Jobs().Import({"slow|" + m_server.Url("/slow"), "red|" + m_server.Url("/red")}, ListFormat::Pipe, 0);
    window.btnSelectAllClick();
    window.btnStartClick();
    QTRY_COMPARE_WITH_TIMEOUT(window.Jobs().Model()->At(0).Status, JobStatus::Downloading, 10000);
    window.btnStopClick();
    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Pending);
    QTest::qWait(1500);
    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Pending);
    QVERIFY(QDir(out.path()).isEmpty());

    // Start again: the slow row loads from the start and the run completes.
    window.btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!window.Driver().IsRunning(), 60000);
    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Success);
    QCOMPARE(window.Jobs().Model()->At(1).Status, JobStatus::Success);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("red.jpg"), QStringLiteral("slow.jpg")}));
}

void TestMainWindowBatch::pageThatNeverFinishesTimesOut()
{
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    f.WriteConfig("[Settings]\nPageTimeout=2\n");
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    window.Jobs().Import({"never|" + m_server.Url("/never"), "blue|" + m_server.Url("/blue")}, ListFormat::Pipe, 0);
    StatusHistory history(window.Jobs().Model());
    window.btnSelectAllClick();
    QElapsedTimer sinceStart;
    sinceStart.start();
    window.btnStartClick();
    QTRY_COMPARE_WITH_TIMEOUT(window.Jobs().Model()->At(0).Status, JobStatus::Error, 10000);
    QVERIFY2(sinceStart.elapsed() >= 2000, qPrintable(QString::number(sinceStart.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(!window.Driver().IsRunning(), 20000);

    QCOMPARE(history.Rows[0], (QByteArrayList{JobStatus::Pending, JobStatus::Downloading, JobStatus::Error}));
    QCOMPARE(history.Rows[1], (QByteArrayList{JobStatus::Pending, JobStatus::Downloading, JobStatus::Success}));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{QStringLiteral("blue.bmp")});
    QCOMPARE(QImage(out.filePath(QStringLiteral("blue.bmp"))).pixel(100, 75), qRgb(0, 0, 255));
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestMainWindowBatch::brokenPageIsAnErrorAndTheNextIsCaptured_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::newRow("script-stops-answering") << m_server.Url("/spin");
    QTest::newRow("renderer-crash") << QByteArray("chrome://crash");
}

void TestMainWindowBatch::brokenPageIsAnErrorAndTheNextIsCaptured()
{
    QFETCH(QByteArray, url);
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    // The red page first, so a stale frame under the broken row's name would be red.
    window.Jobs().Import({"red|" + m_server.Url("/red"), "broken|" + url, "blue|" + m_server.Url("/blue")},
                         ListFormat::Pipe, 0);
    StatusHistory history(window.Jobs().Model());
    window.btnSelectAllClick();
    window.btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!window.Driver().IsRunning(), 30000);

    QCOMPARE(history.Rows[1].last(), JobStatus::Error);
    QCOMPARE(history.Rows[2], (QByteArrayList{JobStatus::Pending, JobStatus::Downloading, JobStatus::Success}));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("blue.bmp"), QStringLiteral("red.bmp")}));
    QCOMPARE(QImage(out.filePath(QStringLiteral("blue.bmp"))).pixel(100, 75), qRgb(0, 0, 255));
    QCOMPARE(f.Find<QLabel>("stpError")->text(), QStringLiteral("Errors: 1"));
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestMainWindowBatch::contentAfterLoadIsCaptured()
{
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    window.Jobs().Import({"late|" + m_server.Url("/late")}, ListFormat::Pipe, 0);
    window.btnSelectAllClick();
    window.btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!window.Driver().IsRunning(), 30000);

    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Success);
    // Green would be the page as its load event left it.
    QCOMPARE(QImage(out.filePath(QStringLiteral("late.bmp"))).pixel(100, 75), qRgb(0, 0, 255));
}

THUMBRIX_WEBENGINE_TEST_MAIN(TestMainWindowBatch)
#include "TestMainWindowBatch.moc"
