// Pages that go on changing after their load event (tests/settle/site.py), captured by
// thumbrix-batch: once settled, each dynamic page must look like its static twin.

#include "ImageCompare.h"

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

#include <cmath>
#include <optional>

namespace {

struct SettleCase
{
    const char* name;
    int boundMs;           // the row's ms may not exceed this
    bool alone = false;    // also captured one page at a time, where nothing else slows its frames
    bool lookDone = false; // it looks settled at load already: only its waiting is under test
};

// Each bound is the page's own waiting (server delays, timers, animations) plus the quiet
// moment, with about 1.5 s to spare for four views sharing two cores. Pages that keep a
// request open, stream events or never stop moving must settle well before the 5 s cap.
const SettleCase kCases[] = {
    {"fetch", 2500},
    {"chain", 2800},
    {"slow", 3500},
    {"skeleton", 2600},
    {"font", 2800},
    {"lazy-image", 2600},
    {"script-image", 2600},
    {"lazy-background", 2600},
    {"fade-in", 2900},
    {"slide-in", 2900},
    {"redirect", 2800},
    {"endless-request", 3500},
    {"event-stream", 3500},
    {"spinner", 3500},
    {"never-still", 3500},
    // Started in the frames right after load; loops that end well before the cap; a loop
    // that builds; a late picture no one sees.
    {"frame-transition", 2700, true},
    {"timer-transition", 2700, true},
    {"jitter-poll", 2600, true, true},
    {"backoff-poll", 2600, true, true},
    {"shadow-build", 2800, true},
    {"image-far-below", 2600, true, true},
};

constexpr double kSameLook = 35.0;
constexpr int kSettleMax = 1500;
// Loading before the settling starts, the paint fence and the capture after it ends.
constexpr int kAroundSettleMs = 1500;

struct Batch
{
    int exitCode = -1;
    QString err;
    QString folder;
    QHash<QString, QJsonObject> rows; // by ID

    QImage Thumb(const QString& id) const
    {
        return QImage(folder + QLatin1Char('/') + id + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
    }
};

QString Twin(const QString& name)
{
    return name + QStringLiteral("-twin");
}

QStringList CaseNames(bool aloneOnly = false)
{
    QStringList names;
    for (const SettleCase& c : kCases)
        if (c.alone || !aloneOnly) names << QString::fromLatin1(c.name);
    return names;
}

// Full-page rows in one view, one after the other, in a low viewport that scrolls in many
// steps: together they scroll for far longer than one page may.
constexpr int kTallRows = 7;
// The tall fixture is 9000 CSS pixels at a width of 800.
constexpr int kTallThumbHeight = 200 * 9000 / 800;

} // namespace

class TestSettledPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void matchesTwinOnceSettled_data();
    void matchesTwinOnceSettled();
    void capturedAsIsAtTheCap_data();
    void capturedAsIsAtTheCap();
    void noSettleCapturesAtLoad_data();
    void noSettleCapturesAtLoad();
    void fullPageKeepsEachHeight();

private:
    void CasesTable(bool alsoAlone);
    bool Run(Batch& batch, const QStringList& names, const QStringList& options);
    bool RunIds(Batch& batch, const QStringList& ids, const QStringList& options);
    QString Url(const QString& id) const;

    QProcess m_site;
    QString m_base;
    QTemporaryDir m_dir;
    int m_runs = 0;
    Batch m_settled;
    std::optional<Batch> m_alone;
    std::optional<Batch> m_capped;
    std::optional<Batch> m_atLoad;
};

void TestSettledPages::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(THUMBRIX_BATCH_BIN)));
    QVERIFY(m_dir.isValid());
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!python.isEmpty(), "python3 is not installed");
    m_site.start(python, {QStringLiteral(THUMBRIX_SETTLE_SITE)});
    QVERIFY(m_site.waitForStarted(10000));
    QVERIFY2(m_site.waitForReadyRead(10000), m_site.readAllStandardError().constData());
    const int port = m_site.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    m_base = QStringLiteral("http://127.0.0.1:%1/").arg(port);

    QVERIFY(Run(m_settled, CaseNames(), {}));
}

void TestSettledPages::cleanupTestCase()
{
    m_site.kill();
    m_site.waitForFinished(5000);
}

QString TestSettledPages::Url(const QString& id) const
{
    if (id.startsWith(QLatin1String("tall-"))) return m_base + QStringLiteral("tall/") + id;
    return id.endsWith(QLatin1String("-twin")) ? m_base + id.chopped(5) + QStringLiteral("/twin")
                                               : m_base + id + QLatin1Char('/');
}

// One thumbrix-batch run over the dynamic page and the twin of every case named, at the
// default jobs (four views on two cores) unless the options say otherwise.
bool TestSettledPages::Run(Batch& batch, const QStringList& names, const QStringList& options)
{
    QStringList ids;
    for (const QString& name : names)
        ids << name << Twin(name);
    return RunIds(batch, ids, options);
}

bool TestSettledPages::RunIds(Batch& batch, const QStringList& ids, const QStringList& options)
{
    const int run = ++m_runs;
    batch.folder = m_dir.filePath(QStringLiteral("out%1").arg(run));
    const QString list = m_dir.filePath(QStringLiteral("list%1.txt").arg(run));
    const QString results = m_dir.filePath(QStringLiteral("results%1.jsonl").arg(run));
    QByteArray lines;
    for (const QString& id : ids)
        lines += (id + QLatin1Char('|') + Url(id) + QLatin1Char('\n')).toUtf8();
    QFile listFile(list);
    if (!QDir().mkpath(batch.folder) || !listFile.open(QIODevice::WriteOnly) || listFile.write(lines) != lines.size())
        return false;
    listFile.close();

    QProcess process;
    process.start(QStringLiteral(THUMBRIX_BATCH_BIN),
                  QStringList{QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--image"),
                              QStringLiteral("png"), QStringLiteral("--results"), results, QStringLiteral("--out"),
                              batch.folder} +
                      options + QStringList{list});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return false;
    batch.exitCode = process.exitCode();
    batch.err = QString::fromUtf8(process.readAllStandardError());

    QFile resultsFile(results);
    if (resultsFile.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : resultsFile.readAll().split('\n')) {
            const QJsonObject row = QJsonDocument::fromJson(line).object();
            if (!row.isEmpty()) batch.rows.insert(row.value(QLatin1String("id")).toString(), row);
        }
    }
    return true;
}

void TestSettledPages::CasesTable(bool alsoAlone)
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("boundMs");
    QTest::addColumn<bool>("alone");
    QTest::addColumn<bool>("lookDone");
    for (const SettleCase& c : kCases)
        QTest::newRow(c.name) << QString::fromLatin1(c.name) << c.boundMs << false << c.lookDone;
    if (!alsoAlone) return;
    for (const SettleCase& c : kCases)
        if (c.alone)
            QTest::addRow("%s/jobs-1", c.name) << QString::fromLatin1(c.name) << c.boundMs << true << c.lookDone;
}

void TestSettledPages::matchesTwinOnceSettled_data()
{
    CasesTable(true);
}

void TestSettledPages::matchesTwinOnceSettled()
{
    QFETCH(QString, name);
    QFETCH(int, boundMs);
    QFETCH(bool, alone);

    if (alone && !m_alone) {
        m_alone.emplace();
        QVERIFY(Run(*m_alone, CaseNames(true), {QStringLiteral("--jobs"), QStringLiteral("1")}));
    }
    const Batch& batch = alone ? *m_alone : m_settled;
    const QImage page = batch.Thumb(name);
    const QImage twin = batch.Thumb(Twin(name));
    QVERIFY2(page.size() == QSize(200, 150) && twin.size() == QSize(200, 150), qPrintable(batch.err));
    const QJsonObject row = batch.rows.value(name);
    const int ms = row.value(QLatin1String("ms")).toInt();
    const double psnr = Psnr(page, twin);
    qInfo("%s: %.1f dB, %d ms", qPrintable(name), psnr, ms);
    QVERIFY2(psnr >= kSameLook, qPrintable(QStringLiteral("%1 dB against its twin").arg(psnr, 0, 'f', 1)));

    QCOMPARE(row.value(QLatin1String("status")).toString(), QStringLiteral("Success"));
    QCOMPARE(row.value(QLatin1String("settled")), QJsonValue(true));
    QVERIFY2(ms <= boundMs, qPrintable(QStringLiteral("%1 ms").arg(ms)));
    const QJsonValue settleMs = row.value(QLatin1String("settle_ms"));
    QVERIFY2(settleMs.isDouble() && settleMs.toDouble() <= ms, QJsonDocument(row).toJson().constData());
    QCOMPARE(row.value(QLatin1String("consent")), QJsonValue(QJsonValue::Null));
}

void TestSettledPages::capturedAsIsAtTheCap_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("settled");
    QTest::newRow("poll-always-in-flight") << QStringLiteral("never-settles-poll") << false;
    QTest::newRow("animation-restarted-forever") << QStringLiteral("never-settles-animation") << false;
    QTest::newRow("loop-building-forever") << QStringLiteral("never-settles-feed") << false;
    QTest::newRow("settles-within-the-cap") << QStringLiteral("fetch") << true;
    QTest::newRow("background-that-cannot-come") << QStringLiteral("broken-background") << true;
}

void TestSettledPages::capturedAsIsAtTheCap()
{
    QFETCH(QString, name);
    QFETCH(bool, settled);

    if (!m_capped) {
        m_capped.emplace();
        QVERIFY(
            Run(*m_capped,
                {QStringLiteral("never-settles-poll"), QStringLiteral("never-settles-animation"),
                 QStringLiteral("never-settles-feed"), QStringLiteral("fetch"), QStringLiteral("broken-background")},
                {QStringLiteral("--settle-max"), QString::number(kSettleMax)}));
    }
    QVERIFY2(m_capped->exitCode == 0, qPrintable(m_capped->err));
    const QJsonObject row = m_capped->rows.value(name);
    QCOMPARE(row.value(QLatin1String("status")).toString(), QStringLiteral("Success"));
    QCOMPARE(row.value(QLatin1String("settled")), QJsonValue(settled));
    const int ms = row.value(QLatin1String("ms")).toInt();
    qInfo("%s: %d ms, settle_ms %g", qPrintable(name), ms, row.value(QLatin1String("settle_ms")).toDouble());
    if (!settled) {
        // An animation that would end past the cap is not waited for: the capture may come
        // up to one of its passes (0.4 s) before the cap.
        const int early = name == QLatin1String("never-settles-animation") ? 400 : 0;
        QVERIFY2(ms >= kSettleMax - early && ms < kSettleMax + kAroundSettleMs,
                 qPrintable(QStringLiteral("%1 ms").arg(ms)));
        QVERIFY2(row.value(QLatin1String("settle_ms")).toDouble() >= kSettleMax - early - 100,
                 QJsonDocument(row).toJson().constData());
    }
    // The page shows its content from the start, so the picture taken at the cap is right too.
    const double psnr = Psnr(m_capped->Thumb(name), m_capped->Thumb(Twin(name)));
    QVERIFY2(psnr >= kSameLook, qPrintable(QStringLiteral("%1 dB against its twin").arg(psnr, 0, 'f', 1)));
}

void TestSettledPages::noSettleCapturesAtLoad_data()
{
    CasesTable(false);
}

// What a capture at load shows: every case really is dynamic, and its twin is not; a
// page whose look is done at load shows it then too.
void TestSettledPages::noSettleCapturesAtLoad()
{
    QFETCH(QString, name);
    QFETCH(bool, lookDone);

    if (!m_atLoad) {
        m_atLoad.emplace();
        QVERIFY(Run(*m_atLoad, CaseNames(), {QStringLiteral("--no-settle")}));
    }
    QVERIFY2(m_atLoad->exitCode == 0, qPrintable(m_atLoad->err));
    const QImage page = m_atLoad->Thumb(name);
    const QImage twin = m_atLoad->Thumb(Twin(name));
    QCOMPARE(page.size(), QSize(200, 150));
    const double psnr = Psnr(page, twin);
    qInfo("%s at load: %.1f dB", qPrintable(name), psnr);
    QVERIFY2((psnr >= kSameLook) == lookDone,
             qPrintable(QStringLiteral("%1 dB against its twin at load").arg(psnr, 0, 'f', 1)));
    const double twinPsnr = Psnr(twin, m_settled.Thumb(Twin(name)));
    QVERIFY2(twinPsnr >= kSameLook, qPrintable(QStringLiteral("the twin changed after load: %1 dB").arg(twinPsnr)));
    QCOMPARE(m_atLoad->rows.value(name).value(QLatin1String("settled")), QJsonValue(false));
}

// Many pages of their whole height, one after the other in one view: each keeps its own
// height, the last as the first.
void TestSettledPages::fullPageKeepsEachHeight()
{
    QStringList ids;
    for (int i = 0; i < kTallRows; ++i)
        ids << QStringLiteral("tall-%1").arg(i);
    Batch batch;
    QVERIFY(RunIds(batch, ids,
                   {QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--browser"),
                    QStringLiteral("800x150"), QStringLiteral("--full-page")}));
    QVERIFY2(batch.exitCode == 0, qPrintable(batch.err));
    for (const QString& id : ids) {
        const QSize size = batch.Thumb(id).size();
        QVERIFY2(batch.rows.value(id).value(QLatin1String("status")).toString() == QLatin1String("Success") &&
                     size == QSize(200, kTallThumbHeight),
                 qPrintable(QStringLiteral("%1: %2x%3").arg(id).arg(size.width()).arg(size.height())));
    }
}

QTEST_GUILESS_MAIN(TestSettledPages)
#include "TestSettledPages.moc"
