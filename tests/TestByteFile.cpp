#include "common/ByteFile.h"
#include "support/AsUnprivilegedUser.h"
#include "support/FifoRescue.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Names = QList<QByteArray>;

class TestByteFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void writeCreatesAndReplaces();
    void writeFailureLeavesNothing_data();
    void writeFailureLeavesNothing();
    void writeToReadOnlyFolder();
    void writeNonUtf8Name();
    void writeThroughDoubleSeparator();
    void writeGivesNormalPermissions();
    void writeKeepsPermissions_data();
    void writeKeepsPermissions();
    void writeThroughOwnLinks_data();
    void writeThroughOwnLinks();
    void writeReplacesSomeoneElsesLink();
    void writeRefusesWhatIsNotAFile_data();
    void writeRefusesWhatIsNotAFile();
    void unfinishedReplacementIsRemoved();
    void exists_data();
    void exists();
    void readAll_data();
    void readAll();
    void displayText_data();
    void displayText();

private:
    QByteArray m_root; // the temporary folder with a trailing '/'
    QTemporaryDir m_dir;
};

// Entries of a folder as raw bytes, sorted, without "." and "..".
static Names ListFolder(const QByteArray& path)
{
    Names names;
    DIR* dir = ::opendir(path.constData());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

static bool RemoveTree(const QByteArray& path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.constData()) == 0;
    for (const QByteArray& name : ListFolder(path))
        if (!RemoveTree(path + '/' + name)) return false;
    return ::rmdir(path.constData()) == 0;
}

static Names TemporaryFiles(const QByteArray& folder)
{
    Names names = ListFolder(folder);
    names.erase(
        std::remove_if(names.begin(), names.end(), [](const QByteArray& n) { return !n.startsWith(".thumbrix-"); }),
        names.end());
    return names;
}

static mode_t ModeOf(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

static mode_t NewFileMode()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

static QByteArray LinkValue(const QByteArray& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
    return n < 0 ? QByteArray() : QByteArray(buffer, n);
}

static QByteArray ReadBack(const QByteArray& path)
{
    QByteArray data;
    QString error;
    if (!ByteFile::ReadAll(path, &data, &error)) qWarning("%s", qPrintable(error));
    return data;
}

void TestByteFile::init()
{
    QVERIFY(m_dir.isValid());
    m_root = QFile::encodeName(m_dir.path()) + '/';
    // Each test starts from an empty folder.
    for (const QByteArray& name : ListFolder(m_root))
        QVERIFY(RemoveTree(m_root + name));
}

void TestByteFile::writeCreatesAndReplaces()
{
    const QByteArray path = m_root + "list.txt";
    const QByteArray first = QByteArray("first\r\n\0binary\xFF", 15);
    QString error;

    QVERIFY2(ByteFile::WriteReplacing(path, first, &error), qPrintable(error));
    QCOMPARE(ReadBack(path), first);

    QVERIFY2(ByteFile::WriteReplacing(path, QByteArrayLiteral("2"), &error), qPrintable(error));
    QCOMPARE(ReadBack(path), QByteArrayLiteral("2"));

    QVERIFY2(ByteFile::WriteReplacing(path, QByteArray(), &error), qPrintable(error));
    QCOMPARE(ReadBack(path), QByteArray());
    QCOMPARE(ListFolder(m_root), Names{"list.txt"});
}

void TestByteFile::writeFailureLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing-folder") << QByteArrayLiteral("missing/x.jpg")
                                    << QStringLiteral("No such file or directory");
    QTest::newRow("folder-in-the-way") << QByteArrayLiteral("sub") << QStringLiteral("Is a directory");
    QTest::newRow("trailing-slash") << QByteArrayLiteral("sub/") << QStringLiteral("Is a directory");
}

void TestByteFile::writeFailureLeavesNothing()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, reason);

    QCOMPARE(::mkdir((m_root + "sub").constData(), 0777), 0);
    const QByteArray path = m_root + name;
    QString error;
    QVERIFY(!ByteFile::WriteReplacing(path, QByteArrayLiteral("data"), &error));
    QVERIFY2(error.contains(QString::fromLocal8Bit(path)), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(ListFolder(m_root), Names{"sub"});
    QCOMPARE(ListFolder(m_root + "sub"), Names{});
}

void TestByteFile::writeToReadOnlyFolder()
{
    if (::geteuid() == 0) {
        const QString failure = RunAsUnprivilegedUser(); // root writes into read-only folders
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        return;
    }

    const QByteArray folder = m_root + "ro";
    QCOMPARE(::mkdir(folder.constData(), 0555), 0);
    QString error;
    const bool written = ByteFile::WriteReplacing(folder + "/x.jpg", QByteArrayLiteral("data"), &error);
    ::chmod(folder.constData(), 0755);

    QVERIFY(!written);
    QVERIFY2(error.contains(QStringLiteral("Permission denied")), qPrintable(error));
    QCOMPARE(ListFolder(folder), Names{});
}

void TestByteFile::writeNonUtf8Name()
{
    const QByteArray name = QByteArrayLiteral("caf\xE9.jpg");
    QString error;
    QVERIFY2(ByteFile::WriteReplacing(m_root + name, QByteArrayLiteral("jpeg"), &error), qPrintable(error));
    QCOMPARE(ListFolder(m_root), Names{name});
    QVERIFY(ByteFile::FileExists(m_root + name));
    QCOMPARE(ReadBack(m_root + name), QByteArrayLiteral("jpeg"));
}

void TestByteFile::writeThroughDoubleSeparator()
{
    QString error;
    QVERIFY2(ByteFile::WriteReplacing(m_root + "/x.jpg", QByteArrayLiteral("x"), &error), qPrintable(error));
    QCOMPARE(ListFolder(m_root), Names{"x.jpg"});
}

void TestByteFile::writeGivesNormalPermissions()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    // mkstemp alone gives 0600; under such a umask the two cannot be told apart.
    if ((0666 & ~mask) == 0600) QSKIP("the umask leaves only owner read and write");

    QString error;
    QVERIFY2(ByteFile::WriteReplacing(m_root + "x.jpg", QByteArrayLiteral("x"), &error), qPrintable(error));
    struct stat st;
    QCOMPARE(::stat((m_root + "x.jpg").constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0666 & ~mask));
}

void TestByteFile::exists_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("file");
    QTest::addColumn<bool>("directory");

    QTest::newRow("file") << QByteArrayLiteral("f") << true << false;
    QTest::newRow("folder") << QByteArrayLiteral("d") << false << true;
    QTest::newRow("folder-trailing-slash") << QByteArrayLiteral("d/") << false << true;
    QTest::newRow("missing") << QByteArrayLiteral("nothing") << false << false;
    QTest::newRow("link-to-file") << QByteArrayLiteral("lf") << true << false;
    QTest::newRow("link-to-folder") << QByteArrayLiteral("ld") << false << true;
    QTest::newRow("dangling-link") << QByteArrayLiteral("dangling") << false << false;
    QTest::newRow("nul-in-name") << QByteArray("f\0x", 3) << false << false;
}

void TestByteFile::exists()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, file);
    QFETCH(bool, directory);

    QString error;
    QVERIFY2(ByteFile::WriteReplacing(m_root + "f", QByteArray(), &error), qPrintable(error));
    QCOMPARE(::mkdir((m_root + "d").constData(), 0777), 0);
    QCOMPARE(::symlink("f", (m_root + "lf").constData()), 0);
    QCOMPARE(::symlink("d", (m_root + "ld").constData()), 0);
    QCOMPARE(::symlink("nowhere", (m_root + "dangling").constData()), 0);

    QCOMPARE(ByteFile::FileExists(m_root + name), file);
    QCOMPARE(ByteFile::DirectoryExists(m_root + name), directory);
}

void TestByteFile::readAll_data()
{
    QTest::addColumn<QByteArray>("name"); // relative to the test folder unless absolute
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<QString>("reason"); // empty: the read succeeds

    constexpr qint64 MiB = qint64(1) << 20;
    QTest::newRow("missing") << QByteArrayLiteral("nothing.txt") << MiB << QStringLiteral("No such file or directory");
    QTest::newRow("folder") << QByteArrayLiteral("d") << MiB << QStringLiteral("it is a folder, not a file");
    QTest::newRow("fifo") << QByteArrayLiteral("fifo") << MiB << QStringLiteral("it is a named pipe (FIFO)");
    QTest::newRow("link-to-fifo") << QByteArrayLiteral("link-to-fifo") << MiB
                                  << QStringLiteral("it is a named pipe (FIFO)");
    QTest::newRow("dev-zero") << QByteArrayLiteral("/dev/zero") << MiB << QStringLiteral("it is a device");
    QTest::newRow("dev-null") << QByteArrayLiteral("/dev/null") << MiB << QStringLiteral("it is a device");
    QTest::newRow("exactly-the-cap") << QByteArrayLiteral("one-mib") << MiB << QString();
    QTest::newRow("size-over-the-cap") << QByteArrayLiteral("sparse") << MiB
                                       << QStringLiteral("it is larger than 1 MiB");
    // Files under /proc report a size of 0, so only counting what is read catches these.
    QTest::newRow("over-the-cap-while-reading")
        << QByteArrayLiteral("/proc/self/status") << qint64(64) << QStringLiteral("it is larger than 64 bytes");
}

void TestByteFile::readAll()
{
    QFETCH(QByteArray, name);
    QFETCH(qint64, maxBytes);
    QFETCH(QString, reason);

    QCOMPARE(::mkdir((m_root + "d").constData(), 0777), 0);
    QCOMPARE(::mkfifo((m_root + "fifo").constData(), 0600), 0);
    QCOMPARE(::symlink("fifo", (m_root + "link-to-fifo").constData()), 0);
    QString error;
    QVERIFY2(ByteFile::WriteReplacing(m_root + "one-mib", QByteArray(1 << 20, 'm'), &error), qPrintable(error));
    QVERIFY2(ByteFile::WriteReplacing(m_root + "sparse", QByteArray(), &error), qPrintable(error));
    QCOMPARE(::truncate((m_root + "sparse").constData(), (1 << 20) + 1), 0);

    const QByteArray path = name.startsWith('/') ? name : m_root + name;
    QByteArray data = QByteArrayLiteral("untouched");
    const TFifoRescue rescue(m_root + "fifo");
    QElapsedTimer clock;
    clock.start();
    const bool ok = ByteFile::ReadAll(path, &data, &error, maxBytes);
    QVERIFY2(clock.elapsed() < 2000, "the read waited");

    if (reason.isEmpty()) {
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(data.size(), maxBytes);
        return;
    }
    QVERIFY(!ok);
    QCOMPARE(data, QByteArrayLiteral("untouched"));
    QVERIFY2(error.contains(QString::fromLocal8Bit(path)), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TestByteFile::writeKeepsPermissions_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("owner-only-0600") << 0600;
    QTest::newRow("group-read-0640") << 0640;
    QTest::newRow("executable-0755") << 0755;
    QTest::newRow("read-only-0444") << 0444;
}

void TestByteFile::writeKeepsPermissions()
{
    QFETCH(int, mode);

    const QByteArray path = m_root + "config.ini";
    QString error;
    QVERIFY2(ByteFile::WriteReplacing(path, QByteArrayLiteral("old"), &error), qPrintable(error));
    QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);
    QVERIFY2(ByteFile::WriteReplacing(path, QByteArrayLiteral("new"), &error), qPrintable(error));
    QCOMPARE(ReadBack(path), QByteArrayLiteral("new"));
    QCOMPARE(ModeOf(path), mode_t(mode));
    QCOMPARE(ListFolder(m_root), Names{"config.ini"});
}

void TestByteFile::writeThroughOwnLinks_data()
{
    QTest::addColumn<QByteArray>("link");   // what config.ini points to; "{root}" is the test folder
    QTest::addColumn<QByteArray>("middle"); // what middle.ini points to, when the chain has two links
    QTest::addColumn<bool>("targetExists");

    QTest::newRow("relative") << QByteArrayLiteral("real/config.ini") << QByteArray() << true;
    QTest::newRow("absolute") << QByteArrayLiteral("{root}real/config.ini") << QByteArray() << true;
    QTest::newRow("chain-of-two") << QByteArrayLiteral("middle.ini") << QByteArrayLiteral("real/config.ini") << true;
    QTest::newRow("chain-relative-to-each-link")
        << QByteArrayLiteral("real/middle.ini") << QByteArrayLiteral("config.ini") << true;
    QTest::newRow("dangling") << QByteArrayLiteral("real/config.ini") << QByteArray() << false;
}

void TestByteFile::writeThroughOwnLinks()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, middle);
    QFETCH(bool, targetExists);

    link.replace("{root}", m_root);
    const QByteArray real = m_root + "real/";
    QCOMPARE(::mkdir(real.constData(), 0777), 0);
    QString error;
    if (targetExists) {
        QVERIFY2(ByteFile::WriteReplacing(real + "config.ini", QByteArrayLiteral("old"), &error), qPrintable(error));
        QCOMPARE(::chmod((real + "config.ini").constData(), 0600), 0);
    }
    const QByteArray path = m_root + "config.ini";
    QCOMPARE(::symlink(link.constData(), path.constData()), 0);
    if (!middle.isEmpty()) {
        const QByteArray middlePath = link.startsWith("real/") ? real + "middle.ini" : m_root + "middle.ini";
        QCOMPARE(::symlink(middle.constData(), middlePath.constData()), 0);
    }

    QVERIFY2(ByteFile::WriteReplacing(path, QByteArrayLiteral("new"), &error), qPrintable(error));
    QCOMPARE(LinkValue(path), link);
    QCOMPARE(ReadBack(real + "config.ini"), QByteArrayLiteral("new"));
    QCOMPARE(ModeOf(real + "config.ini"), targetExists ? mode_t(0600) : NewFileMode());
    QCOMPARE(TemporaryFiles(m_root), Names{});
    QCOMPARE(TemporaryFiles(real), Names{});
}

void TestByteFile::writeReplacesSomeoneElsesLink()
{
    if (::geteuid() != 0) QSKIP("only root can make a link that belongs to someone else");

    // Planted in a shared folder, it would aim our write at the planter's choice of file.
    const QByteArray victim = m_root + "victim";
    const QByteArray path = m_root + "x.jpg";
    QString error;
    QVERIFY2(ByteFile::WriteReplacing(victim, QByteArrayLiteral("precious"), &error), qPrintable(error));
    QCOMPARE(::symlink("victim", path.constData()), 0);
    QCOMPARE(::lchown(path.constData(), 65534, 65534), 0);

    QVERIFY2(ByteFile::WriteReplacing(path, QByteArrayLiteral("thumbnail"), &error), qPrintable(error));
    QCOMPARE(LinkValue(path), QByteArray());
    QCOMPARE(ReadBack(path), QByteArrayLiteral("thumbnail"));
    QCOMPARE(ReadBack(victim), QByteArrayLiteral("precious"));
}

void TestByteFile::writeRefusesWhatIsNotAFile_data()
{
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("fifo") << QByteArrayLiteral("fifo");
    QTest::newRow("link-to-fifo") << QByteArrayLiteral("link-to-fifo");
}

void TestByteFile::writeRefusesWhatIsNotAFile()
{
    QFETCH(QByteArray, name);

    QCOMPARE(::mkfifo((m_root + "fifo").constData(), 0600), 0);
    QCOMPARE(::symlink("fifo", (m_root + "link-to-fifo").constData()), 0);
    QString error;
    QVERIFY(!ByteFile::WriteReplacing(m_root + name, QByteArrayLiteral("data"), &error));
    QVERIFY2(error.contains(QStringLiteral("named pipe")), qPrintable(error));
    struct stat st;
    QCOMPARE(::lstat((m_root + "fifo").constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    QCOMPARE(LinkValue(m_root + "link-to-fifo"), QByteArrayLiteral("fifo"));
    QCOMPARE(TemporaryFiles(m_root), Names{});
}

void TestByteFile::unfinishedReplacementIsRemoved()
{
    // A writer on another thread is caught between creating its temporary file and renaming
    // it, as a stop signal would catch one.
    const QByteArray path = m_root + "config.ini";
    QString error;
    QVERIFY2(ByteFile::WriteReplacing(path, QByteArrayLiteral("old"), &error), qPrintable(error));
    const QByteArray big(64 << 20, 'x');
    std::atomic<bool> written{false};
    std::atomic<bool> finished{false};
    std::thread writer([&] {
        QString writerError;
        written = ByteFile::WriteReplacing(path, big, &writerError);
        finished = true;
    });
    while (!finished && TemporaryFiles(m_root).isEmpty()) {
    }
    ByteFile::RemoveUnfinishedFiles();
    writer.join();

    // Its file seen is no proof that the writer had not renamed it yet: only a write that
    // failed was caught in the middle. One that got through has left nothing half-done.
    QVERIFY(TemporaryFiles(m_root).isEmpty());
    if (written) QSKIP("the writer had put its file in place before it could be caught");
    QCOMPARE(ListFolder(m_root), Names{"config.ini"});
    QCOMPARE(ReadBack(path), QByteArrayLiteral("old"));
}

void TestByteFile::displayText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArrayLiteral("http://a/") << QStringLiteral("http://a/");
    QTest::newRow("utf8") << QByteArrayLiteral("caf\xC3\xA9") << QStringLiteral(u"caf\u00E9");
    QTest::newRow("latin1") << QByteArrayLiteral("caf\xE9") << QStringLiteral(u"caf\u00E9");
    QTest::newRow("cut-utf8-sequence") << QByteArrayLiteral("caf\xC3") << QStringLiteral(u"caf\u00C3");
    QTest::newRow("bom-shown") << QByteArrayLiteral("\xEF\xBB\xBFx") << QStringLiteral(u"\uFEFFx");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestByteFile::displayText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DisplayText(bytes), text);
}

QTEST_APPLESS_MAIN(TestByteFile)
#include "TestByteFile.moc"
