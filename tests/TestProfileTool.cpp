// thumbrix-profile run as a process.

#include "brand/AesLib.h"
#include "common/UUtils.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestProfileTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void roundTrip();
    void decryptRefused_data();
    void decryptRefused();
    void failedOperations_data();
    void failedOperations();
    void show();
    void help();
    void badUsage_data();
    void badUsage();

private:
    Run Tool(const QStringList& arguments);
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    bool WriteFile(const QString& name, const QByteArray& bytes);
    QByteArray ReadFile(const QString& name);

    QTemporaryDir m_dir;
};

void TestProfileTool::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(THUMBRIX_PROFILE_BIN)));
    QVERIFY(m_dir.isValid());
    QVERIFY(WriteFile(QStringLiteral("any.txt"), "<%%ApplicationName%%>Any<%%/ApplicationName%%>"));
}

Run TestProfileTool::Tool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(THUMBRIX_PROFILE_BIN), arguments);
    Run run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool TestProfileTool::WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile file(Path(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray TestProfileTool::ReadFile(const QString& name)
{
    QFile file(Path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<unreadable>");
}

void TestProfileTool::roundTrip()
{
    const QByteArray plain =
        QByteArrayLiteral("<%%ApplicationName%%>Shots<%%/ApplicationName%%>\r\nbytes \x00\xff\x80 kept\n");
    QVERIFY(WriteFile(QStringLiteral("plain.txt"), plain));

    Run run = Tool({QStringLiteral("encrypt"), Path(QStringLiteral("plain.txt")), Path(QStringLiteral("rt.dat"))});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    const QByteArray encrypted = ReadFile(QStringLiteral("rt.dat"));
    QVERIFY(!encrypted.contains("Shots"));

    // The program's own reader must accept what the tool wrote.
    QByteArray decrypted;
    bool authentic = false;
    QString error;
    QVERIFY(DecryptFileToBytes(Path(QStringLiteral("rt.dat")), &decrypted, &authentic, &error));
    QVERIFY(authentic);
    QCOMPARE(decrypted, plain);

    run = Tool({QStringLiteral("decrypt"), Path(QStringLiteral("rt.dat")), Path(QStringLiteral("rt.txt"))});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(ReadFile(QStringLiteral("rt.txt")), plain);
}

void TestProfileTool::decryptRefused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("data byte flipped") << QStringLiteral("data");
    QTest::newRow("code byte flipped") << QStringLiteral("code");
    QTest::newRow("another password") << QStringLiteral("password");
}

void TestProfileTool::decryptRefused()
{
    QFETCH(QString, damage);

    const QByteArray plain("<%%ApplicationName%%>Shots<%%/ApplicationName%%>\r\n");
    const QString profile = Path(QStringLiteral("refused-") + damage + QStringLiteral(".dat"));
    QString error;
    if (damage == QLatin1String("password")) {
        QByteArray copy = plain;
        QBuffer source(&copy);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QFile destination(profile);
        QVERIFY(destination.open(QIODevice::WriteOnly));
        TEncryption encryption(QByteArrayLiteral("some other password"), 262144);
        QVERIFY(encryption.EncryptStream(&source, &destination));
    } else {
        QVERIFY2(EncryptBytesToFile(plain, profile, &error), qPrintable(error));
        QFile file(profile);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        // The last 10 bytes are the authentication code; the data lies just before them.
        const qsizetype at = damage == QLatin1String("code") ? bytes.size() - 1 : bytes.size() - 11;
        bytes[at] = char(bytes.at(at) ^ 0x01);
        QVERIFY(file.seek(0));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    const QString out = Path(QStringLiteral("refused-") + damage + QStringLiteral(".txt"));
    const Run run = Tool({QStringLiteral("decrypt"), profile, out});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("not an authentic profile"), run.err.constData());
    QVERIFY(!QFile::exists(out));

    const Run shown = Tool({QStringLiteral("show"), profile});
    QCOMPARE(shown.exitCode, 1);
    QVERIFY(shown.out.isEmpty());
}

void TestProfileTool::failedOperations_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("notCreated");

    const QString missing = Path(QStringLiteral("missing"));
    const QString out = Path(QStringLiteral("failed.out"));
    QTest::newRow("encrypt missing plain") << QStringList{QStringLiteral("encrypt"), missing, out} << out;
    QTest::newRow("decrypt missing profile") << QStringList{QStringLiteral("decrypt"), missing, out} << out;
    QTest::newRow("show missing profile") << QStringList{QStringLiteral("show"), missing} << QString();
    QTest::newRow("encrypt into missing folder")
        << QStringList{QStringLiteral("encrypt"), Path(QStringLiteral("any.txt")),
                       Path(QStringLiteral("no/such/folder.dat"))}
        << Path(QStringLiteral("no/such/folder.dat"));
}

void TestProfileTool::failedOperations()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, notCreated);

    const Run run = Tool(arguments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.startsWith("thumbrix-profile: "));
    if (!notCreated.isEmpty()) QVERIFY(!QFile::exists(notCreated));
}

void TestProfileTool::show()
{
    const QByteArray plain = "<%%ApplicationName%%>Shots<%%/ApplicationName%%>\r\n"
                             "<%%BranderCode%%>BC7<%%/BranderCode%%>\n"
                             "<%%BranderType%%>Master<%%/BranderType%%>\n"
                             "<%%AffiliateURL%%>http://a/?id=%%AFFILIATEID%%<%%/AffiliateURL%%>\n"
                             "<%%AffiliateID%%>r7<%%/AffiliateID%%>\n"
                             "<%%MasterNewsBaseURL%%>http://news/<%%/MasterNewsBaseURL%%>\n"
                             "<%%MasterPublID%%>11<%%/MasterPublID%%>\n"
                             "<%%AboutText%%>Line one\r\nC:\\path<%%/AboutText%%>\n"
                             "<%%Welcome1%%><p>hi</p><%%/Welcome1%%>\n"
                             "<%%Welcome2%%><p>hello</p><%%/Welcome2%%>\n"
                             "<%%Banner1%%>b.gif^http://b/<%%/Banner1%%>\n"
                             "<%%Link1%%>Home^http://home/<%%/Link1%%>\n"
                             "<%%LastNewsId%%>57<%%/LastNewsId%%>\n";
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, Path(QStringLiteral("show.dat")), &error), qPrintable(error));

    const Run run = Tool({QStringLiteral("show"), Path(QStringLiteral("show.dat"))});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("ApplicationName: Shots\n"
                                 "BranderCode: BC7\n"
                                 "BranderType: Master\n"
                                 "AffiliateURL: http://a/?id=r7\n"
                                 "AffiliateTYPE: \n"
                                 "AffiliateID: r7\n"
                                 "MasterNewsBaseURL: http://news/\n"
                                 "PlatinumNewsBaseURL: \n"
                                 "GoldNewsBaseURL: \n"
                                 "MasterPublID: 11\n"
                                 "PlatinumPublID: \n"
                                 "GoldPublID: \n"
                                 "NewsAvailable: yes\n"
                                 "MakeMoneyButton: Make Money\n"
                                 "AppHelpURL: \n"
                                 "CopyrightYears: \n"
                                 "CopyrightCompany: \n"
                                 "AboutText: Line one\\r\\nC:\\\\path\n"
                                 "Welcome1: <p>hi</p>\n"
                                 "Welcome2: <p>hello</p>\n"
                                 "Banner1: b.gif^http://b/\n"
                                 "Link1: Home^http://home/\n"
                                 "LastNewsId: 57\n"));
}

void TestProfileTool::help()
{
    const Run run = Tool({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith("Usage: thumbrix-profile [options] encrypt PLAIN OUT"), run.out.left(80).constData());
    for (const char* part : {"encrypt PLAIN OUT", "decrypt PROFILE OUT", "show PROFILE", "Exit status", "--version"})
        QVERIFY2(run.out.contains(part), part);

    const Run version = Tool({QStringLiteral("--version")});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QByteArray("thumbrix-profile " THUMBRIX_VERSION "\n"));
    QVERIFY(version.err.isEmpty());
}

void TestProfileTool::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");

    const QString file = Path(QStringLiteral("any"));
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{QStringLiteral("pack"), file};
    QTest::newRow("encrypt without OUT") << QStringList{QStringLiteral("encrypt"), file};
    QTest::newRow("decrypt with three files") << QStringList{QStringLiteral("decrypt"), file, file, file};
    QTest::newRow("show without PROFILE") << QStringList{QStringLiteral("show")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate"), QStringLiteral("show"), file};
}

void TestProfileTool::badUsage()
{
    QFETCH(QStringList, arguments);

    const Run run = Tool(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.contains("--help"));
}

QTEST_GUILESS_MAIN(TestProfileTool)
#include "TestProfileTool.moc"
