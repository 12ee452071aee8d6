// The results file's lines: valid JSON with every field, bytes kept exact, appended.

#include "batch/ResultsFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

TUrlJob Job(const QByteArray& number, const QByteArray& id, const QByteArray& url)
{
    TUrlJob job;
    job.Number = number;
    job.Id = id;
    job.Url = url;
    return job;
}

TRowResult Written()
{
    TRowResult result;
    result.Status = "Success";
    result.File = "/out/a.png";
    result.Bytes = 1234;
    result.Width = 200;
    result.Height = 150;
    result.Ms = 850;
    result.HttpStatus = 200;
    result.FinalUrl = QStringLiteral("https://example.com/landed");
    result.Attempts = 1;
    result.Settled = true;
    result.SettleMs = 420;
    result.Consent = QStringLiteral("opted-out");
    return result;
}

QJsonObject Parse(const QByteArray& line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

} // namespace

class TestResultsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fields();
    void bytesFromTheList_data();
    void bytesFromTheList();
    void appendsAndNeverTruncates();
    void unopenablePathIsAnError();
};

void TestResultsFile::fields()
{
    const QByteArray line = ResultsFile::Line(Job("7", "a", "http://example.com/"), Written());
    QVERIFY(line.endsWith('\n'));
    QCOMPARE(line.count('\n'), 1);
    const QJsonObject row = Parse(line);
    QCOMPARE(row.keys().size(), 16);
    QCOMPARE(row.value(QLatin1String("number")).toInt(), 7);
    QCOMPARE(row.value(QLatin1String("id")).toString(), QStringLiteral("a"));
    QCOMPARE(row.value(QLatin1String("url")).toString(), QStringLiteral("http://example.com/"));
    QCOMPARE(row.value(QLatin1String("status")).toString(), QStringLiteral("Success"));
    QCOMPARE(row.value(QLatin1String("reason")).toString(), QString());
    QCOMPARE(row.value(QLatin1String("file")).toString(), QStringLiteral("/out/a.png"));
    QCOMPARE(row.value(QLatin1String("bytes")).toInt(), 1234);
    QCOMPARE(row.value(QLatin1String("width")).toInt(), 200);
    QCOMPARE(row.value(QLatin1String("height")).toInt(), 150);
    QCOMPARE(row.value(QLatin1String("ms")).toInt(), 850);
    QCOMPARE(row.value(QLatin1String("http_status")).toInt(), 200);
    QCOMPARE(row.value(QLatin1String("final_url")).toString(), QStringLiteral("https://example.com/landed"));
    QCOMPARE(row.value(QLatin1String("attempts")).toInt(), 1);
    QCOMPARE(row.value(QLatin1String("settled")).toBool(), true);
    QCOMPARE(row.value(QLatin1String("settle_ms")).toInt(), 420);
    QCOMPARE(row.value(QLatin1String("consent")).toString(), QStringLiteral("opted-out"));
    // The order a reader sees when looking at the file; later keys come after the first ones.
    QVERIFY(line.startsWith("{\"number\":7,\"id\":\"a\",\"url\":"));
    QVERIFY(line.indexOf("\"attempts\":1,\"settled\":true,\"settle_ms\":420,\"consent\":\"opted-out\"}") > 0);

    // An error writes no file and may know no status or address.
    TRowResult failed;
    failed.Status = "Error";
    failed.Reason = QStringLiteral("the page did not load within 30 s (2 attempts)");
    failed.Attempts = 2;
    const QJsonObject error = Parse(ResultsFile::Line(Job("8", "b", "http://x/"), failed));
    QCOMPARE(error.value(QLatin1String("reason")).toString(), failed.Reason);
    for (const char* key : {"file", "bytes", "width", "height", "http_status", "final_url"})
        QVERIFY2(error.value(QLatin1String(key)).isNull(), key);
    QCOMPARE(error.value(QLatin1String("attempts")).toInt(), 2);
    QCOMPARE(error.value(QLatin1String("settled")).toBool(true), false);
    QVERIFY(error.value(QLatin1String("consent")).isNull());
}

void TestResultsFile::bytesFromTheList_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("utf8");

    QTest::newRow("quotes-and-backslash") << QByteArray("say \"hi\" \\ there") << true;
    QTest::newRow("control-characters") << QByteArray("a\tb\x01\x1b[2Jc\x7f") << true;
    QTest::newRow("utf8") << QByteArray("caf\xc3\xa9-\xe6\x97\xa5-\xe2\x80\xa8") << true;
    QTest::newRow("latin1-byte") << QByteArray("caf\xe9") << false;
    QTest::newRow("lone-continuation") << QByteArray("\x80x") << false;
    QTest::newRow("overlong-slash") << QByteArray("\xc0\xaf") << false;
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << false;
    QTest::newRow("cut-sequence") << QByteArray("ok\xe6\x97") << false;
}

void TestResultsFile::bytesFromTheList()
{
    QFETCH(QByteArray, id);
    QFETCH(bool, utf8);

    TRowResult result = Written();
    result.File = "/out/" + id + ".png";
    const QByteArray line = ResultsFile::Line(Job("1", id, "http://h/" + id), result);
    QCOMPARE(line.count('\n'), 1);
    const QJsonObject row = Parse(line);
    QVERIFY2(!row.isEmpty(), line.constData());
    for (const auto& [key, bytes] : {std::pair{"id", id}, {"url", "http://h/" + id}, {"file", result.File}}) {
        const QString hexKey = QLatin1String(key) + QLatin1String("_hex");
        if (utf8) {
            QCOMPARE(row.value(QLatin1String(key)).toString().toUtf8(), bytes);
            QVERIFY(!row.contains(hexKey));
        } else {
            QVERIFY(row.value(QLatin1String(key)).isNull());
            QCOMPARE(QByteArray::fromHex(row.value(hexKey).toString().toLatin1()), bytes);
        }
    }
}

void TestResultsFile::appendsAndNeverTruncates()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("results.jsonl"));
    QFile earlier(path);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("{\"number\":1}\n");
    earlier.close();

    for (const QByteArray number : {"2", "3"}) {
        ResultsFile results; // each run opens the file again
        QString error;
        QVERIFY2(results.Open(path, &error), qPrintable(error));
        QVERIFY2(results.Write(Job(number, "x", "http://x/"), Written(), &error), qPrintable(error));
    }
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = earlier.readAll().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QByteArray("{\"number\":1}"));
    QCOMPARE(Parse(lines[1]).value(QLatin1String("number")).toInt(), 2);
    QCOMPARE(Parse(lines[2]).value(QLatin1String("number")).toInt(), 3);
    QVERIFY(lines[3].isEmpty());
}

void TestResultsFile::unopenablePathIsAnError()
{
    QTemporaryDir dir;
    ResultsFile results;
    QString error;
    QVERIFY(!results.Open(dir.filePath(QStringLiteral("no/such/folder/r.jsonl")), &error));
    QVERIFY2(error.contains(QLatin1String("no/such/folder")), qPrintable(error));
    QVERIFY(!results.Open(dir.path(), &error)); // a folder
    QVERIFY(!results.IsOpen());
}

QTEST_GUILESS_MAIN(TestResultsFile)
#include "TestResultsFile.moc"
