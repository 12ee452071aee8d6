// thumbrix-batch run as a process against pages served by the test.

#include "CaptureRows.h"
#include "FifoRescue.h"
#include "LocalHttpServer.h"

#include "urllist/JobId.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <webp/decode.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/stat.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Rows finish in any order when several views work at once: the row lines sorted by their
// number, then the counts line.
QStringList ReportLines(const QString& out)
{
    QStringList rows = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString counts;
    if (!rows.isEmpty() && rows.last().startsWith(QLatin1String("Total:"))) counts = rows.takeLast();
    std::stable_sort(rows.begin(), rows.end(), [](const QString& a, const QString& b) {
        return a.section(QLatin1Char(' '), 0, 0).toInt() < b.section(QLatin1Char(' '), 0, 0).toInt();
    });
    if (!counts.isEmpty()) rows << counts;
    return rows;
}

// The objects of a JSON Lines text; an empty list when any line is not an object.
QList<QJsonObject> JsonLines(const QByteArray& text)
{
    QList<QJsonObject> objects;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) return {};
        objects << document.object();
    }
    return objects;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first number of each row line, in the order printed.
QList<int> PrintOrder(const QString& out)
{
    QList<int> numbers;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = line.section(QLatin1Char(' '), 0, 0).toInt(&ok);
        if (ok) numbers << number;
    }
    return numbers;
}

} // namespace

class TestBatchCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void badUsage_data();
    void badUsage();
    void help();
    void successLeavesStderrEmpty();
    void capturesAndReports();
    void hostilePagesEndAsErrors();
    void parallelRunMatchesOneAtATime();
    void hangingPageHoldsOnlyItsView();
    void skipsExistingUnlessTold();
    void idsAndSizes_data();
    void idsAndSizes();
    void imageFormatsAgree();
    void listThatIsNotAFile_data();
    void listThatIsNotAFile();
    void stopSignalEndsTheRunCleanly_data();
    void stopSignalEndsTheRunCleanly();
    void hostileIdsPrintEscaped_data();
    void hostileIdsPrintEscaped();
    void reasonQuotingHostilePathPrintsEscaped();
    void resultsRecordEveryRow();
    void resultsToStandardOutput();
    void listOnStandardInput();
    void sixWorkersShareOneList();
    void galleryShowsTheRun();

private:
    Run Batch(const QStringList& arguments, const QByteArray& input = {});
    QString WriteList(const QByteArray& bytes);

    LocalHttpServer m_server;
    QTemporaryDir m_dir;
    int m_lists = 0;
};

void TestBatchCli::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(THUMBRIX_BATCH_BIN)));
    QVERIFY(m_server.Start());
    QVERIFY(m_dir.isValid());
    m_server.RoutePage("/red", LocalHttpServer::SolidPage("#ff0000"));
    m_server.RoutePage("/blue", LocalHttpServer::SolidPage("#0000ff"));
    m_server.RoutePage(
        "/spin", LocalHttpServer::SolidPage("#00ff00", "<script>onload=()=>new MutationObserver(()=>{for(;;){}})"
                                                       ".observe(document.documentElement,{childList:true})</script>"));
}

Run TestBatchCli::Batch(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(QStringLiteral(THUMBRIX_BATCH_BIN), arguments);
    Run run;
    if (!process.waitForStarted(10000)) return run;
    process.write(input);
    process.closeWriteChannel();
    // The pages come from this process, so keep its event loop turning while we wait.
    if (!QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 120000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString TestBatchCli::WriteList(const QByteArray& bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("list%1.txt").arg(++m_lists));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
    return path;
}

void TestBatchCli::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString list = QStringLiteral(THUMBRIX_TEST_DATA "/three-urls.txt");
    const QString out = QDir::tempPath();
    auto args = [&](std::initializer_list<const char*> extra) {
        QStringList a;
        for (const char* e : extra)
            a << QString::fromUtf8(e);
        return a;
    };
    QTest::newRow("no-list") << args({"--out", "/tmp"}) << QStringLiteral("No LIST_FILE");
    QTest::newRow("missing-list") << args({"--out", "/tmp", "/no/such/list.txt"}) << QStringLiteral("does not exist");
    QTest::newRow("no-out") << QStringList{list} << QStringLiteral("--out FOLDER is required");
    QTest::newRow("missing-folder") << (args({"--out", "/no/such/folder"}) << list)
                                    << QStringLiteral("output folder \"/no/such/folder\" does not exist");
    QTest::newRow("zero-browser") << (args({"--browser", "0x600", "--out"}) << out << list)
                                  << QStringLiteral("--browser must be two positive numbers");
    QTest::newRow("negative-thumb") << (args({"--thumb", "-5x5", "--out"}) << out << list)
                                    << QStringLiteral("--thumb must be two positive numbers");
    QTest::newRow("word-size") << (args({"--thumb", "abcx10", "--out"}) << out << list)
                               << QStringLiteral("--thumb must be two positive numbers");
    QTest::newRow("huge-browser") << (args({"--browser", "100000x100000", "--out"}) << out << list)
                                  << QStringLiteral("at most 8192 pixels");
    QTest::newRow("aspect-gives-zero") << (args({"--thumb", "1x1", "--browser", "800x10", "--out"}) << out << list)
                                       << QStringLiteral("would be 0 pixels high");
    QTest::newRow("image-tiff") << (args({"--image", "tiff", "--out"}) << out << list)
                                << QStringLiteral("--image must be jpg, gif, bmp, png or webp");
    QTest::newRow("list-format") << (args({"--list-format", "tab", "--out"}) << out << list)
                                 << QStringLiteral("--list-format must be");
    QTest::newRow("id-kind") << (args({"--id", "sha1", "--out"}) << out << list) << QStringLiteral("--id must be");
    QTest::newRow("timeout-zero") << (args({"--timeout", "0", "--out"}) << out << list)
                                  << QStringLiteral("--timeout must be a positive number");
    QTest::newRow("retries-negative") << (args({"--retries", "-1", "--out"}) << out << list)
                                      << QStringLiteral("--retries must be a whole number from 0 to 10");
    QTest::newRow("retries-too-many") << (args({"--retries", "11", "--out"}) << out << list)
                                      << QStringLiteral("--retries must be a whole number from 0 to 10");
    QTest::newRow("retries-word") << (args({"--retries", "two", "--out"}) << out << list)
                                  << QStringLiteral("--retries must be");
    QTest::newRow("jobs-zero") << (args({"--jobs", "0", "--out"}) << out << list) << QStringLiteral("--jobs must be");
    QTest::newRow("jobs-too-many") << (args({"--jobs", "33", "--out"}) << out << list)
                                   << QStringLiteral("--jobs must be a whole number from 1 to 32");
    QTest::newRow("jobs-word") << (args({"--jobs", "four", "--out"}) << out << list)
                               << QStringLiteral("--jobs must be");
    QTest::newRow("jobs-fraction") << (args({"--jobs", "2.5", "--out"}) << out << list)
                                   << QStringLiteral("--jobs must be");
    QTest::newRow("shard-zero") << (args({"--shard", "0/6", "--out"}) << out << list)
                                << QStringLiteral("--shard must be");
    QTest::newRow("shard-past-count") << (args({"--shard", "7/6", "--out"}) << out << list)
                                      << QStringLiteral("--shard must be I/N with 1 <= I <= N");
    QTest::newRow("shard-count-zero") << (args({"--shard", "1/0", "--out"}) << out << list)
                                      << QStringLiteral("--shard must be");
    QTest::newRow("shard-no-count") << (args({"--shard", "3", "--out"}) << out << list)
                                    << QStringLiteral("--shard must be");
    QTest::newRow("shard-negative") << (args({"--shard", "-1/6", "--out"}) << out << list)
                                    << QStringLiteral("--shard must be");
    QTest::newRow("settle-negative") << (args({"--settle-max", "-1", "--out"}) << out << list)
                                     << QStringLiteral("--settle-max must be a whole number of milliseconds from 0 to "
                                                       "120000, not \"-1\"");
    QTest::newRow("settle-too-long") << (args({"--settle-max", "120001", "--out"}) << out << list)
                                     << QStringLiteral("--settle-max must be");
    QTest::newRow("settle-seconds") << (args({"--settle-max", "5s", "--out"}) << out << list)
                                    << QStringLiteral("--settle-max must be");
    const QString notCookies = WriteList("just some text\n");
    QTest::newRow("scale-zero") << (args({"--scale", "0", "--out"}) << out << list)
                                << QStringLiteral("--scale must be a number from 1 to 4, not \"0\"");
    QTest::newRow("scale-five") << (args({"--scale", "5", "--out"}) << out << list)
                                << QStringLiteral("--scale must be");
    QTest::newRow("quality-101") << (args({"--quality", "101", "--out"}) << out << list)
                                 << QStringLiteral("--quality must be a whole number from 1 to 100, not \"101\"");
    QTest::newRow("quality-zero") << (args({"--quality", "0", "--out"}) << out << list)
                                  << QStringLiteral("--quality must be");
    QTest::newRow("header-no-colon") << (args({"--header", "X-Probe yes", "--out"}) << out << list)
                                     << QStringLiteral("--header must be \"Name: value\"");
    QTest::newRow("header-lone-cr") << (args({"--header", "X-A: 1\rX-B: 2", "--out"}) << out << list)
                                    << QStringLiteral("--header \"X-A\" must have a value of one line");
    QTest::newRow("header-bad-name") << (args({"--header", "X Probe: yes", "--out"}) << out << list)
                                     << QStringLiteral("--header must be");
    QTest::newRow("proxy-ftp") << (args({"--proxy", "ftp://127.0.0.1:21", "--out"}) << out << list)
                               << QStringLiteral("--proxy must be an http://, https:// or socks5:// address of a host, "
                                                 "not \"ftp://127.0.0.1:21\"");
    QTest::newRow("proxy-socks5-credentials")
        << (args({"--proxy", "socks5://bob:pw@127.0.0.1:1080", "--out"}) << out << list)
        << QStringLiteral("--proxy: a socks5:// proxy cannot be given a user and password");
    QTest::newRow("proxy-no-host") << (args({"--proxy", "http://", "--out"}) << out << list)
                                   << QStringLiteral("--proxy must be");
    QTest::newRow("cookies-missing") << (args({"--cookies", "/no/such/cookies.txt", "--out"}) << out << list)
                                     << QStringLiteral("--cookies \"/no/such/cookies.txt\"");
    QTest::newRow("cookies-not-netscape")
        << (args({"--cookies"}) << notCookies << QStringLiteral("--out") << out << list)
        << QStringLiteral("is not a cookie of a Netscape cookies.txt file");
    QTest::newRow("auth-no-colon") << (args({"--auth", "annsecret", "--out"}) << out << list)
                                   << QStringLiteral("--auth must be USER:PASSWORD");
    QTest::newRow("auth-file-missing") << (args({"--auth-file", "/no/such/credentials", "--out"}) << out << list)
                                       << QStringLiteral("--auth-file \"/no/such/credentials\"");
    QTest::newRow("auth-both") << (args({"--auth", "a:b", "--auth-file", "/no/such/file", "--out"}) << out << list)
                               << QStringLiteral("cannot both be given");
    QTest::newRow("color-scheme-blue") << (args({"--color-scheme", "blue", "--out"}) << out << list)
                                       << QStringLiteral("--color-scheme must be light or dark, not \"blue\"");
    QTest::newRow("wait-negative") << (args({"--wait", "-1", "--out"}) << out << list)
                                   << QStringLiteral("--wait must be a whole number of milliseconds from 0 to 600000, "
                                                     "not \"-1\"");
    QTest::newRow("css-missing") << (args({"--css", "/no/such.css", "--out"}) << out << list)
                                 << QStringLiteral("--css \"/no/such.css\"");
    QTest::newRow("js-missing") << (args({"--js", "/no/such.js", "--out"}) << out << list)
                                << QStringLiteral("--js \"/no/such.js\"");
    QTest::newRow("hide-rule") << (args({"--hide", "a{color:red}", "--out"}) << out << list)
                               << QStringLiteral("--hide must be a CSS selector");
    QTest::newRow("hide-comment") << (args({"--hide", ".ad /*", "--hide", "#cover", "--out"}) << out << list)
                                  << QStringLiteral("--hide must be a CSS selector, not \".ad /*\"");
    QTest::newRow("user-agent-empty") << (args({"--user-agent", "", "--out"}) << out << list)
                                      << QStringLiteral("--user-agent must be one line");
    QTest::newRow("max-height-zero") << (args({"--full-page", "--max-height", "0", "--out"}) << out << list)
                                     << QStringLiteral("--max-height must be a whole number of pixels from 1 to 16384, "
                                                       "not \"0\"");
    QTest::newRow("results-unopenable") << (args({"--results", "/no/such/folder/r.jsonl", "--out"}) << out << list)
                                        << QStringLiteral("/no/such/folder/r.jsonl");
    QTest::newRow("unknown-option") << (args({"--fast", "--out"}) << out << list) << QStringLiteral("fast");
}

void TestBatchCli::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = Batch(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestBatchCli::help()
{
    const Run run = Batch({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QStringLiteral("Usage: thumbrix-batch [options] LIST_FILE\n")),
             qPrintable(run.out.left(80)));
    for (const char* option : {"--out",
                               "--list-format",
                               "--browser",
                               "--thumb",
                               "--no-keep-aspect",
                               "--image",
                               "--id",
                               "--no-skip",
                               "--timeout",
                               "--retries",
                               "--jobs",
                               "--settle-max",
                               "--no-settle",
                               "--keep-consent",
                               "--wait",
                               "--wait-for",
                               "--wait-for-selector",
                               "--full-page",
                               "--max-height",
                               "--hide",
                               "--css",
                               "--js",
                               "--quality",
                               "--scale",
                               "--color-scheme",
                               "--reduced-motion",
                               "--user-agent",
                               "--header",
                               "--cookies",
                               "--auth",
                               "--auth-file",
                               "--proxy",
                               "--ignore-certificate-errors",
                               "--version",
                               "LIST_FILE",
                               "Exit status"})
        QVERIFY2(run.out.contains(QLatin1String(option)), option);

    const Run version = Batch({QStringLiteral("--version")});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QStringLiteral("thumbrix-batch " THUMBRIX_VERSION "\n"));
    QVERIFY(version.err.isEmpty());
}

void TestBatchCli::successLeavesStderrEmpty()
{
    // Off a terminal there is no progress bar, so a run where every row succeeds says
    // nothing on stderr: not even the engine's notes on its own set-up.
    QTemporaryDir out;
    const Run run = Batch({QStringLiteral("--out"), out.path(), WriteList(m_server.Url("/red") + "\n")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
}

void TestBatchCli::capturesAndReports()
{
    QTemporaryDir out;
    const QString list = WriteList("red|" + m_server.Url("/red") + "\r\n" + "gone|" + m_server.Url("/gone") + "\n" +
                                   "../escape|" + m_server.Url("/red") + "\r" + "blue|" + m_server.Url("/blue"));
    const Run run = Batch({QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--image"),
                           QStringLiteral("bmp"), QStringLiteral("--out"), out.path(), list});
    QCOMPARE(run.exitCode, 1);
    const QStringList lines = ReportLines(run.out);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("1 red Success"));
    QCOMPARE(lines[1], QStringLiteral("2 gone Error: HTTP status 404"));
    QVERIFY2(lines[2].startsWith(QLatin1String("3 ../escape Error: ")), qPrintable(lines[2]));
    QCOMPARE(lines[3], QStringLiteral("4 blue Success"));
    QCOMPARE(lines[4], QStringLiteral("Total: 4  Done: 4  Success: 2  Error: 2"));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("blue.bmp"), QStringLiteral("red.bmp")}));
    QCOMPARE(QImage(out.filePath(QStringLiteral("red.bmp"))).pixel(10, 10), qRgb(255, 0, 0));
    QVERIFY(!QFile::exists(QDir(out.path()).absoluteFilePath(QStringLiteral("../escape.bmp"))));
}

void TestBatchCli::hostilePagesEndAsErrors()
{
    // A script that stops answering once loaded and a renderer crash: each an Error with its
    // reason after one retry on a fresh renderer, and the page after each gets its own picture.
    QTemporaryDir out;
    const QString list =
        WriteList("red|" + m_server.Url("/red") + "\n" + "spin|" + m_server.Url("/spin") + "\n" + "blue|" +
                  m_server.Url("/blue") + "\n" + "crash|chrome://crash\n" + "red2|" + m_server.Url("/red") + "\n");
    const int spins = m_server.RequestCount("/spin");
    const Run run = Batch({QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--image"),
                           QStringLiteral("bmp"), QStringLiteral("--timeout"), QStringLiteral("8"),
                           QStringLiteral("--out"), out.path(), list});
    QCOMPARE(run.exitCode, 1);
    const QStringList lines = ReportLines(run.out);
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QStringLiteral("1 red Success"));
    QCOMPARE(lines[1], QStringLiteral("2 spin Error: the page's script does not respond (2 attempts)"));
    QCOMPARE(lines[2], QStringLiteral("3 blue Success"));
    QVERIFY2(lines[3].startsWith(QLatin1String("4 crash Error: the page's render process crashed")),
             qPrintable(lines[3]));
    QVERIFY2(lines[3].endsWith(QLatin1String("(2 attempts)")), qPrintable(lines[3]));
    QCOMPARE(lines[4], QStringLiteral("5 red2 Success"));
    QCOMPARE(m_server.RequestCount("/spin"), spins + 2);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("blue.bmp"), QStringLiteral("red.bmp"), QStringLiteral("red2.bmp")}));
    QCOMPARE(QImage(out.filePath(QStringLiteral("blue.bmp"))).pixel(100, 75), qRgb(0, 0, 255));
    QCOMPARE(QImage(out.filePath(QStringLiteral("red2.bmp"))).pixel(100, 75), qRgb(255, 0, 0));
}

void TestBatchCli::parallelRunMatchesOneAtATime()
{
    // Pages of different colours answered after different delays, so that in parallel they
    // finish out of list order; every file must still be its own page's, byte for byte.
    QByteArray list;
    QList<QRgb> colours;
    for (int i = 0; i < 12; ++i) {
        const QRgb colour = qRgb((i * 83) % 256, (i * 151) % 256, 255 - i * 20);
        colours << colour;
        const QByteArray path = "/colour" + QByteArray::number(i);
        const QByteArray css = QColor(colour).name().toLatin1();
        m_server.Route(path, {200, "text/html", LocalHttpServer::SolidPage(css), (i * 7 % 5) * 150});
        list += "c" + QByteArray::number(i) + "|" + m_server.Url(path) + "\n";
    }
    const QString listFile = WriteList(list);
    QTemporaryDir one;
    QTemporaryDir many;
    const auto batch = [&](const QString& jobs, const QString& folder) {
        return Batch({QStringLiteral("--jobs"), jobs, QStringLiteral("--list-format"), QStringLiteral("pipe"),
                      QStringLiteral("--image"), QStringLiteral("bmp"), QStringLiteral("--out"), folder, listFile});
    };
    const Run sequential = batch(QStringLiteral("1"), one.path());
    const Run parallel = batch(QStringLiteral("5"), many.path());
    QCOMPARE(sequential.exitCode, 0);
    QCOMPARE(parallel.exitCode, 0);
    QCOMPARE(PrintOrder(sequential.out), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    QCOMPARE(ReportLines(parallel.out), ReportLines(sequential.out));
    QCOMPARE(ReportLines(parallel.out).last(), QStringLiteral("Total: 12  Done: 12  Success: 12  Error: 0"));
    for (int i = 0; i < colours.size(); ++i) {
        const QString name = QStringLiteral("c%1.bmp").arg(i);
        QFile a(one.filePath(name));
        QFile b(many.filePath(name));
        QVERIFY2(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly), qPrintable(name));
        const QByteArray bytes = a.readAll();
        QVERIFY2(bytes == b.readAll(), qPrintable(name));
        QVERIFY2(IsSolid(QImage::fromData(bytes), colours[i]), qPrintable(name));
    }
}

void TestBatchCli::hangingPageHoldsOnlyItsView()
{
    // The first row's script never yields; the other views finish every other row meanwhile.
    m_server.RoutePage("/stuck", "<html><body><script>for(;;){}</script></body></html>");
    QByteArray list = "stuck|" + m_server.Url("/stuck") + "\n";
    for (int i = 0; i < 8; ++i)
        list += (i % 2 ? "blue" : "red") + QByteArray::number(i) + "|" + m_server.Url(i % 2 ? "/blue" : "/red") + "\n";
    QTemporaryDir out;
    QElapsedTimer clock;
    clock.start();
    const Run run = Batch({QStringLiteral("--jobs"), QStringLiteral("3"), QStringLiteral("--timeout"),
                           QStringLiteral("6"), QStringLiteral("--retries"), QStringLiteral("0"),
                           QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--image"),
                           QStringLiteral("bmp"), QStringLiteral("--out"), out.path(), WriteList(list)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(clock.elapsed() < 25000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(PrintOrder(run.out).size(), 9);
    QCOMPARE(PrintOrder(run.out).last(), 1);
    const QStringList lines = ReportLines(run.out);
    QCOMPARE(lines[0], QStringLiteral("1 stuck Error: the page did not load within 6 s"));
    QCOMPARE(lines[9], QStringLiteral("Total: 9  Done: 9  Success: 8  Error: 1"));
    for (int i = 0; i < 8; ++i) {
        const QString name =
            QStringLiteral("%1%2.bmp").arg(i % 2 ? QStringLiteral("blue") : QStringLiteral("red")).arg(i);
        QVERIFY2(IsSolid(QImage(out.filePath(name)), i % 2 ? qRgb(0, 0, 255) : qRgb(255, 0, 0)), qPrintable(name));
    }
    QVERIFY(!QFile::exists(out.filePath(QStringLiteral("stuck.bmp"))));
}

void TestBatchCli::skipsExistingUnlessTold()
{
    QTemporaryDir out;
    const QString list = WriteList(m_server.Url("/red") + "\n");
    const QString id = QString::fromLatin1(MakeJobId(m_server.Url("/red"), 0));
    const QStringList arguments{QStringLiteral("--out"), out.path(), list};

    Run run = Batch(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("1 %1 Success\nTotal: 1  Done: 1  Success: 1  Error: 0\n").arg(id));
    const int requests = m_server.RequestCount("/red");

    run = Batch(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("1 %1 Skipped\nTotal: 1  Done: 1  Success: 0  Error: 0\n").arg(id));
    QCOMPARE(m_server.RequestCount("/red"), requests);

    run = Batch(QStringList{QStringLiteral("--no-skip")} + arguments);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith(QStringLiteral("1 %1 Success\n").arg(id)));
    QCOMPARE(m_server.RequestCount("/red"), requests + 1);
}

void TestBatchCli::idsAndSizes_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QSize>("size");

    const QByteArray url = m_server.Url("/blue");
    QTest::newRow("defaults") << QStringList{} << QString::fromLatin1(MakeJobId(url, 0) + ".jpg") << QSize(200, 150);
    QTest::newRow("url-id-gif") << QStringList{QStringLiteral("--id"), QStringLiteral("url"), QStringLiteral("--image"),
                                               QStringLiteral("gif")}
                                << QString::fromLatin1(UrlToFileId(url) + ".gif") << QSize(200, 150);
    QTest::newRow("aspect-333-gives-249") << QStringList{QStringLiteral("--thumb"), QStringLiteral("333x10")}
                                          << QString::fromLatin1(MakeJobId(url, 0) + ".jpg") << QSize(333, 249);
    QTest::newRow("no-keep-aspect") << QStringList{QStringLiteral("--thumb"), QStringLiteral("120x120"),
                                                   QStringLiteral("--no-keep-aspect"), QStringLiteral("--image"),
                                                   QStringLiteral("bmp")}
                                    << QString::fromLatin1(MakeJobId(url, 0) + ".bmp") << QSize(120, 120);
    QTest::newRow("png") << QStringList{QStringLiteral("--image"), QStringLiteral("png")}
                         << QString::fromLatin1(MakeJobId(url, 0) + ".png") << QSize(200, 150);
    QTest::newRow("browser-follows") << QStringList{QStringLiteral("--browser"), QStringLiteral("400x400")}
                                     << QString::fromLatin1(MakeJobId(url, 0) + ".jpg") << QSize(200, 200);
}

void TestBatchCli::idsAndSizes()
{
    QFETCH(QStringList, options);
    QFETCH(QString, fileName);
    QFETCH(QSize, size);
    QTemporaryDir out;
    const QString list = WriteList(m_server.Url("/blue"));
    const Run run = Batch(options + QStringList{QStringLiteral("--out"), out.path(), list});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{fileName});
    const QImage thumb(out.filePath(fileName));
    QCOMPARE(thumb.size(), size);
    const QRgb centre = thumb.pixel(size.width() / 2, size.height() / 2);
    QVERIFY2(qBlue(centre) > 200 && qRed(centre) < 40 && qGreen(centre) < 40, qPrintable(QString::number(centre, 16)));
}

void TestBatchCli::hostileIdsPrintEscaped_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("list"); // "URL" stands for a page that answers 404
    QTest::addColumn<QString>("printed"); // the row's line; "PORT" stands for the server's port

    const QStringList pipe{QStringLiteral("--list-format"), QStringLiteral("pipe")};
    QTest::newRow("osc-retitles-terminal")
        << pipe << QByteArray("\x1b]0;owned\x07|URL") << QStringLiteral("1 \\x1b]0;owned\\x07 Error: HTTP status 404");
    QTest::newRow("c1-csi-clears-screen") << pipe
                                          << QByteArray("a\xc2\x9b"
                                                        "2J|URL")
                                          << QStringLiteral("1 a\\xc2\\x9b2J Error: HTTP status 404");
    QTest::newRow("not-utf8") << pipe
                              << QByteArray("\xff\x9b"
                                            "31m\xe6\x97|URL")
                              << QStringLiteral("1 \\xff\\x9b31m\\xe6\\x97 Error: HTTP status 404");
    QTest::newRow("overlong-and-surrogate") << pipe << QByteArray("\xc0\xaf\xed\xa0\x80|URL")
                                            << QStringLiteral("1 \\xc0\\xaf\\xed\\xa0\\x80 Error: HTTP status 404");
    QTest::newRow("backslash-looks-like-escape")
        << pipe << QByteArray("a\\x1b|URL") << QStringLiteral("1 a\\\\x1b Error: HTTP status 404");
    QTest::newRow("del-and-tab") << pipe << QByteArray("a\x7f\tb|URL")
                                 << QStringLiteral("1 a\\x7f\\x09b Error: HTTP status 404");
    QTest::newRow("utf8-stays") << pipe << QByteArray("caf\xc3\xa9-\xe6\x97\xa5-\xc2\xa0|URL")
                                << QStringLiteral("1 caf\u00e9-\u65e5-\u00a0 Error: HTTP status 404");
    QTest::newRow("id-from-url") << QStringList{QStringLiteral("--id"), QStringLiteral("url")}
                                 << QByteArray("URL?\x1b[2J\x1b[3J")
                                 << QStringLiteral("1 127_0_0_1:PORTIgone?\\x1b[2j\\x1b[3j Error: HTTP status 404");
}

void TestBatchCli::hostileIdsPrintEscaped()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, list);
    QFETCH(QString, printed);

    QTemporaryDir out;
    const QString path = WriteList(list.replace("URL", m_server.Url("/gone")));
    const Run run = Batch(options + QStringList{QStringLiteral("--retries"), QStringLiteral("0"),
                                                QStringLiteral("--out"), out.path(), path});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, printed.replace(QLatin1String("PORT"), QString::number(m_server.Port())) +
                          QStringLiteral("\nTotal: 1  Done: 1  Success: 0  Error: 1\n"));
}

void TestBatchCli::reasonQuotingHostilePathPrintsEscaped()
{
    // A name too long to write: the reason quotes the path, with the folder's CR and the ID's
    // escape sequence in it.
    QTemporaryDir parent;
    const QString out = parent.filePath(QStringLiteral("o\rut\x1b[8m"));
    QVERIFY(QDir().mkdir(out));
    const QByteArray id = "\x1b[8m" + QByteArray(300, 'x');
    const Run run = Batch({QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--out"), out,
                           WriteList(id + "|" + m_server.Url("/red"))});
    QCOMPARE(run.exitCode, 1);
    const QString shownId = QStringLiteral("\\x1b[8m") + QString(300, QLatin1Char('x'));
    const QString line = run.out.section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(line.startsWith(QStringLiteral("1 %1 Error: ").arg(shownId)), qPrintable(line));
    QVERIFY2(line.contains(QStringLiteral("%1/o\\x0dut\\x1b[8m/%2.jpg").arg(parent.path(), shownId)), qPrintable(line));
    QVERIFY(!run.out.contains(QLatin1Char('\x1b')));
    QVERIFY(!run.out.contains(QLatin1Char('\r')));
}

void TestBatchCli::imageFormatsAgree()
{
    // BMP holds the downscaler's pixels as they are: PNG must equal it, WebP come close.
    m_server.RoutePage("/detailed", "<html><body style='margin:0;height:600px;background:linear-gradient(90deg,#f00,"
                                    "#0f0,#00f)'><h1 style='font:bold 90px sans-serif;color:#fff;margin:0'>Thumbrix "
                                    "thumbnails</h1></body></html>");
    const QString list = WriteList("page|" + m_server.Url("/detailed") + "\n");
    QTemporaryDir out;
    for (const char* format : {"bmp", "png", "webp"}) {
        const Run run = Batch({QStringLiteral("--image"), QLatin1String(format), QStringLiteral("--list-format"),
                               QStringLiteral("pipe"), QStringLiteral("--out"), out.path(), list});
        QCOMPARE(run.exitCode, 0);
    }
    const QImage bmp = QImage(out.filePath(QStringLiteral("page.bmp"))).convertToFormat(QImage::Format_RGB888);
    const QImage png = QImage(out.filePath(QStringLiteral("page.png"))).convertToFormat(QImage::Format_RGB888);
    QCOMPARE(bmp.size(), QSize(200, 150));
    QCOMPARE(png, bmp);

    const QByteArray webp = ReadFile(out.filePath(QStringLiteral("page.webp")));
    int width = 0;
    int height = 0;
    std::unique_ptr<uint8_t, decltype(&WebPFree)> rgb(
        WebPDecodeRGB(reinterpret_cast<const uint8_t*>(webp.constData()), size_t(webp.size()), &width, &height),
        &WebPFree);
    QVERIFY(rgb);
    QCOMPARE(QSize(width, height), bmp.size());
    qint64 difference = 0;
    for (int y = 0; y < height; ++y) {
        const uchar* line = bmp.constScanLine(y);
        for (int x = 0; x < width * 3; ++x)
            difference += qAbs(int(line[x]) - int(rgb.get()[y * width * 3 + x]));
    }
    const double mean = double(difference) / (width * height * 3);
    QVERIFY2(mean < 3.0, qPrintable(QString::number(mean)));
}

void TestBatchCli::listThatIsNotAFile_data()
{
    QTest::addColumn<QString>("list"); // in the test folder unless absolute
    QTest::addColumn<QString>("reason");

    QTest::newRow("fifo") << QStringLiteral("fifo") << QStringLiteral("it is a named pipe (FIFO), not a regular file");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("it is a folder, not a file");
    QTest::newRow("dev-zero") << QStringLiteral("/dev/zero") << QStringLiteral("it is a device, not a regular file");
}

void TestBatchCli::listThatIsNotAFile()
{
    QFETCH(QString, list);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString path = list.startsWith(QLatin1Char('/')) ? list : dir.filePath(list);

    const TFifoRescue rescue(fifo);
    QElapsedTimer clock;
    clock.start();
    const Run run = Batch({QStringLiteral("--out"), dir.path(), path});
    QVERIFY2(clock.elapsed() < 2500, "the batch waited for its list");
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    QVERIFY2(run.err.contains(path), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestBatchCli::stopSignalEndsTheRunCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("name");

    QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << QStringLiteral("SIGTERM");
    QTest::newRow("SIGINT") << int(SIGINT) << 130 << QStringLiteral("SIGINT");
}

void TestBatchCli::stopSignalEndsTheRunCleanly()
{
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);
    QFETCH(QString, name);

    // The second page is never answered, so the signal finds the batch waiting on it.
    m_server.Route("/never", LocalHttpServer::Reply(200, "text/html", {}, 0, LocalHttpServer::Ending::Silence));
    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString list = WriteList("red|" + m_server.Url("/red") + "\nslow|" + m_server.Url("/never") + "\n");
    const int waiting = m_server.RequestCount("/never");
    QProcess process;
    process.start(QStringLiteral(THUMBRIX_BATCH_BIN),
                  {QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--out"), out.path(), list});
    QVERIFY(process.waitForStarted(10000));
    // Views work side by side: wait until the first row is written as well.
    QTRY_VERIFY_WITH_TIMEOUT(
        m_server.RequestCount("/never") > waiting && QFile::exists(out.filePath(QStringLiteral("red.jpg"))), 60000);

    QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
    QVERIFY(QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QStringLiteral("1 red Success\n"));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("stopped by ") + name), qPrintable(err));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("red.jpg")});
}

void TestBatchCli::resultsRecordEveryRow()
{
    m_server.Route("/moved", {302, "text/html", {}, 0, LocalHttpServer::Ending::Normal, "Location: /blue\r\n"});
    QTemporaryDir out;
    const QString results = m_dir.filePath(QStringLiteral("results%1.jsonl").arg(++m_lists));
    const QString list = WriteList("red|" + m_server.Url("/red") + "\n" + "gone|" + m_server.Url("/gone") + "\n" +
                                   "moved|" + m_server.Url("/moved") + "\n" + "caf\xe9|" + m_server.Url("/red") + "\n" +
                                   "../escape|" + m_server.Url("/red") + "\n");
    const QStringList arguments{QStringLiteral("--results"),
                                results,
                                QStringLiteral("--list-format"),
                                QStringLiteral("pipe"),
                                QStringLiteral("--image"),
                                QStringLiteral("bmp"),
                                QStringLiteral("--out"),
                                out.path(),
                                list};
    QCOMPARE(Batch(arguments).exitCode, 1);

    QList<QJsonObject> rows = JsonLines(ReadFile(results));
    QCOMPARE(rows.size(), 5);
    std::sort(rows.begin(), rows.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value(QLatin1String("number")).toInt() < b.value(QLatin1String("number")).toInt();
    });
    const auto field = [&rows](int row, const char* key) { return rows[row].value(QLatin1String(key)); };
    const QString red = out.filePath(QStringLiteral("red.bmp"));
    QCOMPARE(field(0, "status").toString(), QStringLiteral("Success"));
    QCOMPARE(field(0, "file").toString(), red);
    QCOMPARE(field(0, "bytes").toInteger(), QFileInfo(red).size());
    QCOMPARE(field(0, "width").toInt(), 200);
    QCOMPARE(field(0, "height").toInt(), 150);
    QCOMPARE(field(0, "http_status").toInt(), 200);
    QCOMPARE(field(0, "final_url").toString(), QString::fromLatin1(m_server.Url("/red")));
    QCOMPARE(field(0, "attempts").toInt(), 1);
    QVERIFY(field(0, "ms").toInt() > 0);

    QCOMPARE(field(1, "status").toString(), QStringLiteral("Error"));
    QCOMPARE(field(1, "reason").toString(), QStringLiteral("HTTP status 404"));
    QCOMPARE(field(1, "http_status").toInt(), 404);
    QVERIFY(field(1, "file").isNull());
    QVERIFY(field(1, "bytes").isNull());

    QCOMPARE(field(2, "url").toString(), QString::fromLatin1(m_server.Url("/moved")));
    QCOMPARE(field(2, "final_url").toString(), QString::fromLatin1(m_server.Url("/blue")));

    // An ID that is not UTF-8 keeps its bytes in hexadecimal, and so does the file it names.
    QVERIFY(field(3, "id").isNull());
    QCOMPARE(field(3, "id_hex").toString(), QStringLiteral("636166e9"));
    QVERIFY(field(3, "file").isNull());
    QCOMPARE(QByteArray::fromHex(field(3, "file_hex").toString().toLatin1()),
             QFile::encodeName(out.path()) + "/caf\xe9.bmp");

    QCOMPARE(field(4, "status").toString(), QStringLiteral("Error"));
    QCOMPARE(field(4, "attempts").toInt(), 0);

    // A second run appends: the captured rows are skipped, the failed ones tried again.
    QCOMPARE(Batch(arguments).exitCode, 1);
    rows = JsonLines(ReadFile(results));
    QCOMPARE(rows.size(), 10);
    QStringList second;
    for (int i = 5; i < 10; ++i)
        second << QStringLiteral("%1 %2")
                      .arg(rows[i].value(QLatin1String("number")).toInt())
                      .arg(rows[i].value(QLatin1String("status")).toString());
    second.sort();
    QCOMPARE(second, (QStringList{QStringLiteral("1 Skipped"), QStringLiteral("2 Error"), QStringLiteral("3 Skipped"),
                                  QStringLiteral("4 Skipped"), QStringLiteral("5 Error")}));
}

void TestBatchCli::resultsToStandardOutput()
{
    QTemporaryDir out;
    const QString list = WriteList("red|" + m_server.Url("/red") + "\ngone|" + m_server.Url("/gone") + "\n");
    const Run run = Batch({QStringLiteral("--results"), QStringLiteral("-"), QStringLiteral("--list-format"),
                           QStringLiteral("pipe"), QStringLiteral("--out"), out.path(), list});
    QCOMPARE(run.exitCode, 1);
    const QList<QJsonObject> rows = JsonLines(run.out.toUtf8());
    QCOMPARE(rows.size(), 2);
    QCOMPARE(run.out.count(QLatin1Char('\n')), 2);
    QVERIFY2(run.err.contains(QLatin1String("1 red Success\n")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("2 gone Error: HTTP status 404\n")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("Total: 2  Done: 2  Success: 1  Error: 1")), qPrintable(run.err));
}

void TestBatchCli::listOnStandardInput()
{
    QTemporaryDir out;
    const Run run = Batch({QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--out"), out.path(),
                           QStringLiteral("-")},
                          "red|" + m_server.Url("/red") + "\r\nblue|" + m_server.Url("/blue") + "\r\n");
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(ReportLines(run.out), (QStringList{QStringLiteral("1 red Success"), QStringLiteral("2 blue Success"),
                                                QStringLiteral("Total: 2  Done: 2  Success: 2  Error: 0")}));
    QVERIFY(IsSolid(QImage(out.filePath(QStringLiteral("blue.jpg"))), qRgb(0, 0, 255), 8));
}

void TestBatchCli::sixWorkersShareOneList()
{
    // Six workers over one list and one folder. Worker 3 is stopped while two of its rows
    // hang, then run again: it must pick up only what it had not finished.
    constexpr int kRows = 24;
    constexpr int kWorkers = 6;
    QByteArray list;
    QList<QRgb> colours;
    for (int n = 1; n <= kRows; ++n) {
        const QRgb colour = qRgb((n * 97) % 256, (n * 41) % 256, (n * 13) % 256);
        colours << colour;
        const QByteArray path = "/worker-row" + QByteArray::number(n);
        const QByteArray page = LocalHttpServer::SolidPage(QColor(colour).name().toLatin1());
        if (n == 15 || n == 21)
            m_server.RouteSequence(path, {{200, "text/html", page, 60000}, {200, "text/html", page, 0}});
        else
            m_server.Route(path, {200, "text/html", page, 200});
        list += "row" + QByteArray::number(n) + "|" + m_server.Url(path) + "\n";
    }
    const QString listFile = WriteList(list);
    QTemporaryDir out;
    QTemporaryDir records;
    const auto results = [&records](int worker) { return records.filePath(QStringLiteral("w%1.jsonl").arg(worker)); };
    const auto arguments = [&](int worker) {
        return QStringList{QStringLiteral("--shard"),
                           QStringLiteral("%1/%2").arg(worker).arg(kWorkers),
                           QStringLiteral("--jobs"),
                           QStringLiteral("2"),
                           QStringLiteral("--results"),
                           results(worker),
                           QStringLiteral("--list-format"),
                           QStringLiteral("pipe"),
                           QStringLiteral("--image"),
                           QStringLiteral("bmp"),
                           QStringLiteral("--out"),
                           out.path(),
                           listFile};
    };
    std::vector<std::unique_ptr<QProcess>> workers;
    for (int worker = 1; worker <= kWorkers; ++worker) {
        workers.push_back(std::make_unique<QProcess>());
        workers.back()->start(QStringLiteral(THUMBRIX_BATCH_BIN), arguments(worker));
        QVERIFY(workers.back()->waitForStarted(10000));
    }
    const auto ended = [](QProcess& p) { return p.state() == QProcess::NotRunning; };

    QProcess& third = *workers[2];
    QTRY_VERIFY_WITH_TIMEOUT(JsonLines(ReadFile(results(3))).size() == 2 &&
                                 m_server.RequestCount("/worker-row15") == 1 &&
                                 m_server.RequestCount("/worker-row21") == 1,
                             60000);
    QCOMPARE(::kill(pid_t(third.processId()), SIGTERM), 0);
    QVERIFY(QTest::qWaitFor([&] { return ended(third); }, 30000));
    QCOMPARE(third.exitCode(), 143);
    third.start(QStringLiteral(THUMBRIX_BATCH_BIN), arguments(3));
    QVERIFY(third.waitForStarted(10000));
    QVERIFY(QTest::qWaitFor(
        [&] { return std::all_of(workers.begin(), workers.end(), [&](auto& p) { return ended(*p); }); }, 120000));
    for (const auto& worker : workers)
        QCOMPARE(worker->exitCode(), 0);

    QHash<int, int> captured;
    for (int worker = 1; worker <= kWorkers; ++worker) {
        for (const QJsonObject& row : JsonLines(ReadFile(results(worker)))) {
            const int number = row.value(QLatin1String("number")).toInt();
            QCOMPARE((number - 1) % kWorkers + 1, worker);
            if (row.value(QLatin1String("status")).toString() == QLatin1String("Success")) ++captured[number];
        }
    }
    QStringList expected;
    for (int n = 1; n <= kRows; ++n) {
        QVERIFY2(captured.value(n) == 1,
                 qPrintable(QStringLiteral("row %1 captured %2 times").arg(n).arg(captured.value(n))));
        expected << QStringLiteral("row%1.bmp").arg(n);
        QVERIFY2(IsSolid(QImage(out.filePath(expected.last())), colours[n - 1]), qPrintable(expected.last()));
    }
    expected.sort();
    QStringList present =
        QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot);
    present.sort();
    QCOMPARE(present, expected);
    QCOMPARE(m_server.RequestCount("/worker-row15"), 2);
    QCOMPARE(m_server.RequestCount("/worker-row3"), 1);
}

void TestBatchCli::galleryShowsTheRun()
{
    QTemporaryDir out;
    const QString gallery = m_dir.filePath(QStringLiteral("gallery%1.html").arg(++m_lists));
    const QString list = WriteList("red|" + m_server.Url("/red") + "\n" + "gone|" +
                                   m_server.Url("/gone?<script>alert(1)</script>") + "\n");
    const Run run = Batch({QStringLiteral("--gallery"), gallery, QStringLiteral("--list-format"),
                           QStringLiteral("pipe"), QStringLiteral("--out"), out.path(), list});
    QCOMPARE(run.exitCode, 1);
    const QByteArray page = ReadFile(gallery);
    QVERIFY(page.startsWith("<!DOCTYPE html>"));
    QVERIFY(!page.contains("<script"));
    QVERIFY(page.contains("&lt;script&gt;"));
    // The failure comes first; the thumbnail is found from the gallery's own folder.
    const qsizetype gone = page.indexOf("HTTP status 404");
    const qsizetype red =
        page.indexOf(QFileInfo(gallery).dir().relativeFilePath(out.filePath(QStringLiteral("red.jpg"))).toUtf8());
    QVERIFY(gone > 0);
    QVERIFY2(red > gone, page.constData());
    QVERIFY(QDir(out.path()).entryList(QDir::Files) == QStringList{QStringLiteral("red.jpg")});
}

QTEST_MAIN(TestBatchCli)
#include "TestBatchCli.moc"
