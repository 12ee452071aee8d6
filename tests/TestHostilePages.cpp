// Pages built to misbehave, captured through the batch runner on the real engine: every
// row ends in time, a Success shows the row's own page, an Error writes nothing, and the
// page after a hostile one is captured with its own colour.

#include "CaptureRows.h"
#include "LocalHttpServer.h"
#include "WebEngineTestMain.h"

#include "capture/BatchRunner.h"
#include "capture/WebBrowser.h"
#include "platform/WebEngineBrowser.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

using Reply = LocalHttpServer::Reply;
using Ending = LocalHttpServer::Ending;

// Hostile pages paint themselves this colour wherever they get as far as painting.
const QByteArray kOwnColour = "#ff0000";
constexpr QRgb kOwnRgb = 0xff0000;
// Per channel: the colour a solid page paints may be off by a step or two.
constexpr int kSlack = 8;

QByteArray OwnPage(const QByteArray& head, const QByteArray& body = {})
{
    return "<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%;background:" + kOwnColour + "}</style>" +
           head + "</head><body>" + body + "</body></html>";
}

// A field of /proc/self/status, in kB; -1 when it cannot be read.
qint64 StatusKb(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':')) return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QByteArray Noise(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(8);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

} // namespace

class TestHostilePages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyRowEndsInTime_data();
    void everyRowEndsInTime();
    void probeCannotBeTurnedAgainstTheHost_data();
    void probeCannotBeTurnedAgainstTheHost();
    void retriesOnAFreshRenderer_data();
    void retriesOnAFreshRenderer();
    void cleanupTestCase();

private:
    struct Run
    {
        QList<TUrlJob> Jobs;
        QStringList Reasons;
        qint64 Ms = 0;
    };
    Run RunBatch(const QList<TUrlJob>& jobs, const TBatchSettings& settings);
    TBatchSettings Settings() const;
    QImage Thumbnail(const QByteArray& id) const;

    LocalHttpServer m_server;
    LocalHttpServer m_tlsServer;
    QTcpServer m_notTls; // answers a TLS handshake with plain text
    QTemporaryDir m_dir;
    std::unique_ptr<WebEngineBrowser> m_browser;
    QElapsedTimer m_suiteClock;
};

void TestHostilePages::initTestCase()
{
    m_suiteClock.start();
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.Start());
    QVERIFY(m_tlsServer.StartTls(QStringLiteral(THUMBRIX_TEST_DATA "/tls/selfsigned.crt"),
                                 QStringLiteral(THUMBRIX_TEST_DATA "/tls/selfsigned.key")));
    m_tlsServer.RoutePage("/", OwnPage({}));
    QVERIFY(m_notTls.listen(QHostAddress::LocalHost, 0));
    connect(&m_notTls, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_notTls.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
        }
    });

    m_server.RoutePage("/before", LocalHttpServer::SolidPage("#0000ff"));
    m_server.RoutePage("/after", LocalHttpServer::SolidPage("#00ff00"));

    // Pages that never finish.
    m_server.Route("/silent-body", Reply(200, "text/html", OwnPage({}), 0, Ending::HeadersThenSilence));
    m_server.Route("/silent", Reply(200, "text/html", {}, 0, Ending::Silence));
    m_server.RoutePage("/silent-image", OwnPage({}, "<img src='/silent'>"));
    m_server.RoutePage("/reload-forever", OwnPage("<script>location.reload()</script>"));
    m_server.RoutePage("/meta-refresh-forever", OwnPage("<meta http-equiv='refresh' content='0'>"));
    // Script that never yields.
    m_server.RoutePage("/spin-before-load", OwnPage("<script>for(;;){}</script>"));
    m_server.RoutePage("/spin-after-load", OwnPage("<script>onload=()=>setTimeout(()=>{for(;;){}},0)</script>"));
    // Blocks just after the settling has asked its first question.
    m_server.RoutePage("/spin-while-settling", OwnPage("<script>onload=()=>setTimeout(()=>{for(;;){}},300)</script>"));
    // Pages that try to answer in the settle probe's place, or to spoil its answer, with
    // far more than a few numbers.
    m_server.RoutePage("/probe-replaced-huge",
                       OwnPage("<script>const big='x'.repeat(1<<28),f=()=>big;const take=()=>{try{"
                               "window.__thumbrixSettle=f}catch(e){}};take();setInterval(take,50)</script>"));
    m_server.RoutePage("/probe-replaced-shape",
                       OwnPage("<script>const shape={requests:new Array(1<<24).fill(0)},f=()=>shape;"
                               "const take=()=>{try{window.__thumbrixSettle=f}catch(e){}};take();"
                               "setInterval(take,50)</script>"));
    m_server.RoutePage("/probe-fed-huge", OwnPage("<script>const big='x'.repeat(1<<28);Math.round=()=>big</script>"));
    // A long task just as the marker goes in, as a huge page's own work after its load
    // on a slow machine: the renderer answers late, but it answers.
    m_server.RoutePage("/busy-at-marker",
                       OwnPage("<script>onload=()=>{const o=new MutationObserver(()=>{o.disconnect();"
                               "const t=Date.now();while(Date.now()-t<3500){}});"
                               "o.observe(document.documentElement,{childList:true})}</script>"));
    m_server.RoutePage("/spin-at-marker", OwnPage("<script>onload=()=>new MutationObserver(()=>{for(;;){}})"
                                                  ".observe(document.documentElement,{childList:true})</script>"));
    // Dialogs, pop-ups and permission prompts nobody will answer.
    m_server.RoutePage("/dialogs", OwnPage("<script>alert('a');confirm('c');prompt('p');print();"
                                           "window.open('/after');onbeforeunload=e=>{e.preventDefault();"
                                           "return e.returnValue='stay'};</script>"));
    m_server.RoutePage("/permissions",
                       OwnPage("<script>navigator.geolocation.getCurrentPosition(()=>{},()=>{});"
                               "Notification.requestPermission();"
                               "navigator.mediaDevices&&navigator.mediaDevices.getUserMedia({video:true})"
                               ".catch(()=>{});document.documentElement.requestFullscreen().catch(()=>{});"
                               "</script>"));
    m_server.Route("/auth", Reply(401, "text/html", OwnPage({}), 0, Ending::Normal,
                                  "WWW-Authenticate: Basic realm=\"thumbrix\"\r\n"));
    // Replies that are not pages.
    m_server.Route("/download", Reply(200, "application/octet-stream", Noise(4096)));
    m_server.Route("/reset", Reply(200, "text/html", {}, 0, Ending::Reset));
    m_server.Route("/empty", Reply(200, "text/html", {}, 0, Ending::Close));
    m_server.Route("/noise", Reply(200, "text/html", Noise(8192), 0, Ending::Raw));
    // Heavy pages.
    m_server.RoutePage("/huge-page",
                       OwnPage({}, "<div style='display:none'>" +
                                       QByteArray("<p>Lorem ipsum dolor sit amet</p>").repeated(700000) + "</div>"));
    m_server.RoutePage("/huge-allocation",
                       OwnPage("<script>window.kept=[];for(let i=0;i<6;i++)kept.push(new Uint8Array(64<<20).fill(i))"
                               "</script>"));
    m_server.RoutePage("/huge-dom", OwnPage("<script>onload=()=>{const d=document.createElement('div');"
                                            "d.style.display='none';for(let i=0;i<300000;i++)"
                                            "d.appendChild(document.createElement('span'));"
                                            "document.body.appendChild(d)}</script>"));
    // The page hides or recolours the paint marker.
    m_server.RoutePage("/inverted", "<!DOCTYPE html><html style='filter:invert(1)'><head><style>html,body{margin:0;"
                                    "height:100%;background:#00ffff}</style></head><body></body></html>");
    m_server.RoutePage("/covered", OwnPage({}, "<dialog id=d style='margin:0;padding:0;border:0;width:100vw;"
                                               "height:100vh;max-width:none;max-height:none;background:" +
                                                   kOwnColour + "'></dialog><script>d.showModal()</script>"));
    m_server.RoutePage("/marker-colour", LocalHttpServer::SolidPage("#fe01fd"));
    // Addresses that are not HTML.
    m_server.Route("/image.png", Reply(200, "image/png", SolidPng(kOwnRgb, 800, 600)));
    m_server.Route("/text.txt", Reply(200, "text/plain", "plain text\n"));

    m_browser = std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture);
    m_browser->SetWidth(800);
    m_browser->SetHeight(600);
}

void TestHostilePages::cleanupTestCase()
{
    qInfo("hostile suite: %lld ms", m_suiteClock.elapsed());
}

TBatchSettings TestHostilePages::Settings() const
{
    TBatchSettings settings;
    settings.Folder = m_dir.path();
    settings.Extension = QStringLiteral("bmp");
    settings.Skip = false;
    settings.TimeoutMs = 4000;
    settings.Retries = 0;
    return settings;
}

QImage TestHostilePages::Thumbnail(const QByteArray& id) const
{
    return QImage(m_dir.filePath(QString::fromLatin1(id) + QStringLiteral(".bmp")));
}

TestHostilePages::Run TestHostilePages::RunBatch(const QList<TUrlJob>& jobs, const TBatchSettings& settings)
{
    Run run;
    BatchRunner runner(*m_browser);
    run.Reasons = QStringList(jobs.size());
    connect(&runner, &BatchRunner::RowFinished, this,
            [&run](int index, const QString& reason) { run.Reasons[index] = reason; });
    QSignalSpy finished(&runner, &BatchRunner::Finished);
    QElapsedTimer clock;
    clock.start();
    runner.Start(jobs, settings);
    if (!finished.wait(120000)) return run;
    run.Ms = clock.elapsed();
    run.Jobs = runner.Jobs();
    return run;
}

void TestHostilePages::everyRowEndsInTime_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("status");
    // Success: the colour the whole thumbnail must be, or -1. Error: a pattern of the reason.
    QTest::addColumn<int>("colour");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("timeoutMs");

    const auto url = [this](const char* path) { return m_server.Url(path); };
    const QByteArray success = JobStatus::Success;
    const QByteArray error = JobStatus::Error;
    // A page that refreshes itself may be caught between two loads: its own picture, or an Error.
    const QByteArray either = "either";
    const QString late = QStringLiteral("did not load within");
    const QString stuck = QStringLiteral("script does not respond");
    const int own = int(kOwnRgb);

    QTest::newRow("headers-then-silence") << url("/silent-body") << error << -1 << late << 4000;
    QTest::newRow("image-that-never-arrives") << url("/silent-image") << error << -1 << late << 4000;
    QTest::newRow("reloads-itself-forever") << url("/reload-forever") << error << -1 << late << 4000;
    QTest::newRow("meta-refresh-forever") << url("/meta-refresh-forever") << either << own << late << 4000;
    QTest::newRow("script-spins-before-load") << url("/spin-before-load") << error << -1 << late << 4000;
    // The load may or may not get reported before the loop starts: either way an honest Error.
    QTest::newRow("script-spins-after-load") << url("/spin-after-load") << error << -1 << stuck + u'|' + late << 4000;
    // Time-outs past the renderer's time to answer: the fence, not the time-out, ends these.
    QTest::newRow("script-spins-while-settling") << url("/spin-while-settling") << error << -1 << stuck << 15000;
    QTest::newRow("script-spins-at-the-marker") << url("/spin-at-marker") << error << -1 << stuck << 8000;
    QTest::newRow("script-busy-at-the-marker") << url("/busy-at-marker") << success << own << QString() << 8000;
    QTest::newRow("dialogs-and-popups") << url("/dialogs") << success << own << QString() << 4000;
    QTest::newRow("permission-prompts") << url("/permissions") << success << own << QString() << 4000;
    QTest::newRow("http-authentication") << url("/auth") << error << -1 << QStringLiteral("401") << 4000;
    QTest::newRow("tls-certificate") << m_tlsServer.Url("/") << error << -1 << QStringLiteral("CERT") << 4000;
    QTest::newRow("download") << url("/download") << error << -1 << QStringLiteral("no page") << 4000;
    QTest::newRow("connection-reset") << url("/reset") << error << -1 << QStringLiteral("RESET") << 4000;
    QTest::newRow("empty-reply") << url("/empty") << error << -1 << QStringLiteral("EMPTY") << 4000;
    QTest::newRow("binary-noise") << url("/noise") << error << -1 << QStringLiteral("INVALID") << 4000;
    QTest::newRow("huge-page") << url("/huge-page") << success << own << QString() << 15000;
    QTest::newRow("huge-allocation") << url("/huge-allocation") << success << own << QString() << 15000;
    QTest::newRow("huge-dom") << url("/huge-dom") << success << own << QString() << 15000;
    QTest::newRow("marker-recoloured") << url("/inverted") << success << own << QString() << 4000;
    QTest::newRow("marker-covered") << url("/covered") << success << own << QString() << 4000;
    QTest::newRow("page-in-marker-colour") << url("/marker-colour") << success << 0xfe01fd << QString() << 4000;
    QTest::newRow("renderer-crash") << QByteArray("chrome://crash") << error << -1 << QStringLiteral("render process")
                                    << 4000;
    QTest::newRow("direct-image") << url("/image.png") << success << own << QString() << 4000;
    QTest::newRow("direct-text") << url("/text.txt") << success << -1 << QString() << 4000;
}

void TestHostilePages::everyRowEndsInTime()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, status);
    QFETCH(int, colour);
    QFETCH(QString, reason);
    QFETCH(int, timeoutMs);

    const QByteArray tag = QTest::currentDataTag();
    const QByteArray before = tag + "-before", hostile = tag + "-page", after = tag + "-after";
    TBatchSettings settings = Settings();
    settings.TimeoutMs = timeoutMs;
    const Run run = RunBatch({PendingJob(before, m_server.Url("/before")), PendingJob(hostile, url),
                              PendingJob(after, m_server.Url("/after"))},
                             settings);
    QCOMPARE(run.Jobs.size(), 3);

    QCOMPARE(run.Jobs[0].Status, JobStatus::Success);
    QVERIFY(IsSolid(Thumbnail(before), 0x0000ff, kSlack));

    if (status == "either") status = run.Jobs[1].Status == JobStatus::Error ? JobStatus::Error : JobStatus::Success;
    QVERIFY2(run.Jobs[1].Status == status, qPrintable(QString::fromLatin1(run.Jobs[1].Status) + u' ' + run.Reasons[1]));
    if (status == JobStatus::Success) {
        QVERIFY(!Thumbnail(hostile).isNull());
        if (colour >= 0) QVERIFY(IsSolid(Thumbnail(hostile), QRgb(colour), kSlack));
        // Never the page before it.
        QVERIFY(!IsSolid(Thumbnail(hostile), 0x0000ff, 40));
    } else {
        const QRegularExpression pattern(reason, QRegularExpression::CaseInsensitiveOption);
        QVERIFY2(run.Reasons[1].contains(pattern), qPrintable(run.Reasons[1]));
        QVERIFY(!QFile::exists(m_dir.filePath(QString::fromLatin1(hostile) + QStringLiteral(".bmp"))));
    }

    QCOMPARE(run.Jobs[2].Status, JobStatus::Success);
    QVERIFY(IsSolid(Thumbnail(after), 0x00ff00, kSlack));

    // Three rows: a hostile one holds the batch at most its own time-out and one fence.
    QVERIFY2(run.Ms < settings.TimeoutMs + 6000, qPrintable(QString::number(run.Ms)));
}

void TestHostilePages::probeCannotBeTurnedAgainstTheHost_data()
{
    QTest::addColumn<QByteArray>("path");
    // Both rows end within this: the probe cannot be replaced and answers as ever, so the
    // page settles before the longest wait; a spoiled answer is no answer, and the longest
    // wait ends the row.
    QTest::addColumn<int>("boundMs");
    const int longestWait = TCaptureOptions().SettleMaxMs;
    QTest::newRow("replaced-with-a-huge-string") << QByteArray("/probe-replaced-huge") << longestWait;
    QTest::newRow("replaced-with-a-wrong-shape") << QByteArray("/probe-replaced-shape") << longestWait;
    QTest::newRow("fed-a-huge-string") << QByteArray("/probe-fed-huge") << longestWait + 5000;
}

// All answers are read on one thread: a page that could make the host read hundreds of
// megabytes every poll would hold every view. It ends by the longest wait, and the host's
// memory stays near a plain page's.
void TestHostilePages::probeCannotBeTurnedAgainstTheHost()
{
    QFETCH(QByteArray, path);
    QFETCH(int, boundMs);

    // From here on, the peak is counted from the memory in use now.
    QFile peak(QStringLiteral("/proc/self/clear_refs"));
    QVERIFY(peak.open(QIODevice::WriteOnly) && peak.write("5") == 1);
    peak.close();
    const qint64 baseKb = StatusKb("VmRSS");
    QVERIFY(baseKb > 0);

    const QByteArray tag = QTest::currentDataTag();
    TBatchSettings settings = Settings();
    settings.TimeoutMs = 30000;
    const Run run = RunBatch(
        {PendingJob(tag + "-page", m_server.Url(path)), PendingJob(tag + "-after", m_server.Url("/after"))}, settings);
    QCOMPARE(run.Jobs.size(), 2);
    QVERIFY2(run.Jobs[0].Status == JobStatus::Success, qPrintable(run.Reasons[0]));
    QVERIFY(IsSolid(Thumbnail(tag + "-page"), kOwnRgb, kSlack));
    QCOMPARE(run.Jobs[1].Status, JobStatus::Success);
    QVERIFY(IsSolid(Thumbnail(tag + "-after"), 0x00ff00, kSlack));

    const qint64 growthMb = (StatusKb("VmHWM") - baseKb) / 1024;
    qInfo("%s: %lld ms, host grew %lld MB at most", tag.constData(), run.Ms, growthMb);
    QVERIFY2(growthMb <= 300, qPrintable(QStringLiteral("%1 MB").arg(growthMb)));
    QVERIFY2(run.Ms < boundMs, qPrintable(QString::number(run.Ms)));
}

void TestHostilePages::retriesOnAFreshRenderer_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<int>("retries");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("timeoutMs");

    const Reply stuck(200, "text/html",
                      OwnPage("<script>onload=()=>new MutationObserver(()=>{for(;;){}})"
                              ".observe(document.documentElement,{childList:true})</script>"));
    const Reply page(200, "text/html", OwnPage({}));
    const Reply reset(200, "text/html", {}, 0, Ending::Reset);
    const Reply silent(200, "text/html", {}, 0, Ending::Silence);
    const Reply missing(404, "text/html", OwnPage({}));
    // A stuck page is given up by the fence, which waits longer than 4 s for an answer.
    const int quick = 4000, pastTheFence = 8000;

    QTest::newRow("stuck-twice") << QByteArray("/r-stuck") << QList<Reply>{stuck} << 1 << JobStatus::Error
                                 << QStringLiteral("does not respond (2 attempts)") << 2 << pastTheFence;
    QTest::newRow("stuck-no-retry") << QByteArray("/r-stuck0") << QList<Reply>{stuck} << 0 << JobStatus::Error
                                    << QStringLiteral("does not respond") << 1 << pastTheFence;
    QTest::newRow("stuck-twice-then-fine") << QByteArray("/r-stuck-fine") << QList<Reply>{stuck, stuck, page} << 2
                                           << JobStatus::Success << QString() << 3 << pastTheFence;
    QTest::newRow("reset-then-fine") << QByteArray("/r-reset") << QList<Reply>{reset, page} << 1 << JobStatus::Success
                                     << QString() << 2 << quick;
    QTest::newRow("silent-twice") << QByteArray("/r-silent") << QList<Reply>{silent} << 1 << JobStatus::Error
                                  << QStringLiteral("did not load within 4 s (2 attempts)") << 2 << quick;
    QTest::newRow("certificate-not-retried")
        << QByteArray() << QList<Reply>{} << 3 << JobStatus::Error << QStringLiteral("(-202)") << -1 << quick;
    // The engine refuses this port before any connection, every time.
    QTest::newRow("unsafe-port-not-retried") << QByteArray("http://127.0.0.1:1/") << QList<Reply>{} << 3
                                             << JobStatus::Error << QStringLiteral("(-312)") << -1 << quick;
    QTest::newRow("refused-retried") << QByteArray("http://127.0.0.1:" + QByteArray::number(RefusedPort()) + "/")
                                     << QList<Reply>{} << 1 << JobStatus::Error << QStringLiteral("(-102) (2 attempts)")
                                     << -1 << quick;
    QTest::newRow("name-not-resolved-retried")
        << QByteArray("http://thumbrix-nowhere.invalid/") << QList<Reply>{} << 1 << JobStatus::Error
        << QStringLiteral("(-105) (2 attempts)") << -1 << quick;
    QTest::newRow("tls-handshake-garbled-retried")
        << QByteArray("https://127.0.0.1:" + QByteArray::number(m_notTls.serverPort()) + "/") << QList<Reply>{} << 1
        << JobStatus::Error << QStringLiteral("(-107) (2 attempts)") << -1 << quick;
    QTest::newRow("http-error-not-retried") << QByteArray("/r-404") << QList<Reply>{missing} << 3 << JobStatus::Error
                                            << QStringLiteral("HTTP status 404") << 1 << quick;
}

void TestHostilePages::retriesOnAFreshRenderer()
{
    QFETCH(QByteArray, path);
    QFETCH(QList<Reply>, replies);
    QFETCH(int, retries);
    QFETCH(QByteArray, status);
    QFETCH(QString, reason);
    QFETCH(int, requests);
    QFETCH(int, timeoutMs);

    // No path: the TLS server, whose certificate the engine refuses before any request. A
    // whole address: a place where no server of ours answers.
    const bool ours = path.startsWith('/');
    const QByteArray url = path.isEmpty() ? m_tlsServer.Url("/") : ours ? m_server.Url(path) : path;
    if (ours) m_server.RouteSequence(path, replies);
    TBatchSettings settings = Settings();
    settings.Retries = retries;
    settings.TimeoutMs = timeoutMs;
    const QByteArray id = QByteArray(QTest::currentDataTag()) + "-retry";
    const Run run = RunBatch({PendingJob(id, url), PendingJob(id + "-after", m_server.Url("/after"))}, settings);
    QCOMPARE(run.Jobs.size(), 2);
    QVERIFY2(run.Jobs[0].Status == status, qPrintable(QString::fromLatin1(run.Jobs[0].Status) + u' ' + run.Reasons[0]));
    if (status == JobStatus::Error) {
        QVERIFY2(run.Reasons[0].endsWith(reason), qPrintable(run.Reasons[0]));
        QVERIFY(Thumbnail(id).isNull());
    } else {
        QVERIFY(IsSolid(Thumbnail(id), kOwnRgb, kSlack));
    }
    if (requests >= 0) QCOMPARE(m_server.RequestCount(path), requests);
    QCOMPARE(run.Jobs[1].Status, JobStatus::Success);
    QVERIFY(IsSolid(Thumbnail(id + "-after"), 0x00ff00, kSlack));
}

THUMBRIX_WEBENGINE_TEST_MAIN(TestHostilePages)
#include "TestHostilePages.moc"
