// thumbrix-batch's capture options against pages that turn green only when the option did
// its job, served on 127.0.0.1 by tests/options/site.py, whose log shows what was sent.

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr QRgb kGreen = 0x00ff00;

bool IsGreen(const QImage& image)
{
    if (image.isNull()) return false;
    for (const QPoint p :
         {QPoint(0, 0), QPoint(image.width() / 2, image.height() / 2), QPoint(image.width() - 1, image.height() - 1)}) {
        const QRgb c = image.pixel(p);
        if (qRed(c) > 16 || qGreen(c) < 239 || qBlue(c) > 16) return false;
    }
    return true;
}

} // namespace

class TestCaptureOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void optionDoesItsJob_data();
    void optionDoesItsJob();
    void identityReachesTheServer();
    void cookiesGoOnlyWhereTheyMay();
    void credentialsFromAFile();
    void secretsStayWithTheRowsOrigin_data();
    void secretsStayWithTheRowsOrigin();
    void conditionNeverMet_data();
    void conditionNeverMet();
    void jpegQuality();
    void fullPage_data();
    void fullPage();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    // Captures `url` as ID `id` with `options`, as a PNG unless the options say otherwise.
    Run Capture(const QByteArray& id, const QString& url, const QStringList& options);
    QString WriteFile(const QString& name, const QByteArray& bytes);
    // The site's log lines for `path` since the last call.
    QList<QJsonObject> Requests(const QString& path);

    QProcess m_site;
    QTemporaryDir m_dir;
    QString m_out;
    QString m_log;
    qint64 m_logRead = 0;
    QString m_siteUrl;
    QString m_proxy;
    QString m_tlsUrl;
    QString m_sitePort;
    QString m_tlsPort;
};

void TestCaptureOptions::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(THUMBRIX_BATCH_BIN)));
    QVERIFY(m_dir.isValid());
    m_out = m_dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_out));
    m_log = m_dir.filePath(QStringLiteral("requests.jsonl"));
    m_site.start(QStringLiteral("python3"), {QStringLiteral(THUMBRIX_TEST_SOURCE "/options/site.py"), m_log,
                                             QStringLiteral(THUMBRIX_TEST_DATA "/tls/selfsigned.crt"),
                                             QStringLiteral(THUMBRIX_TEST_DATA "/tls/selfsigned.key")});
    QVERIFY(m_site.waitForStarted(10000));
    QVERIFY(QTest::qWaitFor([this] { return m_site.canReadLine(); }, 10000));
    const QStringList ports = QString::fromLatin1(m_site.readLine()).trimmed().split(QLatin1Char(' '));
    QCOMPARE(ports.size(), 4);
    m_siteUrl = QStringLiteral("http://127.0.0.1:%1").arg(ports[0]);
    m_proxy = QStringLiteral("127.0.0.1:%1").arg(ports[1]);
    m_tlsUrl = QStringLiteral("https://127.0.0.1:%1").arg(ports[3]);
    m_sitePort = ports[0];
    m_tlsPort = ports[3];
    // The engine counts 127.0.0.1 as a secure origin, even over plain HTTP; a name of its own is not.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " \"--host-resolver-rules=MAP thumbrix-secure.test 127.0.0.1\"");
}

void TestCaptureOptions::cleanupTestCase()
{
    m_site.kill();
    m_site.waitForFinished(5000);
}

TestCaptureOptions::Run TestCaptureOptions::Capture(const QByteArray& id, const QString& url,
                                                    const QStringList& options)
{
    Run run;
    const QString list = WriteFile(QString::fromLatin1(id) + QStringLiteral(".txt"), id + '|' + url.toUtf8() + '\n');
    QStringList arguments{QStringLiteral("--out"), m_out, QStringLiteral("--list-format"), QStringLiteral("pipe"),
                          QStringLiteral("--no-skip")};
    if (!options.contains(QStringLiteral("--image"))) arguments << QStringLiteral("--image") << QStringLiteral("png");
    arguments << options << list;
    QProcess process;
    process.start(QStringLiteral(THUMBRIX_BATCH_BIN), arguments);
    if (!process.waitForFinished(60000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString TestCaptureOptions::WriteFile(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
    return path;
}

QList<QJsonObject> TestCaptureOptions::Requests(const QString& path)
{
    QFile file(m_log);
    QList<QJsonObject> found;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_logRead)) return found;
    const QByteArray text = file.readAll();
    m_logRead += text.size();
    for (const QByteArray& line : text.split('\n')) {
        const QJsonObject request = QJsonDocument::fromJson(line).object();
        if (request.value(QLatin1String("path")).toString().endsWith(path)) found << request;
    }
    return found;
}

void TestCaptureOptions::optionDoesItsJob_data()
{
    QTest::addColumn<QString>("url"); // "site:" and "tls:" stand for the servers
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("without"); // what shows the page is not green by itself

    const auto L = [](std::initializer_list<const char*> words) {
        QStringList list;
        for (const char* w : words)
            list << QString::fromUtf8(w);
        return list;
    };
    const auto S = [](const char* text) { return QString::fromUtf8(text); };
    const QString css = WriteFile(QStringLiteral("green.css"), "html,body{background:#00ff00!important}");
    const QString js = WriteFile(QStringLiteral("green.js"),
                                 "document.documentElement.style.background=document.body.style.background='#0f0'");
    QTest::newRow("scale-2") << S("site:/dpr") << L({"--scale", "2"}) << QStringList{};
    QTest::newRow("scale-fraction") << S("site:/dpr") << L({"--scale", "2.5"}) << L({"--scale", "1.5"});
    QTest::newRow("dark") << S("site:/dark") << L({"--color-scheme", "dark"}) << QStringList{};
    QTest::newRow("light") << S("site:/light") << L({"--color-scheme", "light"}) << L({"--color-scheme", "dark"});
    QTest::newRow("reduced-motion") << S("site:/motion") << L({"--reduced-motion"}) << QStringList{};
    QTest::newRow("hide") << S("site:/cover") << L({"--hide", "#cover", "--hide", "div.also"})
                          << L({"--hide", "#cover"});
    QTest::newRow("css") << S("site:/styled") << (L({"--css"}) << css) << QStringList{};
    QTest::newRow("js") << S("site:/scripted") << (L({"--js"}) << js) << QStringList{};
    QTest::newRow("user-agent") << S("site:/agent") << L({"--user-agent", "Mozilla/5.0 ThumbrixProbe/1"})
                                << QStringList{};
    // The page turns green 2.5 s after load, later than settling waits for.
    QTest::newRow("wait") << S("site:/waited") << L({"--wait", "3000"}) << QStringList{};
    // The time-out is for loading: the waits asked for come on top.
    QTest::newRow("wait-past-timeout") << S("site:/waited") << L({"--wait", "3000", "--timeout", "2"})
                                       << L({"--timeout", "2"});
    QTest::newRow("settle-past-timeout") << S("site:/fetched") << L({"--settle-max", "8000", "--timeout", "1"})
                                         << L({"--settle-max", "0", "--timeout", "1"});
    QTest::newRow("wait-for") << S("site:/later") << L({"--wait-for", "window.ready === true"}) << QStringList{};
    QTest::newRow("wait-for-selector") << S("site:/later") << L({"--wait-for-selector", "div#ready"}) << QStringList{};
    QTest::newRow("basic-auth") << S("site:/basic") << L({"--auth", "ann:se:cret"}) << L({"--auth", "ann:wrong"});
    QTest::newRow("digest-auth") << S("site:/digest") << L({"--auth", "ann:se:cret"}) << QStringList{};
    QTest::newRow("self-signed") << S("tls:/plain") << L({"--ignore-certificate-errors"}) << QStringList{};
    QTest::newRow("proxy") << S("http://thumbrix-proxy.test/")
                           << (L({"--proxy"}) << QStringLiteral("http://") + m_proxy) << QStringList{};
    QTest::newRow("proxy-credentials") << S("http://thumbrix-proxy-auth.test/")
                                       << (L({"--proxy"}) << QStringLiteral("http://ann:se%3Acret@") + m_proxy)
                                       << (L({"--proxy"}) << QStringLiteral("http://") + m_proxy);
}

void TestCaptureOptions::optionDoesItsJob()
{
    QFETCH(QString, url);
    QFETCH(QStringList, options);
    QFETCH(QStringList, without);
    url.replace(QLatin1String("site:"), m_siteUrl).replace(QLatin1String("tls:"), m_tlsUrl);
    const QByteArray id = QTest::currentDataTag();
    const QString file = m_out + u'/' + QString::fromLatin1(id) + QStringLiteral(".png");

    const Run with = Capture(id, url, options);
    QVERIFY2(with.exitCode == 0, qPrintable(with.out + with.err));
    QVERIFY2(IsGreen(QImage(file)), qPrintable(QStringLiteral("%1 with %2").arg(url, options.join(u' '))));

    // The same page without the option, or with it done wrong, is not green: the page tells.
    QFile::remove(file);
    const Run plain = Capture(id, url, without);
    QVERIFY2(plain.exitCode <= 1, qPrintable(plain.err));
    QVERIFY(!IsGreen(QImage(file)));
}

void TestCaptureOptions::identityReachesTheServer()
{
    Requests(QString());
    const Run run = Capture("identity", m_siteUrl + QStringLiteral("/headers"),
                            {QStringLiteral("--user-agent"), QStringLiteral("ThumbrixProbe/1 (identity)"),
                             QStringLiteral("--header"), QStringLiteral("X-Thumbrix-Probe: yes"),
                             QStringLiteral("--header"), QStringLiteral("Accept-Language:  de-CH")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    const QList<QJsonObject> requests = Requests(QStringLiteral("/headers"));
    QCOMPARE(requests.size(), 1);
    const QJsonObject headers = requests[0].value(QLatin1String("headers")).toObject();
    QCOMPARE(headers.value(QLatin1String("user-agent")).toString(), QStringLiteral("ThumbrixProbe/1 (identity)"));
    QCOMPARE(headers.value(QLatin1String("x-thumbrix-probe")).toString(), QStringLiteral("yes"));
    QCOMPARE(headers.value(QLatin1String("accept-language")).toString(), QStringLiteral("de-CH"));
}

// Through the proxy, or to a name the engine's resolver maps to 127.0.0.1: the engine sends
// Secure cookies to 127.0.0.1 over plain HTTP, as to any loopback address, so the host must
// be one of its own.
void TestCaptureOptions::cookiesGoOnlyWhereTheyMay()
{
    const QString cookies = WriteFile(QStringLiteral("cookies.txt"),
                                      "# Netscape HTTP Cookie File\n"
                                      "thumbrix-proxy.test\tFALSE\t/\tFALSE\t0\tsession\tone\n"
                                      "#HttpOnly_thumbrix-proxy.test\tFALSE\t/\tFALSE\t4102444800\tlasting\ttwo\n"
                                      "thumbrix-proxy.test\tFALSE\t/only\tFALSE\t0\tpathed\tthree\n"
                                      "thumbrix-proxy.test\tFALSE\t/\tTRUE\t0\tsecure\tfour\n"
                                      ".other.test\tTRUE\t/\tFALSE\t0\telsewhere\tfive\n"
                                      ".proxy.test\tTRUE\t/\tFALSE\t0\tsuffix\tsix\n"
                                      "thumbrix-secure.test\tFALSE\t/\tTRUE\t0\tsecure\tseven\n"
                                      "thumbrix-secure.test\tFALSE\t/\tFALSE\t0\tplain\teight\n");
    const QString secureHttps = QStringLiteral("thumbrix-secure.test:") + m_tlsPort + QStringLiteral("/cookies");
    const QString secureHttp = QStringLiteral("thumbrix-secure.test:") + m_sitePort + QStringLiteral("/cookies");
    const QStringList proxied{QStringLiteral("--proxy"), QStringLiteral("http://") + m_proxy};
    const QList<QPair<QString, QStringList>> captures{
        {QStringLiteral("http://thumbrix-proxy.test/cookies"), proxied},
        {QStringLiteral("http://thumbrix-proxy.test/only/here"), proxied},
        {QStringLiteral("https://") + secureHttps, {QStringLiteral("--ignore-certificate-errors")}},
        {QStringLiteral("http://") + secureHttp, {}}};
    Requests(QString());
    int n = 0;
    for (const auto& [url, options] : captures) {
        const Run run = Capture("cookies-" + QByteArray::number(++n), url,
                                QStringList{QStringLiteral("--cookies"), cookies} + options);
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    }
    QHash<QString, QStringList> sent; // cookies by address, without the scheme when not through the proxy
    for (const QJsonObject& request : Requests(QString())) {
        const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
        QStringList cookies =
            headers.value(QLatin1String("cookie")).toString().split(QStringLiteral("; "), Qt::SkipEmptyParts);
        cookies.sort();
        const QString path = request.value(QLatin1String("path")).toString();
        sent.insert(path.startsWith(QLatin1Char('/')) ? headers.value(QLatin1String("host")).toString() + path : path,
                    cookies);
    }
    // A Secure cookie reaches an https page of a host that is not loopback, and only that.
    QCOMPARE(sent.value(secureHttps), (QStringList{QStringLiteral("plain=eight"), QStringLiteral("secure=seven")}));
    QCOMPARE(sent.value(secureHttp), QStringList{QStringLiteral("plain=eight")});
    // Neither the Secure cookie over plain HTTP, nor another host's, nor one for another path.
    QCOMPARE(sent.value(QStringLiteral("http://thumbrix-proxy.test/cookies")),
             (QStringList{QStringLiteral("lasting=two"), QStringLiteral("session=one")}));
    QCOMPARE(
        sent.value(QStringLiteral("http://thumbrix-proxy.test/only/here")),
        (QStringList{QStringLiteral("lasting=two"), QStringLiteral("pathed=three"), QStringLiteral("session=one")}));
}

void TestCaptureOptions::credentialsFromAFile()
{
    const QString file = WriteFile(QStringLiteral("credentials"), "ann:se:cret\n");
    const Run run = Capture("auth-file", m_siteUrl + QStringLiteral("/basic"), {QStringLiteral("--auth-file"), file});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    QVERIFY(IsGreen(QImage(m_out + QStringLiteral("/auth-file.png"))));
}

void TestCaptureOptions::secretsStayWithTheRowsOrigin_data()
{
    QTest::addColumn<QString>("path"); // on the site; its pages load parts of the other origin
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("captured");
    // What the row's own origin must have been sent; empty: nothing asked for.
    QTest::addColumn<QString>("authorization");
    QTest::addColumn<QString>("cookie");

    const QStringList credentials{QStringLiteral("--auth"), QStringLiteral("ann:se:cret")};
    const QStringList headers{QStringLiteral("--header"), QStringLiteral("Authorization: Bearer t0ken"),
                              QStringLiteral("--header"), QStringLiteral("Cookie: flavour=secret"),
                              QStringLiteral("--header"), QStringLiteral("X-Thumbrix-Probe: yes")};
    const QString basic = QStringLiteral("Basic YW5uOnNlOmNyZXQ="); // ann:se:cret
    const QString bearer = QStringLiteral("Bearer t0ken");
    const QString cookie = QStringLiteral("flavour=secret");
    QTest::newRow("credentials-page-reaching-elsewhere")
        << QStringLiteral("/guarded") << credentials << true << basic << QString();
    QTest::newRow("credentials-redirect-same-origin")
        << QStringLiteral("/hop?/guarded") << credentials << true << basic << QString();
    QTest::newRow("credentials-redirect-elsewhere")
        << QStringLiteral("/hop?elsewhere/basic?redirect") << credentials << false << QString() << QString();
    QTest::newRow("headers-page-reaching-elsewhere")
        << QStringLiteral("/reaching") << headers << true << bearer << cookie;
    QTest::newRow("headers-redirect-elsewhere")
        << QStringLiteral("/hop?elsewhere/plain?redirect") << headers << true << bearer << cookie;
}

// The other origin, on another port, is reached by a frame, an image, a fetch or a redirect
// of the row's page: it gets the headers asked for, but neither the credentials nor an
// Authorization or Cookie header.
void TestCaptureOptions::secretsStayWithTheRowsOrigin()
{
    QFETCH(QString, path);
    QFETCH(QStringList, options);
    QFETCH(bool, captured);
    QFETCH(QString, authorization);
    QFETCH(QString, cookie);
    const QByteArray id = "secrets-" + QByteArray(QTest::currentDataTag());
    Requests(QString());
    const Run run = Capture(id, m_siteUrl + path, options);
    QVERIFY2(run.exitCode == (captured ? 0 : 1), qPrintable(run.out + run.err));
    QCOMPARE(IsGreen(QImage(m_out + u'/' + QString::fromLatin1(id) + QStringLiteral(".png"))), captured);

    int elsewhere = 0;
    bool ownAuthorized = authorization.isEmpty(), ownCookie = cookie.isEmpty();
    for (const QJsonObject& request : Requests(QString())) {
        const QJsonObject sent = request.value(QLatin1String("headers")).toObject();
        const QString where = request.value(QLatin1String("path")).toString();
        if (request.value(QLatin1String("server")).toString() == QLatin1String("elsewhere")) {
            ++elsewhere;
            QVERIFY2(!sent.contains(QLatin1String("authorization")), qPrintable(where));
            QVERIFY2(!sent.contains(QLatin1String("cookie")), qPrintable(where));
            if (options.contains(QStringLiteral("--header")))
                QCOMPARE(sent.value(QLatin1String("x-thumbrix-probe")).toString(), QStringLiteral("yes"));
        } else {
            ownAuthorized = ownAuthorized || sent.value(QLatin1String("authorization")).toString() == authorization;
            ownCookie = ownCookie || sent.value(QLatin1String("cookie")).toString() == cookie;
        }
    }
    QVERIFY2(elsewhere > 0, "the page never reached the other origin");
    QVERIFY(ownAuthorized);
    QVERIFY(ownCookie);
}

void TestCaptureOptions::conditionNeverMet_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("reason");
    QTest::newRow("expression") << QStringList{QStringLiteral("--wait-for"), QStringLiteral("window.never")}
                                << QStringLiteral("waited 2 s for \"window.never\"");
    QTest::newRow("selector") << QStringList{QStringLiteral("--wait-for-selector"), QStringLiteral("#never")}
                              << QStringLiteral("waited 2 s for the selector \"#never\"");
    QTest::newRow("hidden-element") << QStringList{QStringLiteral("--wait-for-selector"), QStringLiteral("#cover"),
                                                   QStringLiteral("--hide"), QStringLiteral("#cover")}
                                    << QStringLiteral("waited 2 s for the selector \"#cover\"");
    QTest::newRow("invisible-element") << QStringList{QStringLiteral("--wait-for-selector"), QStringLiteral("#unseen")}
                                       << QStringLiteral("waited 2 s for the selector \"#unseen\"");
}

// The page loads, but what it is waited for never comes: an Error that says so, tried once.
void TestCaptureOptions::conditionNeverMet()
{
    QFETCH(QStringList, options);
    QFETCH(QString, reason);
    const QByteArray id = "never-" + QByteArray(QTest::currentDataTag());
    const Run run = Capture(id, m_siteUrl + QStringLiteral("/cover"),
                            QStringList{QStringLiteral("--timeout"), QStringLiteral("2")} + options);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QStringLiteral(" Error: ") + reason + u'\n'), qPrintable(run.out));
    QVERIFY(!QFile::exists(m_out + u'/' + QString::fromLatin1(id) + QStringLiteral(".png")));
}

void TestCaptureOptions::jpegQuality()
{
    const QString identify = QStandardPaths::findExecutable(QStringLiteral("identify"));
    if (identify.isEmpty()) QSKIP("ImageMagick's identify is not on PATH");
    for (const int quality : {90, 35}) {
        const QByteArray id = "quality-" + QByteArray::number(quality);
        QStringList options{QStringLiteral("--image"), QStringLiteral("jpg")};
        if (quality != 90) options << QStringLiteral("--quality") << QString::number(quality);
        const Run run = Capture(id, m_siteUrl + QStringLiteral("/cover"), options);
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        QProcess process;
        process.start(identify, {QStringLiteral("-format"), QStringLiteral("%Q"),
                                 m_out + u'/' + QString::fromLatin1(id) + QStringLiteral(".jpg")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), QString::number(quality));
    }
}

void TestCaptureOptions::fullPage_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("height");
    QTest::addColumn<QList<QRgb>>("bands"); // the colour in the middle of each 600 px band

    const QList<QRgb> all{0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0xff00ff};
    QTest::newRow("whole-page") << QStringList{QStringLiteral("--full-page")} << 750 << all;
    QTest::newRow("max-height") << QStringList{QStringLiteral("--full-page"), QStringLiteral("--max-height"),
                                               QStringLiteral("1800")}
                                << 450 << all.mid(0, 3);
    QTest::newRow("scaled") << QStringList{QStringLiteral("--full-page"), QStringLiteral("--scale"),
                                           QStringLiteral("2")}
                            << 750 << all;
    QTest::newRow("viewport-only") << QStringList{} << 150 << all.mid(0, 1);
}

// 3000 px of bands under a fixed bar, the last band a lazy image: the thumbnail keeps the
// page's proportions at --thumb's width, the bar shows once, at the top.
void TestCaptureOptions::fullPage()
{
    QFETCH(QStringList, options);
    QFETCH(int, height);
    QFETCH(QList<QRgb>, bands);
    const QByteArray id = "bands-" + QByteArray(QTest::currentDataTag());
    const Run run = Capture(id, m_siteUrl + QStringLiteral("/bands"), options);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    const QImage thumb(m_out + u'/' + QString::fromLatin1(id) + QStringLiteral(".png"));
    QCOMPARE(thumb.size(), QSize(200, height));
    QCOMPARE(thumb.pixel(100, 1) & 0xffffff, QRgb(0));
    for (int band = 0; band < bands.size(); ++band) {
        const int y = 75 + band * 150;
        if (y >= height) break;
        QCOMPARE(thumb.pixel(100, y) & 0xffffff, bands[band]);
    }
    // Further down the bar is not repeated.
    for (int y = 20; y < height; y += 150)
        QVERIFY2((thumb.pixel(100, y) & 0xffffff) != 0, qPrintable(QString::number(y)));
}

QTEST_GUILESS_MAIN(TestCaptureOptions)
#include "TestCaptureOptions.moc"
