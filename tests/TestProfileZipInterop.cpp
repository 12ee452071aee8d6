#include "FifoRescue.h"

#include "brand/AesLib.h"
#include "common/UUtils.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

// The profile layout is the data of a WinZip AES zip entry (AE-x, extra field 0x9901), so
// 7-Zip, which implements that independently, judges both directions of our cipher.

namespace {

constexpr quint32 kLocalHeader = 0x04034b50;
constexpr quint32 kCentralHeader = 0x02014b50;
constexpr quint32 kEndOfCentral = 0x06054b50;
constexpr quint16 kAesMethod = 99;
constexpr quint16 kAesExtra = 0x9901;

quint16 U16(const QByteArray& data, qsizetype at)
{
    return quint16(quint8(data[at]) | quint8(data[at + 1]) << 8);
}

quint32 U32(const QByteArray& data, qsizetype at)
{
    return quint32(U16(data, at)) | quint32(U16(data, at + 2)) << 16;
}

void Put16(QByteArray& out, quint16 value)
{
    out.append(char(value & 0xff));
    out.append(char(value >> 8));
}

void Put32(QByteArray& out, quint32 value)
{
    Put16(out, quint16(value & 0xffff));
    Put16(out, quint16(value >> 16));
}

QByteArray Pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 71 + i / 509) & 0xff);
    return data;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// The AE extra field: vendor version 2 (AE-2), vendor "AE", strength 1 (AES-128), stored.
QByteArray AesExtraField()
{
    QByteArray extra;
    Put16(extra, kAesExtra);
    Put16(extra, 7);
    Put16(extra, 2);
    extra.append("AE", 2);
    extra.append(char(1));
    Put16(extra, 0);
    return extra;
}

// One stored AE-2 entry around `encrypted`. AE-2 because our layout has no CRC: with the
// CRC field zero, 7-Zip can accept the entry only through our authentication code.
QByteArray ZipAround(const QByteArray& name, const QByteArray& encrypted, qint64 plainSize)
{
    const QByteArray extra = AesExtraField();
    auto common = [&](QByteArray& out) {
        Put16(out, 51);     // version needed: 5.1, AES
        Put16(out, 0x0001); // encrypted
        Put16(out, kAesMethod);
        Put16(out, 0);      // time
        Put16(out, 0x0021); // 1980-01-01
        Put32(out, 0);      // CRC, absent in AE-2
        Put32(out, quint32(encrypted.size()));
        Put32(out, quint32(plainSize));
        Put16(out, quint16(name.size()));
        Put16(out, quint16(extra.size()));
    };

    QByteArray zip;
    Put32(zip, kLocalHeader);
    common(zip);
    zip += name + extra + encrypted;

    const qsizetype centralOffset = zip.size();
    Put32(zip, kCentralHeader);
    Put16(zip, 0x0314); // made by: Unix, 2.0
    common(zip);
    Put16(zip, 0);              // comment length
    Put16(zip, 0);              // disk
    Put16(zip, 0);              // internal attributes
    Put32(zip, 0100644u << 16); // external attributes: a plain file
    Put32(zip, 0);              // local header offset
    zip += name + extra;
    const qsizetype centralSize = zip.size() - centralOffset;

    Put32(zip, kEndOfCentral);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, quint32(centralSize));
    Put32(zip, quint32(centralOffset));
    Put16(zip, 0);
    return zip;
}

QString SevenZip()
{
    return QStandardPaths::findExecutable(QStringLiteral("7z"));
}

// Runs 7z with `arguments`; the exit code, or -1 when it did not run to the end.
int RunSevenZip(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(SevenZip(), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return -1;
    if (output) *output = process.readAll();
    return process.exitCode();
}

} // namespace

#define REQUIRE_7Z()                                                                                                   \
    do {                                                                                                               \
        if (SevenZip().isEmpty()) QSKIP("7z is not on PATH (the README's install script installs p7zip-full)");        \
    } while (false)

class TestProfileZipInterop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void sevenZipEntryDecrypts_data();
    void sevenZipEntryDecrypts();
    void ourEntryExtractsWith7z_data();
    void ourEntryExtractsWith7z();
    void sevenZipRejectsOurEntry_data();
    void sevenZipRejectsOurEntry();
    void fileHelpersRoundTrip();
    void decryptFileOfDamagedProfile_data();
    void decryptFileOfDamagedProfile();
    void fileHelpersReportOpenFailures_data();
    void fileHelpersReportOpenFailures();
    void profileReaderRefuses_data();
    void profileReaderRefuses();
    void encryptBytesReplacesProfile();

private:
    QString Path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestProfileZipInterop::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestProfileZipInterop::sevenZipEntryDecrypts_data()
{
    QTest::addColumn<int>("size");

    QTest::newRow("empty") << 0;
    QTest::newRow("short-text") << 5;
    QTest::newRow("past-257-blocks") << 257 * 16 + 3;
    QTest::newRow("three-buffers") << 600000;
}

void TestProfileZipInterop::sevenZipEntryDecrypts()
{
    REQUIRE_7Z();
    QFETCH(int, size);

    const QByteArray plain = Pattern(size);
    QVERIFY(WriteFile(Path("dbsettings.sim"), plain));
    QByteArray log;
    const int exitCode =
        RunSevenZip({QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mem=AES128"),
                     QStringLiteral("-mx=0"), QStringLiteral("-pvemtorquil"), Path("out.zip"), Path("dbsettings.sim")},
                    &log);
    QVERIFY2(exitCode == 0, log.constData());
    const QByteArray zip = ReadFile(Path("out.zip"));

    QVERIFY(zip.size() >= 30);
    QCOMPARE(U32(zip, 0), kLocalHeader);
    const quint16 flags = U16(zip, 6);
    QVERIFY(flags & 0x0001);
    QVERIFY2(!(flags & 0x0008), "sizes are expected in the local header");
    QCOMPARE(U16(zip, 8), kAesMethod);
    const quint32 packedSize = U32(zip, 18);
    QCOMPARE(U32(zip, 22), quint32(size));
    QCOMPARE(qint64(packedSize), qint64(size) + 20);
    const quint16 nameLength = U16(zip, 26);
    const quint16 extraLength = U16(zip, 28);
    QCOMPARE(zip.mid(30, nameLength), QByteArrayLiteral("dbsettings.sim"));

    const QByteArray extra = zip.mid(30 + nameLength, extraLength);
    const qsizetype aes = [&] {
        for (qsizetype at = 0; at + 4 <= extra.size(); at += 4 + U16(extra, at + 2))
            if (U16(extra, at) == kAesExtra) return at;
        return qsizetype(-1);
    }();
    QVERIFY2(aes >= 0, "no AES extra field");
    QCOMPARE(U16(extra, aes + 2), quint16(7));
    QVERIFY(U16(extra, aes + 4) == 1 || U16(extra, aes + 4) == 2);
    QCOMPARE(extra.mid(aes + 6, 2), QByteArrayLiteral("AE"));
    QCOMPARE(int(extra[aes + 8]), 1); // AES-128
    QCOMPARE(U16(extra, aes + 9), quint16(0));

    QByteArray entry = zip.mid(30 + nameLength + extraLength, packedSize);
    QCOMPARE(entry.size(), qsizetype(packedSize));
    QBuffer in(&entry);
    in.open(QIODevice::ReadOnly);
    QByteArray decrypted;
    QBuffer out(&decrypted);
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(ProfilePassword(), 262144);
    QVERIFY(encryption.DecryptStream(&in, &out, entry.size()));
    QCOMPARE(decrypted, plain);

    // The same bytes as a profile file, through the program's own file operation.
    QVERIFY(WriteFile(Path("dbsettings.dat"), entry));
    QString error;
    QVERIFY(DecryptFile(Path("dbsettings.dat"), Path("decrypted.sim"), &error));
    QCOMPARE(ReadFile(Path("decrypted.sim")), plain);
}

void TestProfileZipInterop::ourEntryExtractsWith7z_data()
{
    QTest::addColumn<QByteArray>("plain");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("profile-text") << QByteArrayLiteral("<ApplicationName>Thumbrix</ApplicationName>\r\n"
                                                       "<LastNewsId>17</LastNewsId>\r\n");
    QTest::newRow("past-257-blocks") << Pattern(257 * 16 + 9);
    QTest::newRow("three-buffers") << Pattern(2 * 262144 + 1234);
}

void TestProfileZipInterop::ourEntryExtractsWith7z()
{
    REQUIRE_7Z();
    QFETCH(QByteArray, plain);

    QVERIFY(WriteFile(Path("plain.sim"), plain));
    QString error;
    QVERIFY2(EncryptFile(Path("plain.sim"), Path("dbsettings.dat"), &error), qPrintable(error));
    const QByteArray encrypted = ReadFile(Path("dbsettings.dat"));
    QCOMPARE(encrypted.size(), plain.size() + 20);
    QVERIFY(WriteFile(Path("ours.zip"), ZipAround(QByteArrayLiteral("profile.txt"), encrypted, plain.size())));

    QByteArray log;
    const int exitCode = RunSevenZip({QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-pvemtorquil"),
                                      QStringLiteral("-o") + Path("out"), Path("ours.zip")},
                                     &log);
    QVERIFY2(exitCode == 0, log.constData());
    QFile extracted(Path("out/profile.txt"));
    QVERIFY(extracted.open(QIODevice::ReadOnly));
    QCOMPARE(extracted.readAll(), plain);
}

void TestProfileZipInterop::sevenZipRejectsOurEntry_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("flipAt"); // -1 leaves the entry intact; else from the end

    QTest::newRow("wrong-password") << QStringLiteral("vemtorquiL") << -1;
    QTest::newRow("code-damaged") << QStringLiteral("vemtorquil") << 1;
    QTest::newRow("data-damaged") << QStringLiteral("vemtorquil") << 10 + 7;
}

// Without these failures, 7-Zip accepting our entries above would prove nothing about the code.
void TestProfileZipInterop::sevenZipRejectsOurEntry()
{
    REQUIRE_7Z();
    QFETCH(QString, password);
    QFETCH(int, flipAt);

    const QByteArray plain = Pattern(4000);
    QByteArray encrypted;
    {
        QByteArray source = plain;
        QBuffer in(&source);
        QBuffer out(&encrypted);
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        TEncryption encryption(ProfilePassword(), 262144);
        QVERIFY(encryption.EncryptStream(&in, &out));
    }
    if (flipAt >= 0) {
        const qsizetype at = encrypted.size() - flipAt;
        encrypted[at] = char(encrypted[at] ^ 0x01);
    }
    QVERIFY(WriteFile(Path("ours.zip"), ZipAround(QByteArrayLiteral("profile.txt"), encrypted, plain.size())));

    QByteArray log;
    const int exitCode = RunSevenZip({QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-p") + password,
                                      QStringLiteral("-o") + Path("out"), Path("ours.zip")},
                                     &log);
    QVERIFY2(exitCode > 0, log.constData());
}

void TestProfileZipInterop::fileHelpersRoundTrip()
{
    const QByteArray plain = Pattern(262144);
    QVERIFY(WriteFile(Path("dbsettings.sim"), plain));
    QVERIFY(WriteFile(Path("dbsettings.dat"), QByteArray(1 << 20, 'x'))); // truncated, not appended to
    QString error;
    QVERIFY2(EncryptFile(Path("dbsettings.sim"), Path("dbsettings.dat"), &error), qPrintable(error));
    QCOMPARE(QFileInfo(Path("dbsettings.dat")).size(), plain.size() + 20);

    QVERIFY2(DecryptFile(Path("dbsettings.dat"), Path("back.sim"), &error), qPrintable(error));
    QCOMPARE(ReadFile(Path("back.sim")), plain);

    QByteArray bytes;
    bool authentic = false;
    QVERIFY(DecryptFileToBytes(Path("dbsettings.dat"), &bytes, &authentic, &error));
    QVERIFY(authentic);
    QCOMPARE(bytes, plain);
}

void TestProfileZipInterop::decryptFileOfDamagedProfile_data()
{
    QTest::addColumn<int>("flipAt");
    QTest::addColumn<bool>("dataWritten");

    QTest::newRow("verification-value") << 8 << false;
    QTest::newRow("data") << 10 + 3 << true;
    QTest::newRow("code") << 10 + 50 + 9 << true;
}

// DecryptFile reports nothing about authenticity: the destination shows what happened.
void TestProfileZipInterop::decryptFileOfDamagedProfile()
{
    QFETCH(int, flipAt);
    QFETCH(bool, dataWritten);

    const QByteArray plain = Pattern(50);
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, Path("dbsettings.dat"), &error), qPrintable(error));
    QByteArray file = ReadFile(Path("dbsettings.dat"));
    file[flipAt] = char(file[flipAt] ^ 0x40);
    QVERIFY(WriteFile(Path("dbsettings.dat"), file));
    QVERIFY(WriteFile(Path("dbsettings.sim"), QByteArrayLiteral("old plain text")));

    QVERIFY2(DecryptFile(Path("dbsettings.dat"), Path("dbsettings.sim"), &error), qPrintable(error));
    QCOMPARE(ReadFile(Path("dbsettings.sim")).size(), dataWritten ? plain.size() : 0);

    QByteArray bytes;
    bool authentic = true;
    QVERIFY(DecryptFileToBytes(Path("dbsettings.dat"), &bytes, &authentic, &error));
    QVERIFY(!authentic);
}

void TestProfileZipInterop::fileHelpersReportOpenFailures_data()
{
    QTest::addColumn<bool>("encrypting");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("blamed");

    const auto s = [](const char* text) { return QString::fromLatin1(text); };
    QTest::newRow("encrypt-missing-source") << true << s("missing.sim") << s("out.dat") << s("missing.sim");
    QTest::newRow("encrypt-destination-in-missing-folder")
        << true << s("present") << s("nofolder/out.dat") << s("nofolder/out.dat");
    QTest::newRow("decrypt-missing-source") << false << s("missing.dat") << s("out.sim") << s("missing.dat");
    QTest::newRow("decrypt-destination-is-folder") << false << s("present") << s("folder") << s("folder");
}

void TestProfileZipInterop::fileHelpersReportOpenFailures()
{
    QFETCH(bool, encrypting);
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, blamed);

    QVERIFY(WriteFile(m_dir->filePath(QStringLiteral("present")), QByteArrayLiteral("text")));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    const QString from = m_dir->filePath(source);
    const QString to = m_dir->filePath(destination);
    QString error;
    const bool ok = encrypting ? EncryptFile(from, to, &error) : DecryptFile(from, to, &error);
    QVERIFY(!ok);
    QVERIFY2(error.startsWith(m_dir->filePath(blamed) + QStringLiteral(": ")), qPrintable(error));

    QByteArray bytes;
    bool authentic = true;
    QVERIFY(!DecryptFileToBytes(m_dir->filePath(QStringLiteral("missing.dat")), &bytes, &authentic, &error));
    QVERIFY(error.startsWith(m_dir->filePath(QStringLiteral("missing.dat"))));
}

void TestProfileZipInterop::profileReaderRefuses_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("not a regular file");
    QTest::newRow("fifo") << QStringLiteral("fifo") << QStringLiteral("not a regular file");
    QTest::newRow("over-16-mib") << QStringLiteral("big") << QStringLiteral("larger than 16 MiB");
}

void TestProfileZipInterop::profileReaderRefuses()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString path = m_dir->filePath(QStringLiteral("dbsettings.dat"));
    const QByteArray native = QFile::encodeName(path);
    if (kind == QLatin1String("folder")) QVERIFY(QDir().mkdir(path));
    if (kind == QLatin1String("fifo")) QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    if (kind == QLatin1String("big")) {
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize((qint64(16) << 20) + 1));
    }
    QByteArray bytes;
    bool authentic = true;
    QString error;
    {
        const TFifoRescue rescue(native); // a reader stuck on the pipe fails instead of hanging
        QVERIFY(!DecryptFileToBytes(path, &bytes, &authentic, &error));
    }
    QVERIFY2(error.startsWith(path + QStringLiteral(": ")) && error.contains(reason), qPrintable(error));
}

void TestProfileZipInterop::encryptBytesReplacesProfile()
{
    QString error;
    QVERIFY2(EncryptBytesToFile(QByteArrayLiteral("first"), Path("dbsettings.dat"), &error), qPrintable(error));
    QVERIFY2(EncryptBytesToFile(QByteArrayLiteral("second"), Path("dbsettings.dat"), &error), qPrintable(error));

    QByteArray bytes;
    bool authentic = false;
    QVERIFY(DecryptFileToBytes(Path("dbsettings.dat"), &bytes, &authentic, &error));
    QVERIFY(authentic);
    QCOMPARE(bytes, QByteArrayLiteral("second"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("dbsettings.dat")});

    QVERIFY(!EncryptBytesToFile(QByteArrayLiteral("x"), Path("nofolder/dbsettings.dat"), &error));
    QVERIFY(error.contains(QStringLiteral("nofolder")));
}

QTEST_GUILESS_MAIN(TestProfileZipInterop)
#include "TestProfileZipInterop.moc"
