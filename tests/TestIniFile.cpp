#include "common/ByteFile.h"
#include "common/IniFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

#include <sys/stat.h>
#include <unistd.h>

using Writes = QList<QByteArrayList>; // each {section, key, value}

class TestIniFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void read_data();
    void read();
    void write_data();
    void write();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void typedWrites();
    void missingFileLoadsEmptyAndSaveCreatesIt();
    void loadRefuses_data();
    void loadRefuses();
    void saveIntoMissingFolderFails();
    void saveThroughLinkKeepsLinkAndMode();
    void ownerOnlySaveNarrowsTheMode_data();
    void ownerOnlySaveNarrowsTheMode();
    void keysOfASection();

private:
    static TIniFile FromBytes(const QByteArray& content);
    QByteArray Path(const char* name) const;

    QTemporaryDir m_dir;
};

static const QByteArray kDefaultText = QByteArrayLiteral("<default>");

void TestIniFile::init()
{
    QVERIFY(m_dir.isValid());
}

QByteArray TestIniFile::Path(const char* name) const
{
    return QFile::encodeName(m_dir.path()) + '/' + name;
}

// Goes through a real file so the tests read what Load reads.
TIniFile TestIniFile::FromBytes(const QByteArray& content)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path()) + "/config.ini";
    QString error;
    TIniFile ini;
    if (!ByteFile::WriteReplacing(path, content, &error) || !ini.Load(path, &error)) qWarning("%s", qPrintable(error));
    return ini;
}

void TestIniFile::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("text");  // ReadString with kDefaultText
    QTest::addColumn<QVariant>("integer"); // invalid: ReadInteger gives its default

    const QByteArray settings = QByteArrayLiteral("; capture settings\n"
                                                  "top=level\n"
                                                  "[Settings]\n"
                                                  "Folder = \t/home/a,b=c;d \t\n"
                                                  "BrowserX=0x400\n"
                                                  "Dollar=$FF\n"
                                                  "UpperX=0X1f\n"
                                                  "Negative=-5\n"
                                                  "Plus=+7\n"
                                                  "Junk=12abc\n"
                                                  "Letter=1a\n"
                                                  "Empty=\n"
                                                  "Huge=99999999999\n"
                                                  "HugeHex=$80000000\n"
                                                  "Max=2147483647\n"
                                                  "Min=-2147483648\n"
                                                  "Below=-2147483649\n"
                                                  "BareDollar=$\n"
                                                  "SpaceInside=1 2\n"
                                                  "Flag2=2\n"
                                                  "Flag0=0\n"
                                                  "Dup=1\n"
                                                  "DUP=2\n"
                                                  "# Hashed=3\n"
                                                  "  ;Indented=4\n"
                                                  "[Other]\n"
                                                  "BrowserX=5\n");
    const QByteArray s = QByteArrayLiteral("Settings");
    auto row = [&](const char* name, const QByteArray& section, const char* key, const QByteArray& text,
                   const QVariant& integer) {
        QTest::newRow(name) << settings << section << QByteArray(key) << text << integer;
    };
    row("case-of-section-and-key", "sETTINGS", "browserx", "0x400", 1024);
    row("value-trimmed-and-kept-whole", s, "Folder", "/home/a,b=c;d", QVariant());
    row("dollar-hex", s, "Dollar", "$FF", 255);
    row("upper-x-hex", s, "UpperX", "0X1f", 31);
    row("negative", s, "Negative", "-5", -5);
    row("plus-sign", s, "Plus", "+7", 7);
    row("trailing-junk", s, "Junk", "12abc", QVariant());
    // "a" is one past the last decimal digit's value.
    row("hex-letter-in-decimal", s, "Letter", "1a", QVariant());
    row("empty-value", s, "Empty", "", QVariant());
    row("beyond-32-bits", s, "Huge", "99999999999", QVariant());
    row("hex-beyond-32-bits", s, "HugeHex", "$80000000", QVariant());
    row("int-max", s, "Max", "2147483647", INT_MAX);
    row("int-min", s, "Min", "-2147483648", INT_MIN);
    row("below-int-min", s, "Below", "-2147483649", QVariant());
    row("prefix-without-digits", s, "BareDollar", "$", QVariant());
    row("space-inside", s, "SpaceInside", "1 2", QVariant());
    row("flag-two", s, "Flag2", "2", 2);
    row("flag-zero", s, "Flag0", "0", 0);
    row("missing-key", s, "Nothing", kDefaultText, QVariant());
    row("missing-section", "Nowhere", "BrowserX", kDefaultText, QVariant());
    row("same-key-other-section", "Other", "BrowserX", "5", 5);
    row("first-duplicate-wins", s, "dup", "1", 1);
    row("hash-comment", s, "Hashed", kDefaultText, QVariant());
    row("indented-semicolon-comment", s, "Indented", kDefaultText, QVariant());
    row("key-before-any-section", "", "top", "level", QVariant());
    row("section-key-not-outside", "", "BrowserX", kDefaultText, QVariant());

    const QByteArray endings[][2] = {
        {"crlf", "[A]\r\nx=1\r\ny=22\r\n"},
        {"lf", "[A]\nx=1\ny=22\n"},
        {"cr", "[A]\rx=1\ry=22\r"},
        {"no-final-ending", "[A]\nx=1\ny=22"},
    };
    for (const auto& ending : endings)
        QTest::newRow(ending[0].constData())
            << ending[1] << QByteArray("a") << QByteArray("Y") << QByteArray("22") << QVariant(22);
    QTest::newRow("blanks-inside-brackets")
        << QByteArrayLiteral("[ A ]\nx=1\n") << QByteArray("A") << QByteArray("x") << QByteArray("1") << QVariant(1);
    QTest::newRow("utf8-mark-before-header") << QByteArrayLiteral("\xEF\xBB\xBF[A]\nx=1\n") << QByteArray("A")
                                             << QByteArray("x") << QByteArray("1") << QVariant(1);
}

void TestIniFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, text);
    QFETCH(QVariant, integer);

    const TIniFile ini = FromBytes(content);
    QCOMPARE(ini.ReadString(section, key, kDefaultText), text);
    // Two defaults, so a value that happens to equal one of them still shows.
    for (const int fallback : {-77, 4242}) {
        QCOMPARE(ini.ReadInteger(section, key, fallback), integer.isValid() ? integer.toInt() : fallback);
        for (const bool flagFallback : {false, true})
            QCOMPARE(ini.ReadBool(section, key, flagFallback), integer.isValid() ? integer.toInt() != 0 : flagFallback);
    }
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<Writes>("writes");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("from-nothing") << QByteArray()
                                  << Writes{{"Settings", "Folder", "/tmp/out"}, {"Settings", "BrowserX", "800"}}
                                  << QByteArrayLiteral("[Settings]\nFolder=/tmp/out\nBrowserX=800\n");
    QTest::newRow("update-keeps-the-rest")
        << QByteArrayLiteral("; written by hand\r\n"
                             "[Window]\r\n"
                             "Left=10\r\n"
                             "\r\n"
                             "[Settings]\r\n"
                             "Folder=/old\r\n"
                             "  BrowserX = 640  ; old size\r\n"
                             "Unknown=kept\r\n"
                             "\r\n"
                             "; the next one is for plugins\r\n"
                             "[Plugins]\r\n"
                             "Count=0\r\n")
        << Writes{{"settings", "browserx", "1024"}, {"Settings", "Skip", "1"}, {"Recent", "Last", "x"}}
        << QByteArrayLiteral("; written by hand\r\n"
                             "[Window]\r\n"
                             "Left=10\r\n"
                             "\r\n"
                             "[Settings]\r\n"
                             "Folder=/old\r\n"
                             "browserx=1024\r\n"
                             "Unknown=kept\r\n"
                             "Skip=1\r\n"
                             "\r\n"
                             "; the next one is for plugins\r\n"
                             "[Plugins]\r\n"
                             "Count=0\r\n"
                             "\r\n"
                             "[Recent]\r\n"
                             "Last=x\r\n");
    QTest::newRow("new-key-in-empty-section")
        << QByteArrayLiteral("[A]\n[B]\nb=1\n") << Writes{{"A", "a", "1"}} << QByteArrayLiteral("[A]\na=1\n[B]\nb=1\n");
    QTest::newRow("new-section-after-unterminated-line")
        << QByteArrayLiteral("[A]\nx=1") << Writes{{"B", "y", "2"}} << QByteArrayLiteral("[A]\nx=1\n\n[B]\ny=2\n");
    QTest::newRow("new-key-after-unterminated-line")
        << QByteArrayLiteral("[A]\nx=1") << Writes{{"A", "y", "2"}} << QByteArrayLiteral("[A]\nx=1\ny=2\n");
    QTest::newRow("cr-only-style-kept") << QByteArrayLiteral("[A]\rx=1\r") << Writes{{"A", "y", "2"}}
                                        << QByteArrayLiteral("[A]\rx=1\ry=2\r");
    QTest::newRow("key-without-section-goes-first")
        << QByteArrayLiteral("; top\n[A]\nx=1\n") << Writes{{"", "top", "1"}}
        << QByteArrayLiteral("top=1\n; top\n[A]\nx=1\n");
    QTest::newRow("new-key-in-section-of-other-case")
        << QByteArrayLiteral("[a]\nx=1\n") << Writes{{"A", "y", "2"}} << QByteArrayLiteral("[a]\nx=1\ny=2\n");
    QTest::newRow("first-duplicate-updated")
        << QByteArrayLiteral("[A]\nk=1\nK=2\n") << Writes{{"A", "k", "3"}} << QByteArrayLiteral("[A]\nk=3\nK=2\n");
    QTest::newRow("utf8-mark-kept") << QByteArrayLiteral("\xEF\xBB\xBF[A]\nx=1\n") << Writes{{"A", "x", "2"}}
                                    << QByteArrayLiteral("\xEF\xBB\xBF[A]\nx=2\n");
    QTest::newRow("line-break-cuts-value")
        << QByteArrayLiteral("[A]\n") << Writes{{"A", "x", "one\n[B]\r\ny=2"}} << QByteArrayLiteral("[A]\nx=one\n");
    // A write of a section and a key alone deletes the key.
    QTest::newRow("delete-only-that-section's-key")
        << QByteArrayLiteral("[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n") << Writes{{"a", "K"}}
        << QByteArrayLiteral("[A]\r\nj=2\r\n[B]\r\nk=3\r\n");
    QTest::newRow("delete-missing-key-changes-nothing")
        << QByteArrayLiteral("[A]\nk=1\n; k=2\n") << Writes{{"A", "j"}, {"B", "k"}, {"", "k"}}
        << QByteArrayLiteral("[A]\nk=1\n; k=2\n");
    QTest::newRow("delete-unterminated-last-line")
        << QByteArrayLiteral("[A]\nk=1\nj=2") << Writes{{"A", "j"}, {"A", "n", "3"}}
        << QByteArrayLiteral("[A]\nk=1\nn=3\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(Writes, writes);
    QFETCH(QByteArray, after);

    TIniFile ini = before.isEmpty() ? TIniFile() : FromBytes(before);
    for (const QByteArrayList& w : writes) {
        if (w.size() == 2)
            ini.DeleteKey(w.at(0), w.at(1));
        else
            ini.WriteString(w.at(0), w.at(1), w.at(2));
    }
    QCOMPARE(ini.ToBytes(), after);
}

void TestIniFile::valuesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("readBack");

    QTest::newRow("folder-with-separators")
        << QByteArrayLiteral("/home/a,b=c;d #e") << QByteArrayLiteral("/home/a,b=c;d #e");
    QTest::newRow("not-utf8") << QByteArrayLiteral("/m\xE9"
                                                   "dia")
                              << QByteArrayLiteral("/m\xE9"
                                                   "dia");
    QTest::newRow("quotes-and-backslashes") << QByteArrayLiteral("\"C:\\out\\\"") << QByteArrayLiteral("\"C:\\out\\\"");
    // Blanks at either end are written, but reading trims them: only the inside survives.
    QTest::newRow("leading-and-trailing-blanks") << QByteArrayLiteral("  \tpadded \t") << QByteArrayLiteral("padded");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestIniFile::valuesRoundTrip()
{
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, readBack);

    const QByteArray path = Path("config.ini");
    TIniFile out;
    out.WriteString("Settings", "Folder", written);
    out.WriteString("Settings", "After", "next");
    QString error;
    QVERIFY2(out.Save(path, &error), qPrintable(error));

    QByteArray stored;
    QVERIFY(ByteFile::ReadAll(path, &stored, &error));
    QVERIFY(stored.contains("\nFolder=" + written + '\n'));

    TIniFile in;
    QVERIFY2(in.Load(path, &error), qPrintable(error));
    QCOMPARE(in.ReadString("Settings", "Folder", kDefaultText), readBack);
    QCOMPARE(in.ReadString("Settings", "After", kDefaultText), QByteArray("next"));
}

void TestIniFile::typedWrites()
{
    TIniFile ini;
    ini.WriteInteger("S", "Min", INT_MIN);
    ini.WriteInteger("S", "Size", 800);
    ini.WriteBool("S", "On", true);
    ini.WriteBool("S", "Off", false);
    QCOMPARE(ini.ToBytes(), QByteArrayLiteral("[S]\nMin=-2147483648\nSize=800\nOn=1\nOff=0\n"));

    ini.WriteInteger("S", "Size", 1024);
    ini.WriteBool("S", "On", false);
    QCOMPARE(ini.ReadInteger("S", "Size", 0), 1024);
    QCOMPARE(ini.ReadInteger("S", "Min", 0), INT_MIN);
    QCOMPARE(ini.ReadBool("S", "On", true), false);
}

void TestIniFile::missingFileLoadsEmptyAndSaveCreatesIt()
{
    const QByteArray path = Path("missing.ini");
    TIniFile ini = FromBytes("[S]\nx=1\n");
    QString error;
    QVERIFY2(ini.Load(path, &error), qPrintable(error));
    QCOMPARE(ini.ToBytes(), QByteArray());
    QCOMPARE(ini.ReadInteger("S", "x", 9), 9);

    ini.WriteBool("Settings", "Skip", true);
    QVERIFY2(ini.Save(path, &error), qPrintable(error));
    QByteArray stored;
    QVERIFY(ByteFile::ReadAll(path, &stored, &error));
    QCOMPARE(stored, QByteArrayLiteral("[Settings]\nSkip=1\n"));
}

void TestIniFile::loadRefuses_data()
{
    QTest::addColumn<QByteArray>("name"); // empty: the test folder itself
    QTest::addColumn<qint64>("size");     // of the file made under that name
    QTest::addColumn<QString>("reason");

    QTest::newRow("folder") << QByteArray() << qint64(0) << QStringLiteral("it is a folder");
    QTest::newRow("over-1-MiB") << QByteArrayLiteral("big.ini") << (qint64(1) << 20) + 1
                                << QStringLiteral("it is larger than 1 MiB");
}

void TestIniFile::loadRefuses()
{
    QFETCH(QByteArray, name);
    QFETCH(qint64, size);
    QFETCH(QString, reason);

    const QByteArray path = name.isEmpty() ? QFile::encodeName(m_dir.path()) : Path(name.constData());
    if (!name.isEmpty()) {
        QString error;
        QVERIFY2(ByteFile::WriteReplacing(path, "[S]\nx=1\n", &error), qPrintable(error));
        QCOMPARE(::truncate(path.constData(), size), 0);
    }
    TIniFile ini = FromBytes("[S]\nx=1\n");
    QString error;
    QVERIFY(!ini.Load(path, &error));
    QVERIFY2(error.contains(QString::fromLocal8Bit(path)), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(ini.ReadInteger("S", "x", 9), 9);
}

void TestIniFile::saveIntoMissingFolderFails()
{
    const QByteArray path = Path("no-such-folder/config.ini");
    TIniFile ini;
    ini.WriteInteger("Settings", "BrowserX", 800);
    QString error;
    QVERIFY(!ini.Save(path, &error));
    QVERIFY2(error.contains(QString::fromLocal8Bit(path)), qPrintable(error));
    QVERIFY(!ByteFile::FileExists(path));
}

void TestIniFile::saveThroughLinkKeepsLinkAndMode()
{
    // A user who keeps config.ini elsewhere, private to himself.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QByteArray target = QFile::encodeName(elsewhere.path()) + "/thumbrix.ini";
    const QByteArray link = Path("linked-config.ini");
    QString error;
    QVERIFY2(ByteFile::WriteReplacing(target, "; mine\n[Settings]\nBrowserX=800\n", &error), qPrintable(error));
    QCOMPARE(::chmod(target.constData(), 0600), 0);
    QCOMPARE(::symlink(target.constData(), link.constData()), 0);

    TIniFile ini;
    QVERIFY2(ini.Load(link, &error), qPrintable(error));
    ini.WriteInteger("Settings", "BrowserX", 1024);
    QVERIFY2(ini.Save(link, &error), qPrintable(error));

    struct stat st;
    QCOMPARE(::lstat(link.constData(), &st), 0);
    QVERIFY(S_ISLNK(st.st_mode));
    QCOMPARE(::stat(target.constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0600));
    QByteArray stored;
    QVERIFY2(ByteFile::ReadAll(target, &stored, &error), qPrintable(error));
    QCOMPARE(stored, QByteArrayLiteral("; mine\n[Settings]\nBrowserX=1024\n"));
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("thumbrix.ini")});
    QVERIFY(QDir(m_dir.path()).entryList({QStringLiteral(".thumbrix-*")}, QDir::Hidden | QDir::Files).isEmpty());
}

void TestIniFile::ownerOnlySaveNarrowsTheMode_data()
{
    QTest::addColumn<int>("before"); // the old file's mode; -1: none
    QTest::addColumn<bool>("ownerOnly");
    QTest::addColumn<int>("after"); // -1: as the umask gives a new file

    QTest::newRow("new") << -1 << true << 0600;
    QTest::newRow("new-plain") << -1 << false << -1;
    QTest::newRow("readable-by-all") << 0644 << true << 0600;
    QTest::newRow("read-only-stays-so") << 0400 << true << 0400;
    QTest::newRow("plain-keeps-the-mode") << 0640 << false << 0640;
}

void TestIniFile::ownerOnlySaveNarrowsTheMode()
{
    QFETCH(int, before);
    QFETCH(bool, ownerOnly);
    QFETCH(int, after);
    const QByteArray path = Path(QTest::currentDataTag());
    QString error;
    if (before >= 0) {
        QVERIFY2(ByteFile::WriteReplacing(path, "[A]\nx=1\n", &error), qPrintable(error));
        QCOMPARE(::chmod(path.constData(), mode_t(before)), 0);
    }
    TIniFile ini;
    QVERIFY2(ini.Load(path, &error), qPrintable(error));
    ini.WriteString("A", "x", "2");
    QVERIFY2(ini.Save(path, &error, ownerOnly), qPrintable(error));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct stat st;
    QCOMPARE(::stat(path.constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, after >= 0 ? mode_t(after) : mode_t(0666 & ~mask));
}

void TestIniFile::keysOfASection()
{
    const TIniFile ini = FromBytes("top=0\n[A]\nk=1\n; j=2\nK=3\n[B]\nk=4\n[a]\nn=5\n");
    QCOMPARE(ini.Keys("A"), (QList<QByteArray>{"k", "K", "n"}));
    QCOMPARE(ini.Keys(""), (QList<QByteArray>{"top"}));
    QCOMPARE(ini.Keys("C"), QList<QByteArray>());
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "TestIniFile.moc"
