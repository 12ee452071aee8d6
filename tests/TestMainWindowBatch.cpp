// A whole capture run through the main window, on the real engine and pages served on
// 127.0.0.1.

#include "LocalHttpServer.h"
#include "MainWindowFixture.h"
#include "WebEngineTestMain.h"

#include "capture/LaneRun.h"
#include "platform/WebEngineBrowser.h"
#include "urllist/JobId.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

namespace {

// Each lane page's own colour: red rising, blue falling.
QByteArray LaneColour(int i)
{
    return QByteArray("#") + QByteArray::number(20 * i + 10, 16).rightJustified(2, '0') + "00" +
           QByteArray::number(240 - 20 * i, 16).rightJustified(2, '0');
}

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

// The colour at the middle of each edge of `image`, left, top, right, bottom, a few pixels in.
QStringList EdgeColours(const QImage& image)
{
    if (image.width() < 8 || image.height() < 8) return {};
    const int midX = image.width() / 2;
    const int midY = image.height() / 2;
    QStringList names;
    for (const QPoint& at :
         {QPoint(2, midY), QPoint(midX, 2), QPoint(image.width() - 3, midY), QPoint(midX, image.height() - 3)})
        names << QColor(image.pixel(at)).name();
    return names;
}

// The colours of /edges, in EdgeColours' order.
const QStringList kEdges{QStringLiteral("#ff0000"), QStringLiteral("#00ff00"), QStringLiteral("#0000ff"),
                         QStringLiteral("#ffff00")};

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
    void userAgentReachesTheServer();
    void pagesAtOnce();
    void stopEndsEveryLane();
    void pageStuckWhileSettlingFreesItsLane();
    void laneViewsTakeTheBrowserSizeAtEachRun_data();
    void laneViewsTakeTheBrowserSizeAtEachRun();
    void laneRunTakesChangesForTheRowsAfter_data();
    void laneRunTakesChangesForTheRowsAfter();
    void certificateRefusedOnceUnticked_data();
    void certificateRefusedOnceUnticked();

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
    m_server.RoutePage("/late",
                       LocalHttpServer::SolidPage("#00ff00", "<script>fetch('/late-colour').then(r=>r.text()).then(c=>"
                                                             "document.body.style.background=c)</script>"));
    m_server.Route("/late-colour", {200, "text/plain", "#0000ff", 1800});
    // Its script blocks just after the settling has asked the page its first question.
    m_server.RoutePage(
        "/spin-while-settling",
        LocalHttpServer::SolidPage("#ff0000", "<script>onload=()=>setTimeout(()=>{for(;;){}},300)</script>"));
    m_server.Route("/lane-slow", {200, "text/html", LocalHttpServer::SolidPage("#00ff00"), 1500});
    // A border of its own colour on each side of the viewport: a margin or a cut shows at once.
    m_server.RoutePage("/edges", "<!DOCTYPE html><style>html,body{margin:0;height:100%}body{box-sizing:border-box;"
                                 "border:40px solid;border-color:#00ff00 #0000ff #ffff00 #ff0000;background:#fff}"
                                 "</style>");
    for (int i = 0; i < 12; ++i)
        m_server.RoutePage("/lane" + QByteArray::number(i), LocalHttpServer::SolidPage(LaneColour(i)));
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
    // Recounted as the last row ended.
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 4"));
    QCOMPARE(f.Find<QLabel>("stpDone")->text(), QStringLiteral("Done: 4"));
    QCOMPARE(f.Find<QLabel>("stpSuccess")->text(), QStringLiteral("Success: 2"));
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

// The Options' user agent, on tests/options/site.py: its log holds every request's headers,
// and its /agent page is green only when navigator.userAgent carries the probe.
void TestMainWindowBatch::userAgentReachesTheServer()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("requests.jsonl"));
    QProcess site;
    site.start(QStringLiteral("python3"), {QStringLiteral(THUMBRIX_TEST_SOURCE "/options/site.py"), log});
    QVERIFY(site.waitForStarted(10000));
    QVERIFY(QTest::qWaitFor([&site] { return site.canReadLine(); }, 10000));
    const QByteArray origin = "http://127.0.0.1:" + site.readLine().trimmed().split(' ').first();
    // The User-Agent each request for `path` was sent with.
    const auto agents = [&log](const QString& path) {
        QStringList seen;
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly)) return seen;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject request = QJsonDocument::fromJson(line).object();
            if (request.value(QStringLiteral("path")).toString() == path)
                seen << request.value(QStringLiteral("headers"))
                            .toObject()
                            .value(QStringLiteral("user-agent"))
                            .toString();
        }
        return seen;
    };

    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    WebEngineBrowser browsing(WebEngineBrowser::Role::Interactive);
    MainWindowFixture f;
    QTemporaryDir out;
    TfrmMain& window = f.Open(&capture, &browsing, browsing.Widget());
    [&] { QTRY_COMPARE_WITH_TIMEOUT(capture.ReadyState(), int(WebBrowser::Complete), 10000); }();
    QVERIFY(!QTest::currentTestFailed());
    f.Find<QLineEdit>("edtFolder")->setText(out.path());
    f.Find<QComboBox>("cbxExt")->setCurrentIndex(2);
    WhenModalOpens([](QDialog* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("edtUserAgent"))->setText(QStringLiteral("ThumbrixProbe/1"));
        dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
    });
    f.Find<QPushButton>("btnOptions")->click();
    QVERIFY(f.Dialogs.Messages.isEmpty());

    // The browsing tab says it at once, before any Start.
    f.Find<QLineEdit>("edtAddress")->setText(QString::fromLatin1(origin + "/plain?browsed"));
    f.Find<QPushButton>("btnGo")->click();
    QTRY_COMPARE_WITH_TIMEOUT(agents(QStringLiteral("/plain?browsed")).size(), 1, 10000);
    QCOMPARE(agents(QStringLiteral("/plain?browsed")).first(), QStringLiteral("ThumbrixProbe/1"));

    window.Jobs().Import({"agent|" + origin + "/agent"}, ListFormat::Pipe, 0);
    window.btnSelectAllClick();
    window.btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!window.Driver().IsRunning(), 30000);
    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Success);
    QCOMPARE(agents(QStringLiteral("/agent")), QStringList{QStringLiteral("ThumbrixProbe/1")});
    QCOMPARE(QImage(out.filePath(QStringLiteral("agent.bmp"))).pixel(100, 75), qRgb(0, 255, 0));
    QVERIFY(f.Dialogs.Errors.isEmpty());
    site.kill();
    site.waitForFinished(5000);
}

// Twelve pages, a hanging one and a crashing one among them, four views at once: every page
// ends on its own, the bad ones as errors that hold up no other view.
void TestMainWindowBatch::pagesAtOnce()
{
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    int views = 0;
    f.NewCaptureBrowser = [&views] {
        ++views;
        return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture);
    };
    f.WriteConfig("[Settings]\nPagesAtOnce=4\nPageTimeout=8\n");
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(f.Find<QSpinBox>("spePagesAtOnce")->value(), 4);
    QByteArrayList lines;
    for (int i = 0; i < 12; ++i) {
        lines << "lane" + QByteArray::number(i) + '|' + m_server.Url("/lane" + QByteArray::number(i));
        if (i == 2) lines << "never|" + m_server.Url("/never");
        if (i == 5) lines << "crash|chrome://crash";
    }
    window.Jobs().Import(lines, ListFormat::Pipe, 0);
    StatusHistory history(window.Jobs().Model());
    window.btnSelectAllClick();
    QElapsedTimer clock;
    clock.start();
    window.btnStartClick();
    QVERIFY(window.LaneRun()->IsRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!window.LaneRun()->IsRunning(), 60000);

    QVERIFY2(views <= 4, qPrintable(QString::number(views)));
    const QList<TUrlJob>& rows = window.Jobs().Model()->Jobs();
    for (int row = 0; row < rows.size(); ++row) {
        const QByteArray id = rows.at(row).Id;
        const bool bad = id == "never" || id == "crash";
        QCOMPARE(rows.at(row).Status, bad ? JobStatus::Error : JobStatus::Success);
        QCOMPARE(history.Rows[row].mid(0, 2), (QByteArrayList{JobStatus::Pending, JobStatus::Downloading}));
        if (bad) continue;
        const int i = id.mid(4).toInt();
        const QImage thumb(out.filePath(QString::fromLatin1(id) + QStringLiteral(".bmp")));
        QCOMPARE(thumb.pixel(100, 75) & 0xffffff, QRgb(LaneColour(i).mid(1).toUInt(nullptr, 16)));
    }
    // The hanging page held its own view for its time-out, not the run.
    QVERIFY2(clock.elapsed() < 8000 + 6000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(f.Find<QLabel>("stpTotal")->text(), QStringLiteral("Total: 14"));
    QCOMPARE(f.Find<QLabel>("stpDone")->text(), QStringLiteral("Done: 14"));
    QCOMPARE(f.Find<QLabel>("stpSuccess")->text(), QStringLiteral("Success: 12"));
    QCOMPARE(f.Find<QLabel>("stpError")->text(), QStringLiteral("Errors: 2"));
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestMainWindowBatch::stopEndsEveryLane()
{
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    f.NewCaptureBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    f.WriteConfig("[Settings]\nPagesAtOnce=3\nPageTimeout=3\n");
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    window.Jobs().Import({"slow1|" + m_server.Url("/slow"), "slow2|" + m_server.Url("/never"),
                          "red|" + m_server.Url("/red"), "slow3|" + m_server.Url("/never"),
                          "blue|" + m_server.Url("/blue")},
                         ListFormat::Pipe, 0);
    window.btnSelectAllClick();
    window.btnStartClick();
    QTRY_COMPARE_WITH_TIMEOUT(window.Jobs().Model()->At(2).Status, JobStatus::Success, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(window.Jobs().Model()->At(3).Status, JobStatus::Downloading, 20000);
    window.btnStopClick();
    QVERIFY(!window.LaneRun()->IsRunning());
    QTest::qWait(500);
    for (const TUrlJob& job : window.Jobs().Model()->Jobs())
        QVERIFY2(job.Status != JobStatus::Downloading, job.Id.constData());
    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Pending);
    QCOMPARE(window.Jobs().Model()->At(3).Status, JobStatus::Pending);

    // Start again: the run begins anew, and every row ends.
    window.btnStartClick();
    QTRY_VERIFY_WITH_TIMEOUT(!window.LaneRun()->IsRunning(), 30000);
    QByteArrayList statuses;
    for (const TUrlJob& job : window.Jobs().Model()->Jobs())
        statuses << job.Status;
    QCOMPARE(statuses, (QByteArrayList{JobStatus::Error, JobStatus::Error, JobStatus::Success, JobStatus::Error,
                                       JobStatus::Success}));
}

// With no page time-out, only the settling can tell that a page's script has stopped
// answering: the page is an Error within seconds, and its lane goes on.
void TestMainWindowBatch::pageStuckWhileSettlingFreesItsLane()
{
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    f.NewCaptureBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    f.WriteConfig("[Settings]\nPagesAtOnce=2\nPageTimeout=0\n");
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    window.Jobs().Import({"stuck|" + m_server.Url("/spin-while-settling"), "red|" + m_server.Url("/red"),
                          "blue|" + m_server.Url("/blue")},
                         ListFormat::Pipe, 0);
    window.btnSelectAllClick();
    window.btnStartClick();
    QVERIFY(window.LaneRun()->IsRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!window.LaneRun()->IsRunning(), 20000);
    QByteArrayList statuses;
    for (const TUrlJob& job : window.Jobs().Model()->Jobs())
        statuses << job.Status;
    QCOMPARE(statuses, (QByteArrayList{JobStatus::Error, JobStatus::Success, JobStatus::Success}));
}

void TestMainWindowBatch::laneViewsTakeTheBrowserSizeAtEachRun_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("wider-and-taller") << 1000 << 750;
    QTest::newRow("narrower-and-shorter") << 640 << 480;
}

// The views of a run stay for the next; a size changed between runs must reach them, or the
// page is laid out at the old size and drawn into a bitmap of the new one.
void TestMainWindowBatch::laneViewsTakeTheBrowserSizeAtEachRun()
{
    QFETCH(int, width);
    QFETCH(int, height);
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    f.NewCaptureBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    f.WriteConfig("[Settings]\nPagesAtOnce=2\nBrowserX=800\nBrowserY=600\n");
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    QByteArrayList lines;
    for (int i = 0; i < 4; ++i)
        lines << "edges" + QByteArray::number(i) + '|' + m_server.Url("/edges");
    window.Jobs().Import(lines, ListFormat::Pipe, 0);
    const auto runAndCheck = [&](const QSize& thumb) {
        window.btnSelectAllClick();
        window.btnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!window.LaneRun()->IsRunning(), 30000);
        for (int i = 0; i < 4; ++i) {
            const QString name = QStringLiteral("edges%1.bmp").arg(i);
            QCOMPARE(window.Jobs().Model()->At(i).Status, JobStatus::Success);
            const QImage image(out.filePath(name));
            QCOMPARE(image.size(), thumb);
            QVERIFY2(EdgeColours(image) == kEdges, qPrintable(name + u' ' + EdgeColours(image).join(u',')));
        }
    };
    runAndCheck(QSize(200, 150));
    QVERIFY(!QTest::currentTestFailed());

    f.Find<QSpinBox>("speBrowserX")->setValue(width);
    f.Find<QSpinBox>("speBrowserY")->setValue(height);
    runAndCheck(QSize(200, 200 * height / width));
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestMainWindowBatch::laneRunTakesChangesForTheRowsAfter_data()
{
    QTest::addColumn<bool>("newFolder");
    QTest::addColumn<QString>("newFormat");
    QTest::addColumn<bool>("addRow");
    QTest::newRow("folder") << true << QString() << false;
    QTest::newRow("format") << false << QStringLiteral("png") << false;
    QTest::newRow("added-row") << false << QString() << true;
}

// Two views busy with slow pages; meanwhile the panel changes or a row is added. The rows
// that start afterwards are written as the panel says then, the added row among them, as
// the one-view run does; the rows under way keep what they started with.
void TestMainWindowBatch::laneRunTakesChangesForTheRowsAfter()
{
    QFETCH(bool, newFolder);
    QFETCH(QString, newFormat);
    QFETCH(bool, addRow);
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    f.NewCaptureBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    f.WriteConfig("[Settings]\nPagesAtOnce=2\n");
    QTemporaryDir before;
    QTemporaryDir after;
    TfrmMain& window = OpenForBmp(f, capture, before.path());
    QVERIFY(!QTest::currentTestFailed());
    window.Jobs().Import(
        {"slow1|" + m_server.Url("/lane-slow"), "slow2|" + m_server.Url("/lane-slow"), "red|" + m_server.Url("/red")},
        ListFormat::Pipe, 0);
    window.btnSelectAllClick();
    window.btnStartClick();
    QTRY_COMPARE_WITH_TIMEOUT(window.Jobs().Model()->At(1).Status, JobStatus::Downloading, 10000);
    QCOMPARE(window.Jobs().Model()->At(2).Status, JobStatus::Pending);
    if (newFolder) f.Find<QLineEdit>("edtFolder")->setText(after.path());
    if (!newFormat.isEmpty()) f.Find<QComboBox>("cbxExt")->setCurrentText(newFormat);
    if (addRow) QVERIFY(window.Jobs().AddUrl(m_server.Url("/blue"), 0));
    QTRY_VERIFY_WITH_TIMEOUT(!window.LaneRun()->IsRunning(), 30000);

    QStringList later{QStringLiteral("red")};
    if (addRow) later << QString::fromLatin1(window.Jobs().Model()->At(3).Id);
    for (const TUrlJob& job : window.Jobs().Model()->Jobs())
        QVERIFY2(job.Status == JobStatus::Success, job.Id.constData());
    const QString format = newFormat.isEmpty() ? QStringLiteral("bmp") : newFormat;
    QStringList expectBefore{QStringLiteral("slow1.bmp"), QStringLiteral("slow2.bmp")};
    QStringList expectAfter;
    for (const QString& id : std::as_const(later))
        (newFolder ? expectAfter : expectBefore) << id + u'.' + format;
    expectBefore.sort();
    expectAfter.sort();
    QCOMPARE(QDir(before.path()).entryList(QDir::Files), expectBefore);
    QCOMPARE(QDir(after.path()).entryList(QDir::Files), expectAfter);
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestMainWindowBatch::certificateRefusedOnceUnticked_data()
{
    QTest::addColumn<int>("pagesAtOnce");
    QTest::newRow("one-view") << 1;
    QTest::newRow("two-views") << 2;
}

// A certificate accepted while "Ignore certificate errors" was ticked is refused at the
// next Start once it is unticked: the view does not remember it.
void TestMainWindowBatch::certificateRefusedOnceUnticked()
{
    QFETCH(int, pagesAtOnce);
    LocalHttpServer tls;
    QVERIFY(tls.StartTls(QStringLiteral(THUMBRIX_TEST_DATA "/tls/selfsigned.crt"),
                         QStringLiteral(THUMBRIX_TEST_DATA "/tls/selfsigned.key")));
    tls.RoutePage("/", LocalHttpServer::SolidPage("#ff0000"));
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    MainWindowFixture f;
    f.NewCaptureBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    f.WriteConfig("[Settings]\nPagesAtOnce=" + QByteArray::number(pagesAtOnce) +
                  "\n[Capture]\nIgnoreCertificateErrors=1\n");
    QTemporaryDir out;
    TfrmMain& window = OpenForBmp(f, capture, out.path());
    QVERIFY(!QTest::currentTestFailed());
    window.Jobs().Import({"tls|" + tls.Url("/")}, ListFormat::Pipe, 0);
    const QString thumbnail = out.filePath(QStringLiteral("tls.bmp"));
    const auto run = [&window] {
        window.btnSelectAllClick();
        window.btnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!window.Driver().IsRunning() && !window.LaneRun()->IsRunning(), 30000);
    };

    run();
    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Success);
    QCOMPARE(QImage(thumbnail).pixel(100, 75), qRgb(255, 0, 0));

    WhenModalOpens([](QDialog* dialog) {
        dialog->findChild<QCheckBox*>(QStringLiteral("chkIgnoreCertificateErrors"))->setChecked(false);
        dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
    });
    f.Find<QPushButton>("btnOptions")->click();
    QVERIFY(QFile::remove(thumbnail));
    run();
    QCOMPARE(window.Jobs().Model()->At(0).Status, JobStatus::Error);
    QVERIFY(!QFile::exists(thumbnail));
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

THUMBRIX_WEBENGINE_TEST_MAIN(TestMainWindowBatch)
#include "TestMainWindowBatch.moc"
