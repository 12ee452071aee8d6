#include "support/FifoRescue.h"
#include "urllist/JobId.h"
#include "urllist/UrlListFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using Lines = QList<QByteArray>;

class TestUrlListFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitListLines_data();
    void splitListLines();
    void parseListLine_data();
    void parseListLine();
    void oneUrlPerLineKeepsSeparators();
    void formatListFile_data();
    void formatListFile();
    void roundTrip_data();
    void roundTrip();
    void makeJobsNumbering_data();
    void makeJobsNumbering();
    void makeJobsIds();
    void readListFile_data();
    void readListFile();
};

void TestUrlListFile::splitListLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Lines>("lines");

    QTest::newRow("empty") << QByteArray() << Lines{};
    QTest::newRow("no-final-break") << QByteArrayLiteral("a\r\nb") << Lines{"a", "b"};
    QTest::newRow("final-crlf") << QByteArrayLiteral("a\r\nb\r\n") << Lines{"a", "b"};
    QTest::newRow("final-lf") << QByteArrayLiteral("a\nb\n") << Lines{"a", "b"};
    QTest::newRow("final-cr") << QByteArrayLiteral("a\rb\r") << Lines{"a", "b"};
    QTest::newRow("mixed") << QByteArrayLiteral("a\r\nb\nc\rd") << Lines{"a", "b", "c", "d"};
    QTest::newRow("blank-between") << QByteArrayLiteral("a\r\n\r\nb\n\nc\r\rd")
                                   << Lines{"a", "", "b", "", "c", "", "d"};
    QTest::newRow("cr-cr-lf") << QByteArrayLiteral("a\r\r\nb") << Lines{"a", "", "b"};
    QTest::newRow("lf-cr") << QByteArrayLiteral("a\n\rb") << Lines{"a", "", "b"};
    QTest::newRow("only-crlf") << QByteArrayLiteral("\r\n") << Lines{""};
    QTest::newRow("two-breaks") << QByteArrayLiteral("\n\n") << Lines{"", ""};
    QTest::newRow("nul-ends-text") << QByteArray("a\nb\0c\nd", 7) << Lines{"a", "b"};
    QTest::newRow("nul-after-break") << QByteArray("a\r\n\0b", 5) << Lines{"a"};
    QTest::newRow("bom-kept") << QByteArrayLiteral("\xEF\xBB\xBFhttp://a/\r\nx") << Lines{"\xEF\xBB\xBFhttp://a/", "x"};
    QTest::newRow("spaces-tabs-kept") << QByteArrayLiteral(" a \t\n\tb ") << Lines{" a \t", "\tb "};
    QTest::newRow("latin1-bytes") << QByteArrayLiteral("caf\xE9\n") << Lines{"caf\xE9"};
}

void TestUrlListFile::splitListLines()
{
    QFETCH(QByteArray, text);
    QFETCH(Lines, lines);
    QCOMPARE(SplitListLines(text), lines);
}

void TestUrlListFile::parseListLine_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("url");

    const struct
    {
        ListFormat format;
        const char* name;
        char sep;
    } formats[] = {{ListFormat::Pipe, "pipe", '|'}, {ListFormat::Comma, "comma", ','}};

    for (const auto& f : formats) {
        const auto line = [&f](const char* pattern) { return QByteArray(pattern).replace('|', f.sep); };
        const auto row = [&f](const char* what) -> QTestData& { return QTest::addRow("%s-%s", f.name, what); };
        const int format = int(f.format);

        row("simple") << format << line("a1|http://x/") << QByteArrayLiteral("a1") << QByteArrayLiteral("http://x/");
        row("first-separator") << format << line("a|b|c") << QByteArrayLiteral("a") << line("b|c");
        row("no-separator") << format << QByteArrayLiteral("http://x/") << QByteArray()
                            << QByteArrayLiteral("http://x/");
        row("leading-separator") << format << line("|x") << QByteArray() << QByteArrayLiteral("x");
        row("trailing-separator") << format << line("x|") << QByteArrayLiteral("x") << QByteArray();
        row("empty-line") << format << QByteArray() << QByteArray() << QByteArray();
        row("spaces-kept") << format << line(" a | b ") << QByteArrayLiteral(" a ") << QByteArrayLiteral(" b ");
    }
    // The other format's separator is just part of a field.
    QTest::newRow("pipe-ignores-comma") << int(ListFormat::Pipe) << QByteArrayLiteral("a,b|c")
                                        << QByteArrayLiteral("a,b") << QByteArrayLiteral("c");
    QTest::newRow("comma-ignores-pipe") << int(ListFormat::Comma) << QByteArrayLiteral("a|b,c")
                                        << QByteArrayLiteral("a|b") << QByteArrayLiteral("c");
}

void TestUrlListFile::parseListLine()
{
    QFETCH(int, format);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, url);

    const ListEntry entry = ParseListLine(line, ListFormat(format));
    QCOMPARE(entry.Id, id);
    QCOMPARE(entry.Url, url);
}

void TestUrlListFile::oneUrlPerLineKeepsSeparators()
{
    const QByteArray line = QByteArrayLiteral(" id|http://x/?a=1,2 ");
    const ListEntry entry = ParseListLine(line, ListFormat::OneUrlPerLine);
    QCOMPARE(entry.Id, QByteArray());
    QCOMPARE(entry.Url, line);
}

static TUrlJob Job(const QByteArray& id, const QByteArray& url)
{
    TUrlJob job;
    job.Number = QByteArrayLiteral("7");
    job.Id = id;
    job.Url = url;
    job.Status = JobStatus::Success;
    return job;
}

void TestUrlListFile::formatListFile_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("bytes");

    // Numbers and statuses never reach the file; empty fields still give their line.
    QTest::newRow("one-url-per-line") << int(ListFormat::OneUrlPerLine)
                                      << QByteArrayLiteral("http://a/\r\n\r\nhttp://c/|x,y\r\n");
    QTest::newRow("pipe") << int(ListFormat::Pipe) << QByteArrayLiteral("a|http://a/\r\nb|\r\n|http://c/|x,y\r\n");
    QTest::newRow("comma") << int(ListFormat::Comma) << QByteArrayLiteral("a,http://a/\r\nb,\r\n,http://c/|x,y\r\n");
}

void TestUrlListFile::formatListFile()
{
    QFETCH(int, format);
    QFETCH(QByteArray, bytes);

    const QList<TUrlJob> jobs = {Job("a", "http://a/"), Job("b", ""), Job("", "http://c/|x,y")};
    QCOMPARE(FormatListFile(jobs, ListFormat(format)), bytes);
    QCOMPARE(FormatListFile({}, ListFormat(format)), QByteArray());
}

void TestUrlListFile::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("pipe") << int(ListFormat::Pipe);
    QTest::newRow("comma") << int(ListFormat::Comma);
}

void TestUrlListFile::roundTrip()
{
    QFETCH(int, format);

    // IDs hold no separator; URLs may hold both, and bytes that are not UTF-8.
    const QList<TUrlJob> jobs = {
        Job(MakeJobId("http://a/", int(IdKind::Md5)), "http://a/"),
        Job(UrlToFileId("http://www.b.org/p"), "http://www.b.org/p?q=1,2|3"),
        Job(" sp ", " http://caf\xE9/ "),
        Job("", ""),
        Job("\xEF\xBB\xBF"
            "bom",
            "x"),
    };

    const Lines lines = SplitListLines(FormatListFile(jobs, ListFormat(format)));
    QCOMPARE(lines.size(), jobs.size());
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const ListEntry entry = ParseListLine(lines.at(i), ListFormat(format));
        QCOMPARE(entry.Id, jobs.at(i).Id);
        QCOMPARE(entry.Url, jobs.at(i).Url);
    }
}

void TestUrlListFile::makeJobsNumbering_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<Lines>("numbers");

    QTest::newRow("empty-list") << 0 << Lines{"1", "2", "3"};
    QTest::newRow("after-five") << 5 << Lines{"6", "7", "8"};
    QTest::newRow("into-two-digits") << 8 << Lines{"9", "10", "11"};
}

void TestUrlListFile::makeJobsNumbering()
{
    QFETCH(int, base);
    QFETCH(Lines, numbers);

    const QList<TUrlJob> jobs = MakeJobs({"a", "", "c"}, ListFormat::OneUrlPerLine, int(IdKind::Md5), base);
    QCOMPARE(jobs.size(), numbers.size());
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        QCOMPARE(jobs.at(i).Number, numbers.at(i));
        QCOMPARE(jobs.at(i).Status, JobStatus::Pending);
        QVERIFY(!jobs.at(i).Selected);
    }
}

void TestUrlListFile::makeJobsIds()
{
    const Lines lines = {"a1|http://www.x.com/", "", " http://y/ "};

    // One URL per line: the whole line is the URL and the ID comes from it by the chosen kind.
    const QList<TUrlJob> md5 = MakeJobs(lines, ListFormat::OneUrlPerLine, int(IdKind::Md5), 0);
    const QList<TUrlJob> url = MakeJobs(lines, ListFormat::OneUrlPerLine, int(IdKind::Url), 0);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QCOMPARE(md5.at(i).Url, lines.at(i));
        QCOMPARE(md5.at(i).Id, MakeJobId(lines.at(i), int(IdKind::Md5)));
        QCOMPARE(url.at(i).Url, lines.at(i));
        QCOMPARE(url.at(i).Id, UrlToFileId(lines.at(i)));
    }
    QCOMPARE(md5.at(1).Id, QByteArrayLiteral("d41d8cd98f00b204e9800998ecf8427e"));

    // Pipe: IDs come from the file whatever kind is chosen.
    const QList<TUrlJob> pipe = MakeJobs(lines, ListFormat::Pipe, int(IdKind::Url), 0);
    QCOMPARE(pipe.at(0).Id, QByteArrayLiteral("a1"));
    QCOMPARE(pipe.at(0).Url, QByteArrayLiteral("http://www.x.com/"));
    QCOMPARE(pipe.at(1).Id, QByteArray());
    QCOMPARE(pipe.at(1).Url, QByteArray());
    QCOMPARE(pipe.at(2).Id, QByteArray());
    QCOMPARE(pipe.at(2).Url, QByteArrayLiteral(" http://y/ "));
}

void TestUrlListFile::readListFile_data()
{
    QTest::addColumn<QByteArray>("name"); // in the test folder unless absolute
    QTest::addColumn<QString>("reason");  // empty: the list is read

    QTest::newRow("regular-file") << QByteArrayLiteral("list.txt") << QString();
    QTest::newRow("exactly-256-MiB") << QByteArrayLiteral("at-cap.txt") << QString();
    QTest::newRow("fifo") << QByteArrayLiteral("fifo")
                          << QStringLiteral("it is a named pipe (FIFO), not a regular file");
    QTest::newRow("folder") << QByteArrayLiteral("folder") << QStringLiteral("it is a folder, not a file");
    QTest::newRow("dev-zero") << QByteArrayLiteral("/dev/zero") << QStringLiteral("it is a device, not a regular file");
    QTest::newRow("over-256-MiB") << QByteArrayLiteral("huge.txt") << QStringLiteral("it is larger than 256 MiB");
}

void TestUrlListFile::readListFile()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray root = QFile::encodeName(dir.path()) + '/';
    QFile list(QString::fromLocal8Bit(root + "list.txt"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    QCOMPARE(list.write("http://a/\nhttp://b/\n"), 20);
    list.close();
    // Sparse: the sizes cost no disk.
    for (const auto& [file, size] : {std::pair{"at-cap.txt", kMaxListFileBytes}, {"huge.txt", kMaxListFileBytes + 1}}) {
        QFile sparse(QString::fromLocal8Bit(root + file));
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(size));
    }
    QCOMPARE(::mkfifo((root + "fifo").constData(), 0600), 0);
    QCOMPARE(::mkdir((root + "folder").constData(), 0700), 0);

    const QByteArray path = name.startsWith('/') ? name : root + name;
    const TFifoRescue rescue(root + "fifo");
    QElapsedTimer clock;
    clock.start();
    QByteArray text;
    QString error;
    const bool ok = ReadListFile(path, &text, &error);
    if (reason.isEmpty()) {
        QVERIFY2(ok, qPrintable(error));
        QVERIFY(!text.isEmpty());
    } else {
        QVERIFY2(clock.elapsed() < 2000, "the read waited");
        QVERIFY(!ok);
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
}

QTEST_APPLESS_MAIN(TestUrlListFile)
#include "TestUrlListFile.moc"
