// The capture core on the real engine: pages served on 127.0.0.1, captured through the
// batch runner, thumbnails read back.

#include "CaptureRows.h"
#include "LocalHttpServer.h"
#include "WebEngineTestMain.h"

#include "capture/BatchRunner.h"
#include "capture/CaptureSettings.h"
#include "capture/WebBrowser.h"
#include "common/ByteFile.h"
#include "platform/WebEngineBrowser.h"
#include "urllist/JobId.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstdlib>
#include <tuple>

class TestWebEngineCapture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void coloursNeverStale();
    void failedLoadsWriteNothing();
    void pagesThatWouldBlock();
    void framesArePainted();
    void hungPageTimesOutAndNextLoads();
    void crashedRendererIsAnError();
    void unsafeIdWritesNothing();
    void stopDuringLoadThenNavigate();
    void engineEvents();
    void navigateOverALoad();
    void browsingHistory();
    void optionsReplaceThoseBefore();
    void scriptsAreDrawn_data();
    void scriptsAreDrawn();

private:
    QList<TUrlJob> RunBatch(const QList<TUrlJob>& jobs, const TBatchSettings& settings, QStringList* reasons = nullptr,
                            int timeoutMs = 60000);
    TBatchSettings Settings(const QString& extension = QStringLiteral("bmp")) const;

    LocalHttpServer m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<WebEngineBrowser> m_browser;
};

void TestWebEngineCapture::initTestCase()
{
    QVERIFY(m_server.Start());
    QVERIFY(m_dir.isValid());
    m_server.RoutePage("/red", LocalHttpServer::SolidPage("#ff0000"));
    m_server.RoutePage("/green", LocalHttpServer::SolidPage("#00ff00"));
    m_server.RoutePage("/blue", LocalHttpServer::SolidPage("#0000ff"));
    m_server.Route("/missing", {404, "text/html", LocalHttpServer::SolidPage("#ff0000"), 0});
    m_server.RoutePage("/alert", LocalHttpServer::SolidPage(
                                     "#00ff00", "<script>alert('a');confirm('c');prompt('p');window.open('/red');"
                                                "</script>"));
    m_server.RoutePage("/frames",
                       "<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%;background:#ffff00}"
                       "iframe{position:absolute;left:0;top:0;width:400px;height:300px;border:0}</style></head>"
                       "<body><iframe src='/blue'></iframe></body></html>");
    m_server.RoutePage("/perm", LocalHttpServer::SolidPage(
                                    "#00ff00", "<script>navigator.geolocation.getCurrentPosition(()=>{},()=>{});"
                                               "Notification.requestPermission();</script>"));
    m_server.RoutePage("/redirect", "<html><head><script>location.replace('/blue')</script></head></html>");
    m_server.RoutePage("/tall", "<html><body style='margin:0;background:#ff0000'><div style='height:3000px;"
                                "width:2000px'></div></body></html>");
    m_server.Route("/download", {200, "application/octet-stream", "not a page", 0});
    m_server.RoutePage("/hang", LocalHttpServer::SolidPage("#ff0000", "<script>for(;;){}</script>"));
    m_server.Route("/slow", {200, "text/html", LocalHttpServer::SolidPage("#ff0000"), 8000});
    m_browser = std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture);
    m_browser->SetWidth(800);
    m_browser->SetHeight(600);
}

TBatchSettings TestWebEngineCapture::Settings(const QString& extension) const
{
    TBatchSettings settings;
    settings.Folder = m_dir.path();
    settings.Extension = extension;
    settings.Skip = false;
    settings.TimeoutMs = 20000;
    return settings;
}

QList<TUrlJob> TestWebEngineCapture::RunBatch(const QList<TUrlJob>& jobs, const TBatchSettings& settings,
                                              QStringList* reasons, int timeoutMs)
{
    BatchRunner runner(*m_browser);
    QStringList collected(jobs.size());
    connect(&runner, &BatchRunner::RowFinished, this,
            [&collected](int index, const QString& reason) { collected[index] = reason; });
    QSignalSpy finished(&runner, &BatchRunner::Finished);
    runner.Start(jobs, settings);
    if (!finished.wait(timeoutMs)) return {};
    if (reasons) *reasons = collected;
    return runner.Jobs();
}

void TestWebEngineCapture::coloursNeverStale()
{
    // Alternating colours: a stale frame shows the previous page's colour.
    // A page larger than the view shows no scroll bars; a script redirect is captured at its end.
    const QList<QByteArray> paths = {"/red",   "/green", "/blue",  "/red",  "/blue",
                                     "/green", "/red",   "/green", "/tall", "/redirect"};
    const QList<QRgb> colours = {0xff0000, 0x00ff00, 0x0000ff, 0xff0000, 0x0000ff,
                                 0x00ff00, 0xff0000, 0x00ff00, 0xff0000, 0x0000ff};
    QList<TUrlJob> jobs;
    for (int i = 0; i < paths.size(); ++i)
        jobs << PendingJob("stale" + QByteArray::number(i), m_server.Url(paths[i]));
    QStringList reasons;
    const QList<TUrlJob> done = RunBatch(jobs, Settings(), &reasons);
    QCOMPARE(done.size(), jobs.size());
    for (int i = 0; i < done.size(); ++i) {
        QCOMPARE(done[i].Status, JobStatus::Success);
        const QImage thumb(m_dir.filePath(QString::fromLatin1(done[i].Id) + QStringLiteral(".bmp")));
        QCOMPARE(thumb.size(), QSize(200, 150));
        QVERIFY2(IsSolid(thumb, colours[i]),
                 qPrintable(QStringLiteral("row %1 %2").arg(i).arg(QString::number(thumb.pixel(100, 75), 16))));
    }
}

void TestWebEngineCapture::failedLoadsWriteNothing()
{
    const QList<TUrlJob> jobs = {
        PendingJob("notfound", m_server.Url("/missing")),
        PendingJob("refused", "http://127.0.0.1:" + QByteArray::number(RefusedPort()) + "/"),
        PendingJob("nohost", "http://no-such-host.invalid/"),
        PendingJob("download", m_server.Url("/download")),
        PendingJob("script", "javascript:document.body.style.background='red'"),
        PendingJob("after", m_server.Url("/blue")),
    };
    QStringList reasons;
    const QList<TUrlJob> done = RunBatch(jobs, Settings(QStringLiteral("jpg")), &reasons);
    QCOMPARE(done.size(), jobs.size());
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(done[i].Status, JobStatus::Error);
        QVERIFY(!reasons[i].isEmpty());
        QVERIFY(!QFile::exists(m_dir.filePath(QString::fromLatin1(done[i].Id) + QStringLiteral(".jpg"))));
    }
    QVERIFY2(reasons[0].contains(QLatin1String("404")), qPrintable(reasons[0]));
    QCOMPARE(reasons[4], QStringLiteral("a javascript: address is not a page"));
    QCOMPARE(done[5].Status, JobStatus::Success);
    QVERIFY(IsSolid(QImage(m_dir.filePath(QStringLiteral("after.jpg"))), 0x0000ff, 8));
}

void TestWebEngineCapture::pagesThatWouldBlock()
{
    const QList<TUrlJob> done =
        RunBatch({PendingJob("alert", m_server.Url("/alert")), PendingJob("perm", m_server.Url("/perm"))}, Settings(),
                 nullptr, 15000);
    QCOMPARE(done.size(), 2);
    for (const TUrlJob& job : done) {
        QCOMPARE(job.Status, JobStatus::Success);
        QVERIFY(IsSolid(QImage(m_dir.filePath(QString::fromLatin1(job.Id) + QStringLiteral(".bmp"))), 0x00ff00));
    }
}

void TestWebEngineCapture::framesArePainted()
{
    QSignalSpy before(m_browser.get(), &WebBrowser::BeforeNavigate2);
    const QList<TUrlJob> done = RunBatch({PendingJob("frames", m_server.Url("/frames"))}, Settings());
    QCOMPARE(done.size(), 1);
    QCOMPARE(done[0].Status, JobStatus::Success);
    QVERIFY2(before.count() >= 2, "the frame's navigation is reported too");
    const QImage thumb(m_dir.filePath(QStringLiteral("frames.bmp")));
    // The frame covers the top-left quarter of the 800x600 view.
    QVERIFY(IsSolid(thumb.copy(0, 0, 100, 75), 0x0000ff));
    QVERIFY(IsSolid(thumb.copy(100, 75, 100, 75), 0xffff00));
}

void TestWebEngineCapture::hungPageTimesOutAndNextLoads()
{
    TBatchSettings settings = Settings();
    settings.TimeoutMs = 2000;
    QStringList reasons;
    const QList<TUrlJob> done =
        RunBatch({PendingJob("hung", m_server.Url("/hang")), PendingJob("afterhang", m_server.Url("/green"))}, settings,
                 &reasons);
    QCOMPARE(done.size(), 2);
    QCOMPARE(done[0].Status, JobStatus::Error);
    QVERIFY2(reasons[0].contains(QLatin1String("did not load")), qPrintable(reasons[0]));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("hung.bmp"))));
    QCOMPARE(done[1].Status, JobStatus::Success);
    QVERIFY(IsSolid(QImage(m_dir.filePath(QStringLiteral("afterhang.bmp"))), 0x00ff00));
}

void TestWebEngineCapture::crashedRendererIsAnError()
{
    QStringList reasons;
    const QList<TUrlJob> done = RunBatch(
        {PendingJob("crash", "chrome://crash"), PendingJob("aftercrash", m_server.Url("/red"))}, Settings(), &reasons);
    QCOMPARE(done.size(), 2);
    QCOMPARE(done[0].Status, JobStatus::Error);
    QVERIFY2(reasons[0].contains(QLatin1String("render process")), qPrintable(reasons[0]));
    QCOMPARE(done[1].Status, JobStatus::Success);
    QVERIFY(IsSolid(QImage(m_dir.filePath(QStringLiteral("aftercrash.bmp"))), 0xff0000));
}

void TestWebEngineCapture::unsafeIdWritesNothing()
{
    QTemporaryDir outer;
    const QString out = outer.filePath(QStringLiteral("a/b"));
    QVERIFY(QDir().mkpath(out));
    TBatchSettings settings = Settings();
    settings.Folder = out;
    const QList<TUrlJob> done = RunBatch(
        {PendingJob("../../escaped", m_server.Url("/red")), PendingJob("inside", m_server.Url("/red"))}, settings);
    QCOMPARE(done.size(), 2);
    QCOMPARE(done[0].Status, JobStatus::Error);
    QCOMPARE(done[1].Status, JobStatus::Success);
    QVERIFY(!QFile::exists(outer.filePath(QStringLiteral("escaped.bmp"))));
    QCOMPARE(m_server.RequestCount("/red") > 0, true);
    QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{QStringLiteral("inside.bmp")});
}

void TestWebEngineCapture::stopDuringLoadThenNavigate()
{
    QSignalSpy complete(m_browser.get(), &WebBrowser::DocumentComplete);
    m_browser->Navigate(m_server.Url("/slow"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.RequestCount("/slow"), 1, 5000);
    m_browser->Stop();
    QVERIFY(m_browser->ReadyState() != WebBrowser::Complete);
    m_browser->Navigate(m_server.Url("/blue"));
    QTRY_COMPARE_WITH_TIMEOUT(m_browser->ReadyState(), int(WebBrowser::Complete), 10000);
    QCOMPARE(complete.count(), 1);
    QVERIFY(IsSolid(m_browser->Draw(), 0x0000ff));

    // Stop on a page whose script never yields: the next load of the same site still works.
    m_browser->Navigate(m_server.Url("/hang"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.RequestCount("/hang") >= 1, true, 5000);
    QTest::qWait(300);
    m_browser->Stop();
    complete.clear();
    m_browser->Navigate(m_server.Url("/green"));
    QTRY_COMPARE_WITH_TIMEOUT(m_browser->ReadyState(), int(WebBrowser::Complete), 10000);
    QVERIFY(IsSolid(m_browser->Draw(), 0x00ff00));
}

void TestWebEngineCapture::engineEvents()
{
    QSignalSpy before(m_browser.get(), &WebBrowser::BeforeNavigate2);
    QSignalSpy progress(m_browser.get(), &WebBrowser::ProgressChange);
    QSignalSpy error(m_browser.get(), &WebBrowser::NavigateError);
    m_browser->Navigate(m_server.Url("/missing"));
    QCOMPARE(m_browser->ReadyState(), int(WebBrowser::Loading));
    QTRY_COMPARE_WITH_TIMEOUT(m_browser->ReadyState(), int(WebBrowser::Complete), 10000);
    QCOMPARE(error.count(), 1);
    QVERIFY(before.count() >= 1);
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toInt(), 100);
    QCOMPARE(progress.last().at(1).toInt(), 100);

    // The next navigation after an error reports no error of its own.
    error.clear();
    m_browser->Navigate(m_server.Url("/red"));
    QTRY_COMPARE_WITH_TIMEOUT(m_browser->ReadyState(), int(WebBrowser::Complete), 10000);
    QCOMPARE(error.count(), 0);
    QVERIFY(m_browser->HasDocument());
    const QImage view = m_browser->Draw();
    QCOMPARE(view.size(), QSize(800, 600));
    QVERIFY(IsSolid(view, 0xff0000));
}

void TestWebEngineCapture::navigateOverALoad()
{
    // Start pressed again mid-load: the abandoned load must not count as the new one's error.
    QSignalSpy error(m_browser.get(), &WebBrowser::NavigateError);
    QSignalSpy complete(m_browser.get(), &WebBrowser::DocumentComplete);
    const int before = m_server.RequestCount("/slow");
    m_browser->Navigate(m_server.Url("/slow"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.RequestCount("/slow"), before + 1, 5000);
    m_browser->Navigate(m_server.Url("/blue"));
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 10000);
    QCOMPARE(error.count(), 0);
    QVERIFY(IsSolid(m_browser->Draw(), 0x0000ff));
    QTest::qWait(300);
    QCOMPARE(complete.count(), 1);
}

void TestWebEngineCapture::browsingHistory()
{
    QWidget host;
    host.setAttribute(Qt::WA_DontShowOnScreen);
    host.resize(640, 480);
    WebEngineBrowser browser(WebEngineBrowser::Role::Interactive, &host);
    browser.Widget()->resize(640, 480);
    host.show();
    QSignalSpy complete(&browser, &WebBrowser::NavigateComplete2);

    browser.GoBack(); // nothing shown yet: no effect, no failure
    QVERIFY(!browser.Busy());

    const QString red = QString::fromLatin1(m_server.Url("/red"));
    const QString green = QString::fromLatin1(m_server.Url("/green"));
    browser.Navigate(m_server.Url("/red"));
    QVERIFY(browser.Busy());
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationURL(), red, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!browser.Busy(), 10000);
    QVERIFY(!complete.isEmpty());

    // A navigation the page starts itself is followed as well.
    m_server.RoutePage("/link", "<html><body><script>setTimeout(()=>location.href='/green',50)</script></body></html>");
    browser.Navigate(m_server.Url("/link"));
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationURL(), green, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!browser.Busy(), 10000);

    browser.Navigate(m_server.Url("/blue"));
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationURL(), QString::fromLatin1(m_server.Url("/blue")), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!browser.Busy(), 10000);

    // The engine leaves out of its history a page that moved on without the user.
    complete.clear();
    browser.GoBack();
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationURL(), green, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), 10000);
    browser.GoBack();
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationURL(), red, 10000);
    browser.GoForward();
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationURL(), green, 10000);

    QTRY_VERIFY_WITH_TIMEOUT(!browser.Busy(), 10000);
    const int requests = m_server.RequestCount("/green");
    browser.Refresh();
    QTRY_COMPARE_WITH_TIMEOUT(m_server.RequestCount("/green"), requests + 1, 10000);
}

// Each SetOptions stands for itself: what the options before added to the profile and the
// pages is gone.
void TestWebEngineCapture::optionsReplaceThoseBefore()
{
    // Green when the agent, the cookie and the hidden element all hold, red when none does.
    m_server.RoutePage("/identity",
                       "<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%;background:#ffffff}</style>"
                       "<script>onload=()=>{const n=[navigator.userAgent.includes('ThumbrixFirst/1'),"
                       "document.cookie.includes('probe=1'),"
                       "getComputedStyle(document.getElementById('cover')).display==='none'].filter(Boolean).length;"
                       "document.documentElement.style.background=document.body.style.background="
                       "n===3?'#00ff00':n===0?'#ff0000':'#ffff00'}</script></head>"
                       "<body><div id='cover'></div></body></html>");
    TCaptureOptions first;
    first.UserAgent = "ThumbrixFirst/1";
    first.HideSelectors << QStringLiteral("#cover");
    TCookie cookie;
    cookie.Domain = "127.0.0.1";
    cookie.Name = "probe";
    cookie.Value = "1";
    first.Cookies << cookie;

    const QList<QPair<TCaptureOptions, QRgb>> steps = {{first, 0x00ff00}, {TCaptureOptions(), 0xff0000}};
    for (int i = 0; i < steps.size(); ++i) {
        m_browser->SetOptions(steps[i].first);
        const QByteArray id = "identity" + QByteArray::number(i);
        const QList<TUrlJob> done = RunBatch({PendingJob(id, m_server.Url("/identity"))}, Settings());
        QCOMPARE(done.size(), 1);
        QCOMPARE(done[0].Status, JobStatus::Success);
        const QImage thumb(m_dir.filePath(QString::fromLatin1(id) + QStringLiteral(".bmp")));
        QVERIFY2(IsSolid(thumb, steps[i].second),
                 qPrintable(QStringLiteral("step %1: %2").arg(i).arg(QString::number(thumb.pixel(100, 75), 16))));
    }
}

void TestWebEngineCapture::scriptsAreDrawn_data()
{
    // Two pages, each one big character in the font the browser picks for its language.
    QTest::addColumn<QByteArray>("lang1");
    QTest::addColumn<QByteArray>("text1");
    QTest::addColumn<QByteArray>("lang2");
    QTest::addColumn<QByteArray>("text2");
    QTest::addColumn<bool>("colour");

    const auto pair = [](const char* name, const char* lang, const char* one, const char* two) {
        QTest::newRow(name) << QByteArray(lang) << QByteArray(one) << QByteArray(lang) << QByteArray(two) << false;
    };
    pair("latin", "en", "g", "w");
    pair("greek", "el", "\u03bb", "\u03a9");
    pair("cyrillic", "ru", "\u0436", "\u0414");
    pair("arabic", "ar", "\u0628", "\u062c");
    pair("hebrew", "he", "\u05d0", "\u05e9");
    pair("japanese", "ja", "\u3042", "\u306c");
    pair("chinese-simplified", "zh-CN", "\u4e66", "\u95e8");
    pair("chinese-traditional", "zh-TW", "\u66f8", "\u9580");
    pair("korean", "ko", "\ud55c", "\uae00");
    pair("devanagari", "hi", "\u0915", "\u091e");
    pair("bengali", "bn", "\u0995", "\u099e");
    pair("tamil", "ta", "\u0b95", "\u0b9e");
    pair("thai", "th", "\u0e01", "\u0e2e");
    pair("ethiopic", "am", "\u1200", "\u1250");
    QTest::newRow("emoji") << QByteArray("en") << QByteArray("\U0001f600") << QByteArray("en")
                           << QByteArray("\U0001f34e") << true;
    // The same Han character takes the forms of the page's language: lang="zh" alone is
    // Simplified Chinese, never the Japanese forms fontconfig's first choice for "zh" has.
    const auto han = [](const char* name, const char* lang1, const char* lang2) {
        QTest::newRow(name) << QByteArray(lang1) << QByteArray("\u9aa8") << QByteArray(lang2) << QByteArray("\u9aa8")
                            << false;
    };
    han("han-simplified-not-japanese", "zh-CN", "ja");
    han("han-zh-not-japanese", "zh", "ja");
    han("han-traditional-not-simplified", "zh-TW", "zh-CN");
}

void TestWebEngineCapture::scriptsAreDrawn()
{
    QFETCH(QByteArray, lang1);
    QFETCH(QByteArray, text1);
    QFETCH(QByteArray, lang2);
    QFETCH(QByteArray, text2);
    QFETCH(bool, colour);
    const QByteArray tag = QTest::currentDataTag();
    QList<TUrlJob> jobs;
    for (const auto& [lang, text, id] : {std::tuple(lang1, text1, tag + "-1"), std::tuple(lang2, text2, tag + "-2")}) {
        // A missing glyph is a box the size of the font's, whatever the character.
        m_server.RoutePage("/script/" + id, "<!DOCTYPE html><html lang='" + lang +
                                                "'><head><meta charset='utf-8'></head><body style='margin:0;"
                                                "background:#fff'><div style='font-size:400px;line-height:1.2;"
                                                "padding-left:100px'>" +
                                                text + "</div></body></html>");
        jobs << PendingJob(id, m_server.Url("/script/" + id));
    }
    const QList<TUrlJob> done = RunBatch(jobs, Settings());
    QCOMPARE(done.size(), 2);
    QImage thumbs[2];
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(done[i].Status, JobStatus::Success);
        thumbs[i] = QImage(m_dir.filePath(QString::fromLatin1(done[i].Id) + QStringLiteral(".bmp")))
                        .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(thumbs[i].size(), QSize(200, 150));
    }
    int differ = 0;
    int inked[2] = {0, 0};
    int coloured[2] = {0, 0};
    for (int y = 0; y < 150; ++y) {
        for (int x = 0; x < 200; ++x) {
            for (int i = 0; i < 2; ++i) {
                const QColor c = thumbs[i].pixelColor(x, y);
                inked[i] += c.value() < 160 || c.saturation() > 100;
                coloured[i] += c.saturation() > 100 && c.value() > 60;
            }
            const QRgb a = thumbs[0].pixel(x, y);
            const QRgb b = thumbs[1].pixel(x, y);
            differ += std::abs(qGray(a) - qGray(b)) > 64 || std::abs(qRed(a) - qRed(b)) > 64 ||
                      std::abs(qGreen(a) - qGreen(b)) > 64 || std::abs(qBlue(a) - qBlue(b)) > 64;
        }
    }
    const QString counts = QStringLiteral("inked %1/%2, coloured %3/%4, differing %5")
                               .arg(inked[0])
                               .arg(inked[1])
                               .arg(coloured[0])
                               .arg(coloured[1])
                               .arg(differ);
    qInfo("%s", qPrintable(counts));
    QVERIFY2(inked[0] > 100 && inked[1] > 100, qPrintable(counts));
    // Two missing-glyph boxes differ in nothing; two drawn characters in their strokes.
    QVERIFY2(differ > 150, qPrintable(counts));
    if (colour) QVERIFY2(coloured[0] > 300 && coloured[1] > 300, qPrintable(counts));
}

THUMBRIX_WEBENGINE_TEST_MAIN(TestWebEngineCapture)
#include "TestWebEngineCapture.moc"
