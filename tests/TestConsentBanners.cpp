// Consent banners stay out of thumbnails: each banner page's thumbnail matches its twin
// without the banner, the results say how the banner went, and with --keep-consent the
// banner shows (so the check is not one that passes anyway). Real manuals with cookies and
// privacy in their text come out exactly as they do with consent hiding off.

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

// The PSNR of two pictures of one size over their RGB channels; 0 when the sizes differ.
double Psnr(const QImage& a, const QImage& b)
{
    if (a.isNull() || a.size() != b.size()) return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += double(d) * d;
        }
    }
    const double mse = squares / (double(a.width()) * a.height() * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Banner
{
    const char* name;
    const char* consent; // with the rules engine beside the program
};

// The platforms' markup is static: the engine clicks "reject", nothing answers, and what is
// left on screen is ours to hide. The libraries answer the click themselves.
const Banner kBanners[] = {
    {"onetrust", "hidden"},  {"didomi", "hidden"}, {"quantcast", "hidden"},
    {"own-de", "hidden"},    {"own-fr", "hidden"}, {"vanilla-cookieconsent", "opted-out"},
    {"klaro", "opted-out"},  {"tarteaucitron", "opted-out"},
};

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
    void manualIsUntouched_data();
    void manualIsUntouched();

private:
    bool Batch(const QString& out, const QStringList& rows, const QStringList& extra);

    QProcess m_site;
    QString m_base;
    QTemporaryDir m_dir;
    QHash<QString, QJsonObject> m_results; // by ID, with consent hiding on
};

void TestConsentBanners::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QDir programs = QFileInfo(QStringLiteral(THUMBRIX_BATCH_BIN)).dir();
    QVERIFY2(programs.exists(QStringLiteral("autoconsent/autoconsent.standalone.js")),
             "autoconsent is not beside thumbrix-batch: run scripts/install-deps.sh and build again");
    QVERIFY2(QFileInfo::exists(QLatin1String(kLibraries)), "the consent libraries are missing: run scripts/install-deps.sh");
    for (const char* manual : kManuals)
        QVERIFY2(QFileInfo::exists(QLatin1String(manual)), "install python3.11-doc and git-doc (scripts/install-deps.sh)");

    m_site.setProgram(QStringLiteral("python3"));
    m_site.setArguments({QLatin1String(kSite)});
    m_site.start();
    QVERIFY(m_site.waitForStarted(10000));
    QVERIFY(m_site.waitForReadyRead(10000));
    const int port = m_site.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    m_base = QStringLiteral("http://127.0.0.1:%1/").arg(port);

    // One run with consent hiding on, over every page and twin; one with it off, over the
    // banners and the manuals.
    QStringList on;
    QStringList off;
    for (const Banner& banner : kBanners) {
        const QString name = QLatin1String(banner.name);
        for (const char* kind : {"banner", "late"}) {
            const QString row = QStringLiteral("%1-%2|%3%1/%2.html").arg(QLatin1String(kind), name, m_base);
            on << row;
            off << row;
        }
        on << QStringLiteral("twin-%1|%2twin/%1.html").arg(name, m_base);
    }
    for (const char* manual : kManuals) {
        const QString row = ManualId(manual) + QLatin1Char('|') + QUrl::fromLocalFile(QLatin1String(manual)).toString();
        on << row;
        off << row;
    }
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("on")) && QDir(m_dir.path()).mkpath(QStringLiteral("off")));
    const QString results = m_dir.filePath(QStringLiteral("on.jsonl"));
    QVERIFY(Batch(m_dir.filePath(QStringLiteral("on")), on, {QStringLiteral("--results"), results}));
    QVERIFY(Batch(m_dir.filePath(QStringLiteral("off")), off, {QStringLiteral("--keep-consent")}));

    QFile file(results);
    QVERIFY(file.open(QIODevice::ReadOnly));
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        const QJsonObject row = QJsonDocument::fromJson(line).object();
        m_results.insert(row.value(QLatin1String("id")).toString(), row);
    }
    QCOMPARE(m_results.size(), on.size());
}

void TestConsentBanners::cleanupTestCase()
{
    m_site.kill();
    m_site.waitForFinished(5000);
}

bool TestConsentBanners::Batch(const QString& out, const QStringList& rows, const QStringList& extra)
{
    QProcess batch;
    batch.start(QStringLiteral(THUMBRIX_BATCH_BIN),
                QStringList{QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--image"),
                            QStringLiteral("png"), QStringLiteral("--jobs"), QStringLiteral("4"),
                            QStringLiteral("--out"), out} +
                    extra + QStringList{QStringLiteral("-")});
    if (!batch.waitForStarted(10000)) return false;
    batch.write(rows.join(QLatin1Char('\n')).toUtf8() + '\n');
    batch.closeWriteChannel();
    if (!batch.waitForFinished(120000)) return false;
    const QByteArray err = batch.readAllStandardError();
    if (!err.isEmpty()) qWarning("thumbrix-batch: %s", err.constData());
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
            QTest::newRow(row.constData()) << QString::fromLatin1(banner.name) << QString::fromLatin1(kind)
                                           << QString::fromLatin1(banner.consent);
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
    QCOMPARE(m_results.value(QStringLiteral("twin-") + name).value(QLatin1String("consent")), QJsonValue(QJsonValue::Null));
}

void TestConsentBanners::manualIsUntouched_data()
{
    QTest::addColumn<QString>("id");
    for (const char* manual : kManuals) {
        const QString id = ManualId(manual);
        QTest::newRow(qPrintable(id)) << id;
    }
}

void TestConsentBanners::manualIsUntouched()
{
    QFETCH(QString, id);
    const QString on = m_dir.filePath(QStringLiteral("on/%1.png").arg(id));
    const QString off = m_dir.filePath(QStringLiteral("off/%1.png").arg(id));
    QFile a(on);
    QFile b(off);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray onBytes = a.readAll();
    QVERIFY(!onBytes.isEmpty());
    if (onBytes == b.readAll()) return;
    const double db = Psnr(QImage(on), QImage(off));
    QFAIL(qPrintable(QStringLiteral("differs from the thumbnail with --keep-consent (%1 dB), consent %2")
                         .arg(db)
                         .arg(m_results.value(id).value(QLatin1String("consent")).toString())));
}

QTEST_GUILESS_MAIN(TestConsentBanners)
#include "TestConsentBanners.moc"
