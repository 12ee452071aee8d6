// Consent banners stay out of thumbnails: each banner page's thumbnail matches its twin
// without the banner, the results say how the banner went, and with --keep-consent the
// banner shows (so the check is not one that passes anyway). Banners at load are hidden
// without settling too. Pages without a banner, the twins, pages whose content comes close
// to a banner, and real manuals with cookies and privacy in their text, come out exactly as
// they do with consent hiding off. Thumbnails are the viewport's size, so that every pixel
// counts.

#include "ImageCompare.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cmath>

namespace {

constexpr double kSameDb = 35.0;
constexpr char kSite[] = THUMBRIX_TEST_SOURCE "/consent/site.py";
constexpr char kLibraries[] = THUMBRIX_TEST_SOURCE "/consent/node_modules";

struct Banner
{
    const char* name;
    const char* consent; // with the rules engine beside the program
    bool markup;         // in the page's markup, on screen at the load event
};

// The platforms' markup is static: the engine clicks "reject", nothing answers, and what is
// left on screen is ours to hide. The libraries answer the click themselves; they draw their
// banners from script, some only after the load event.
const Banner kBanners[] = {
    {"onetrust", "hidden", true},
    {"onetrust-inline", "hidden", true},
    {"didomi", "hidden", true},
    {"quantcast", "hidden", true},
    {"own-de", "hidden", true},
    {"own-fr", "hidden", true},
    {"own-nl", "hidden", true},
    {"own-es", "hidden", true},
    {"vanilla-cookieconsent", "opted-out", false},
    {"klaro", "opted-out", false},
    {"tarteaucitron", "opted-out", false},
};

// Pages of the fixture site without a banner: a plain one that shows whether the rules engine
// came into it, and those whose own content comes close to a banner.
const char* const kContent[] = {"plain",          "sticky-nav",    "newsletter",
                                "chat",           "app-shell",     "privacy-settings",
                                "headers-sticky", "headers-fixed", "settings-aside"};

// Pages of Debian's python3.11-doc and git-doc: indexes, long pages, and pages that speak of
// cookies and privacy.
const char* const kManuals[] = {
    "/usr/share/doc/python3.11/html/index.html",
    "/usr/share/doc/python3.11/html/contents.html",
    "/usr/share/doc/python3.11/html/glossary.html",
    "/usr/share/doc/python3.11/html/license.html",
    "/usr/share/doc/python3.11/html/library/index.html",
    "/usr/share/doc/python3.11/html/library/http.cookies.html",
    "/usr/share/doc/python3.11/html/library/http.cookiejar.html",
    "/usr/share/doc/python3.11/html/library/urllib.request.html",
    "/usr/share/doc/python3.11/html/library/ssl.html",
    "/usr/share/doc/python3.11/html/library/uuid.html",
    "/usr/share/doc/python3.11/html/library/functions.html",
    "/usr/share/doc/python3.11/html/library/stdtypes.html",
    "/usr/share/doc/python3.11/html/tutorial/index.html",
    "/usr/share/doc/python3.11/html/whatsnew/3.11.html",
    "/usr/share/doc/git/html/index.html",
    "/usr/share/doc/git/html/git.html",
    "/usr/share/doc/git/html/git-config.html",
    "/usr/share/doc/git/html/gitweb.conf.html",
    "/usr/share/doc/git/html/gitprotocol-http.html",
    "/usr/share/doc/git/html/git-commit.html",
    "/usr/share/doc/git/html/user-manual.html",
};

QString ManualId(const char* path)
{
    QString id = QString::fromLatin1(path).section(QLatin1String("/doc/"), 1);
    return QStringLiteral("manual-") + id.replace(QLatin1Char('/'), QLatin1Char('-'));
}

} // namespace

class TestConsentBanners : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void bannerIsHidden_data();
    void bannerIsHidden();
    void pageWithoutBannerIsUntouched_data();
    void pageWithoutBannerIsUntouched();
    void ownCheckWorksWithoutRulesEngine_data();
    void ownCheckWorksWithoutRulesEngine();
    void bannerIsHiddenWithoutSettling_data();
    void bannerIsHiddenWithoutSettling();
    void answerDoesNotCarryOver();

private:
    bool Batch(const QString& program, const QString& out, const QStringList& rows, const QStringList& extra,
               QByteArray* err = nullptr);

    QProcess m_site;
    QString m_base;
    QTemporaryDir m_dir;
    QHash<QString, QJsonObject> m_results;      // by ID, with consent hiding on
    QHash<QString, QJsonObject> m_bareResults;  // by ID, a copy of the program without the rules engine
    QHash<QString, QJsonObject> m_quickResults; // by ID, with --no-settle in one view
    QByteArray m_bareErr;
};

namespace {

// Banners our own check finds by itself, with the rules engine missing.
const char* const kOwnCheck[] = {"onetrust", "own-de", "own-fr", "own-nl", "own-es"};

QHash<QString, QJsonObject> ReadResults(const QString& path)
{
    QHash<QString, QJsonObject> results;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return results;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject row = QJsonDocument::fromJson(line).object();
        if (!row.isEmpty()) results.insert(row.value(QLatin1String("id")).toString(), row);
    }
    return results;
}

} // namespace

void TestConsentBanners::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QDir programs = QFileInfo(QStringLiteral(THUMBRIX_BATCH_BIN)).dir();
    QVERIFY2(programs.exists(QStringLiteral("autoconsent/autoconsent.standalone.js")),
             "autoconsent is not beside thumbrix-batch: run scripts/install-deps.sh and build again");
    QVERIFY2(QFileInfo::exists(QLatin1String(kLibraries)),
             "the consent libraries are missing: run scripts/install-deps.sh");
    for (const char* manual : kManuals)
        QVERIFY2(QFileInfo::exists(QLatin1String(manual)),
                 "install python3.11-doc and git-doc (scripts/install-deps.sh)");

    m_site.setProgram(QStringLiteral("python3"));
    m_site.setArguments({QLatin1String(kSite)});
    m_site.start();
    QVERIFY(m_site.waitForStarted(10000));
    QVERIFY(m_site.waitForReadyRead(10000));
    const int port = m_site.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    m_base = QStringLiteral("http://127.0.0.1:%1/").arg(port);

    // One run with consent hiding on and one with it off, over every page; one of a copy of
    // the program with no rules engine beside it, over the banners our own check finds.
    QStringList all;
    QStringList bare;
    for (const Banner& banner : kBanners) {
        const QString name = QLatin1String(banner.name);
        for (const char* kind : {"banner", "late"})
            all << QStringLiteral("%1-%2|%3%1/%2.html").arg(QLatin1String(kind), name, m_base);
        all << QStringLiteral("twin-%1|%2twin/%1.html").arg(name, m_base);
    }
    for (const char* name : kContent)
        all << QStringLiteral("content-%1|%2content/%1.html").arg(QLatin1String(name), m_base);
    for (const char* name : kOwnCheck)
        for (const char* kind : {"banner", "late"})
            bare << QStringLiteral("%1-%2|%3%1/%2.html").arg(QLatin1String(kind), QLatin1String(name), m_base);
    for (const char* manual : kManuals)
        all << ManualId(manual) + QLatin1Char('|') + QUrl::fromLocalFile(QLatin1String(manual)).toString();
    // Without settling, in one view: every banner in its page's markup, then a page whose
    // script stops answering while its banner is still being dealt with, right after a banner
    // was hidden.
    QStringList quick;
    for (const Banner& banner : kBanners)
        if (banner.markup)
            quick << QStringLiteral("banner-%1|%2banner/%1.html").arg(QLatin1String(banner.name), m_base);
    quick << QStringLiteral("before-blocked|%1banner/own-de.html").arg(m_base)
          << QStringLiteral("blocked|%1blocked/own-de.html").arg(m_base);

    const QDir dir(m_dir.path());
    QVERIFY(dir.mkpath(QStringLiteral("on")) && dir.mkpath(QStringLiteral("off")) &&
            dir.mkpath(QStringLiteral("bare")) && dir.mkpath(QStringLiteral("quick")));
    const QString batch = QStringLiteral(THUMBRIX_BATCH_BIN);
    const QString copy = m_dir.filePath(QStringLiteral("thumbrix-batch"));
    QVERIFY(QFile::copy(batch, copy));
    const QString results = m_dir.filePath(QStringLiteral("on.jsonl"));
    const QString bareResults = m_dir.filePath(QStringLiteral("bare.jsonl"));
    QVERIFY(Batch(batch, m_dir.filePath(QStringLiteral("on")), all, {QStringLiteral("--results"), results}));
    QVERIFY(Batch(batch, m_dir.filePath(QStringLiteral("off")), all, {QStringLiteral("--keep-consent")}));
    QVERIFY(Batch(copy, m_dir.filePath(QStringLiteral("bare")), bare, {QStringLiteral("--results"), bareResults},
                  &m_bareErr));
    const QString quickResults = m_dir.filePath(QStringLiteral("quick.jsonl"));
    QVERIFY(Batch(batch, m_dir.filePath(QStringLiteral("quick")), quick,
                  {QStringLiteral("--no-settle"), QStringLiteral("--jobs"), QStringLiteral("1"),
                   QStringLiteral("--results"), quickResults}));
    m_results = ReadResults(results);
    m_bareResults = ReadResults(bareResults);
    m_quickResults = ReadResults(quickResults);
    QCOMPARE(m_results.size(), all.size());
    QCOMPARE(m_bareResults.size(), bare.size());
    QCOMPARE(m_quickResults.size(), quick.size());
}

void TestConsentBanners::cleanupTestCase()
{
    m_site.kill();
    m_site.waitForFinished(5000);
}

bool TestConsentBanners::Batch(const QString& program, const QString& out, const QStringList& rows,
                               const QStringList& extra, QByteArray* err)
{
    QProcess batch;
    batch.start(program, QStringList{QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--image"),
                                     QStringLiteral("png"), QStringLiteral("--thumb"), QStringLiteral("800x600"),
                                     QStringLiteral("--jobs"), QStringLiteral("4"), QStringLiteral("--out"), out} +
                             extra + QStringList{QStringLiteral("-")});
    if (!batch.waitForStarted(10000)) return false;
    batch.write(rows.join(QLatin1Char('\n')).toUtf8() + '\n');
    batch.closeWriteChannel();
    if (!batch.waitForFinished(120000)) return false;
    const QByteArray errors = batch.readAllStandardError();
    if (err)
        *err = errors;
    else if (!errors.isEmpty())
        qWarning("thumbrix-batch: %s", errors.constData());
    return batch.exitStatus() == QProcess::NormalExit && batch.exitCode() == 0;
}

void TestConsentBanners::bannerIsHidden_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("consent");
    for (const Banner& banner : kBanners) {
        for (const char* kind : {"banner", "late"}) {
            const QByteArray row = QByteArray(banner.name) + (qstrcmp(kind, "late") == 0 ? "-after-load" : "-at-load");
            QTest::newRow(row.constData())
                << QString::fromLatin1(banner.name) << QString::fromLatin1(kind) << QString::fromLatin1(banner.consent);
        }
    }
}

void TestConsentBanners::bannerIsHidden()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, consent);
    const QString id = kind + QLatin1Char('-') + name;
    const QImage twin(m_dir.filePath(QStringLiteral("on/twin-%1.png").arg(name)));
    const QImage hidden(m_dir.filePath(QStringLiteral("on/%1.png").arg(id)));
    const QImage kept(m_dir.filePath(QStringLiteral("off/%1.png").arg(id)));
    QVERIFY(!twin.isNull());

    const double hiddenDb = Psnr(hidden, twin);
    const double keptDb = Psnr(kept, twin);
    qInfo("%s: %.1f dB hidden, %.1f dB kept, consent %s", qPrintable(id), hiddenDb, keptDb,
          qPrintable(m_results.value(id).value(QLatin1String("consent")).toString(QStringLiteral("null"))));
    QVERIFY2(keptDb < kSameDb, "the banner does not show with --keep-consent: the page tests nothing");
    QVERIFY2(hiddenDb >= kSameDb, qPrintable(QStringLiteral("%1 dB against the twin").arg(hiddenDb)));
    QCOMPARE(m_results.value(id).value(QLatin1String("consent")).toString(), consent);
}

void TestConsentBanners::pageWithoutBannerIsUntouched_data()
{
    QTest::addColumn<QString>("id");
    for (const Banner& banner : kBanners) {
        const QString id = QStringLiteral("twin-") + QLatin1String(banner.name);
        QTest::newRow(qPrintable(id)) << id;
    }
    for (const char* name : kContent) {
        const QString id = QStringLiteral("content-") + QLatin1String(name);
        QTest::newRow(qPrintable(id)) << id;
    }
    for (const char* manual : kManuals) {
        const QString id = ManualId(manual);
        QTest::newRow(qPrintable(id)) << id;
    }
}

void TestConsentBanners::pageWithoutBannerIsUntouched()
{
    QFETCH(QString, id);
    const QString on = m_dir.filePath(QStringLiteral("on/%1.png").arg(id));
    const QString off = m_dir.filePath(QStringLiteral("off/%1.png").arg(id));
    QFile a(on);
    QFile b(off);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray onBytes = a.readAll();
    QVERIFY(!onBytes.isEmpty());
    QCOMPARE(m_results.value(id).value(QLatin1String("consent")), QJsonValue(QJsonValue::Null));
    if (onBytes == b.readAll()) return;
    QFAIL(qPrintable(
        QStringLiteral("differs from the thumbnail with --keep-consent (%1 dB)").arg(Psnr(QImage(on), QImage(off)))));
}

void TestConsentBanners::ownCheckWorksWithoutRulesEngine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    for (const char* name : kOwnCheck) {
        QTest::newRow(qPrintable(QStringLiteral("%1-at-load").arg(QLatin1String(name))))
            << QString::fromLatin1(name) << QStringLiteral("banner");
        QTest::newRow(qPrintable(QStringLiteral("%1-after-load").arg(QLatin1String(name))))
            << QString::fromLatin1(name) << QStringLiteral("late");
    }
}

void TestConsentBanners::ownCheckWorksWithoutRulesEngine()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    // Said once for the run, not once a page.
    QCOMPARE(m_bareErr.count("autoconsent.standalone.js is missing"), 1);
    const QString id = kind + QLatin1Char('-') + name;
    const QImage twin(m_dir.filePath(QStringLiteral("on/twin-%1.png").arg(name)));
    const double db = Psnr(QImage(m_dir.filePath(QStringLiteral("bare/%1.png").arg(id))), twin);
    QVERIFY2(db >= kSameDb, qPrintable(QStringLiteral("%1 dB against the twin").arg(db)));
    QCOMPARE(m_bareResults.value(id).value(QLatin1String("consent")).toString(), QStringLiteral("hidden"));
}

void TestConsentBanners::bannerIsHiddenWithoutSettling_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("consent");
    for (const Banner& banner : kBanners)
        if (banner.markup)
            QTest::newRow(banner.name) << QString::fromLatin1(banner.name) << QString::fromLatin1(banner.consent);
}

void TestConsentBanners::bannerIsHiddenWithoutSettling()
{
    QFETCH(QString, name);
    QFETCH(QString, consent);
    const QString id = QStringLiteral("banner-") + name;
    const QImage twin(m_dir.filePath(QStringLiteral("on/twin-%1.png").arg(name)));
    const double db = Psnr(QImage(m_dir.filePath(QStringLiteral("quick/%1.png").arg(id))), twin);
    qInfo("%s: %.1f dB without settling", qPrintable(id), db);
    QVERIFY2(db >= kSameDb, qPrintable(QStringLiteral("%1 dB against the twin").arg(db)));
    QCOMPARE(m_quickResults.value(id).value(QLatin1String("consent")).toString(), consent);
}

void TestConsentBanners::answerDoesNotCarryOver()
{
    // The row before hid its banner; this page stopped answering before its own banner was
    // dealt with, so nothing was done to it.
    QCOMPARE(m_quickResults.value(QStringLiteral("before-blocked")).value(QLatin1String("consent")).toString(),
             QStringLiteral("hidden"));
    const QJsonObject blocked = m_quickResults.value(QStringLiteral("blocked"));
    QCOMPARE(blocked.value(QLatin1String("status")).toString(), QStringLiteral("Success"));
    QCOMPARE(blocked.value(QLatin1String("consent")), QJsonValue(QJsonValue::Null));
}

QTEST_GUILESS_MAIN(TestConsentBanners)
#include "TestConsentBanners.moc"
