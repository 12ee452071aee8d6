#include "common/ByteFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <dirent.h>
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
    void exists_data();
    void exists();
    void readAllFails_data();
    void readAllFails();
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
        QVERIFY(::unlink((m_root + name).constData()) == 0 || ::rmdir((m_root + name).constData()) == 0);
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
    if (::geteuid() == 0) QSKIP("root writes into read-only folders");

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

void TestByteFile::readAllFails_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << QByteArrayLiteral("nothing.txt") << QStringLiteral("No such file or directory");
    QTest::newRow("folder") << QByteArrayLiteral("d") << QStringLiteral("Is a directory");
}

void TestByteFile::readAllFails()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, reason);

    QCOMPARE(::mkdir((m_root + "d").constData(), 0777), 0);
    const QByteArray path = m_root + name;
    QByteArray data = QByteArrayLiteral("untouched");
    QString error;
    QVERIFY(!ByteFile::ReadAll(path, &data, &error));
    QCOMPARE(data, QByteArrayLiteral("untouched"));
    QVERIFY2(error.contains(QString::fromLocal8Bit(path)), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
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
