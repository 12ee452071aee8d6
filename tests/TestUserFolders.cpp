// Where an installed copy keeps what it writes, and the last news read kept per user.

#include "brand/NewsIdStore.h"
#include "common/UUtils.h"
#include "common/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestUserFolders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portable_data();
    void portable();
    void xdgFolders_data();
    void xdgFolders();
    void makeUserFolder();
    void newsIdPerUser_data();
    void newsIdPerUser();
    void newsIdSavedPerUser();
    void foldersPerBrand_data();
    void foldersPerBrand();
    void newsIdKeptApartPerBrand();
};

void TestUserFolders::portable_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("portable");

    QTest::newRow("build-folder") << QStringLiteral("/home/ann/thumbrix/build/bin") << true << true;
    QTest::newRow("read-only") << QStringLiteral("/opt/thumbrix") << false << false;
    QTest::newRow("system-even-for-root") << QStringLiteral("/usr/lib/thumbrix") << true << false;
    QTest::newRow("usr-local") << QStringLiteral("/usr/local/lib/thumbrix") << true << false;
    QTest::newRow("usr-reached-by-dots") << QStringLiteral("/opt/../usr/lib/thumbrix") << true << false;
    QTest::newRow("name-starting-usr") << QStringLiteral("/usrdata/thumbrix") << true << true;
}

void TestUserFolders::portable()
{
    QFETCH(QString, folder);
    QFETCH(bool, writable);
    QFETCH(bool, portable);
    QCOMPARE(IsPortableFolder(folder, writable), portable);
}

void TestUserFolders::xdgFolders_data()
{
    using Env = QMap<QByteArray, QByteArray>;
    QTest::addColumn<Env>("env");
    QTest::addColumn<QStringList>("folders"); // settings, cache, state; none: not per user
    const auto list = [](std::initializer_list<const char*> paths) {
        QStringList out;
        for (const char* p : paths)
            out << QString::fromLatin1(p);
        return out;
    };

    QTest::newRow("defaults-under-home") << Env{{"HOME", "/home/ann"}}
                                         << list({"/home/ann/.config/thumbrix", "/home/ann/.cache/thumbrix",
                                                  "/home/ann/.local/state/thumbrix"});
    QTest::newRow("xdg-set") << Env{{"HOME", "/home/ann"},
                                    {"XDG_CONFIG_HOME", "/cfg/"},
                                    {"XDG_CACHE_HOME", "/var/cache/ann"},
                                    {"XDG_STATE_HOME", "/st"}}
                             << list({"/cfg/thumbrix", "/var/cache/ann/thumbrix", "/st/thumbrix"});
    // Relative values are invalid and must be ignored.
    QTest::newRow("relative-ignored")
        << Env{{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "cfg"}, {"XDG_STATE_HOME", "./state"}}
        << list({"/home/ann/.config/thumbrix", "/home/ann/.cache/thumbrix", "/home/ann/.local/state/thumbrix"});
    QTest::newRow("xdg-without-home") << Env{{"XDG_CONFIG_HOME", "/c"},
                                             {"XDG_CACHE_HOME", "/k"},
                                             {"XDG_STATE_HOME", "/s"}}
                                      << list({"/c/thumbrix", "/k/thumbrix", "/s/thumbrix"});
    QTest::newRow("no-home-no-xdg") << Env{} << QStringList{};
    QTest::newRow("relative-home") << Env{{"HOME", "ann"}} << QStringList{};
    QTest::newRow("home-partly") << Env{{"XDG_CONFIG_HOME", "/c"}} << QStringList{};
}

void TestUserFolders::xdgFolders()
{
    using Env = QMap<QByteArray, QByteArray>;
    QFETCH(Env, env);
    QFETCH(QStringList, folders);
    const TUserFolders got = XdgUserFolders([&env](const char* name) { return env.value(name); });
    if (folders.isEmpty()) {
        QVERIFY(!got.PerUser());
        QVERIFY(got.Cache.isEmpty() && got.State.isEmpty());
        return;
    }
    QVERIFY(got.PerUser());
    QCOMPARE((QStringList{got.Settings, got.Cache, got.State}), folders);
}

void TestUserFolders::makeUserFolder()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QVERIFY(QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadGroup | QFile::ExeGroup));
    const QString deep = home.filePath(QStringLiteral(".local/state/thumbrix"));
    QString error;
    QVERIFY2(MakeUserFolder(deep, &error), qPrintable(error));
    for (const char* made : {".local", ".local/state", ".local/state/thumbrix"}) {
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(home.filePath(QLatin1String(made))).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
    }
    // Folders that were there keep their own permissions.
    QCOMPARE(QFileInfo(home.path()).permissions() & QFile::ReadGroup, QFile::ReadGroup);
    QVERIFY2(MakeUserFolder(deep, &error), qPrintable(error));

    QFile blocker(home.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!MakeUserFolder(blocker.fileName(), &error));
    QVERIFY2(error.contains(blocker.fileName()), qPrintable(error));
    QVERIFY(!MakeUserFolder(home.filePath(QStringLiteral("file/thumbrix")), &error));
    QVERIFY2(error.contains(QStringLiteral("file")), qPrintable(error));
}

namespace {

QByteArray ProfileWith(const QByteArray& lastNewsId)
{
    QByteArray plain = "<%%ApplicationName%%>Shots<%%/ApplicationName%%>\r\n";
    if (!lastNewsId.isNull()) plain += "<%%LastNewsId%%>" + lastNewsId + "<%%/LastNewsId%%>\r\n";
    return plain;
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

} // namespace

void TestUserFolders::newsIdPerUser_data()
{
    QTest::addColumn<QByteArray>("profile");  // null: no LastNewsId line
    QTest::addColumn<QByteArray>("userFile"); // null: no file
    QTest::addColumn<QByteArray>("loaded");

    QTest::newRow("profile-only") << QByteArray("4") << QByteArray() << QByteArray("4");
    QTest::newRow("user-read-further") << QByteArray("4") << QByteArray("9\n") << QByteArray("9");
    QTest::newRow("profile-marks-newer-read") << QByteArray("12") << QByteArray("9\n") << QByteArray("12");
    QTest::newRow("user-without-profile-id") << QByteArray() << QByteArray("9") << QByteArray("9");
    QTest::newRow("profile-word-user-digits") << QByteArray("abc") << QByteArray("9\n") << QByteArray("9");
    // A damaged file of the user's leaves the reseller's starting point.
    QTest::newRow("user-file-not-digits") << QByteArray("4") << QByteArray("9x\n") << QByteArray("4");
    QTest::newRow("user-file-empty") << QByteArray("4") << QByteArray("") << QByteArray("4");
    QTest::newRow("user-file-huge") << QByteArray("4") << QByteArray(100, '9') << QByteArray("4");
}

void TestUserFolders::newsIdPerUser()
{
    QFETCH(QByteArray, profile);
    QFETCH(QByteArray, userFile);
    QFETCH(QByteArray, loaded);

    QTemporaryDir program;
    QTemporaryDir home;
    QString error;
    QVERIFY2(EncryptBytesToFile(ProfileWith(profile), program.filePath(QStringLiteral("dbsettings.dat")), &error),
             qPrintable(error));
    const TUserFolders folders{home.filePath(QStringLiteral("c")), home.filePath(QStringLiteral("k")), home.path()};
    if (!userFile.isNull()) {
        QFile file(home.filePath(QStringLiteral("lastnewsid")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(userFile);
    }
    QCOMPARE(LoadLastNewsId(program.path(), folders, &error), loaded);
}

void TestUserFolders::newsIdSavedPerUser()
{
    QTemporaryDir program;
    QTemporaryDir home;
    QString error;
    const QString profilePath = program.filePath(QStringLiteral("dbsettings.dat"));
    QVERIFY2(EncryptBytesToFile(ProfileWith("4"), profilePath, &error), qPrintable(error));
    const QByteArray profileBefore = FileBytes(profilePath);
    const TUserFolders folders{home.filePath(QStringLiteral("c")), home.filePath(QStringLiteral("k")),
                               home.filePath(QStringLiteral("state/thumbrix"))};
    const QString userFile = home.filePath(QStringLiteral("state/thumbrix/lastnewsid"));

    QVERIFY2(SaveLastNewsId(program.path(), folders, "17", &error), qPrintable(error));
    QCOMPARE(FileBytes(userFile), QByteArray("17\n"));
    QCOMPARE(LoadLastNewsId(program.path(), folders, &error), QByteArray("17"));
    QVERIFY(!SaveLastNewsId(program.path(), folders, "18\n<%%x%%>", &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(FileBytes(userFile), QByteArray("17\n"));
    QCOMPARE(FileBytes(profilePath), profileBefore);

    // A portable copy keeps it in the profile, as it always has.
    QVERIFY2(SaveLastNewsId(program.path(), TUserFolders{}, "21", &error), qPrintable(error));
    QCOMPARE(LoadLastNewsId(program.path(), TUserFolders{}, &error), QByteArray("21"));
    QVERIFY(FileBytes(profilePath) != profileBefore);
    QCOMPARE(FileBytes(userFile), QByteArray("17\n"));
}

void TestUserFolders::foldersPerBrand_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QString>("folder"); // empty: the folders as they are

    QTest::newRow("plain-code") << QByteArray("PC") << QStringLiteral("brand-PC");
    QTest::newRow("no-brand") << QByteArray() << QString();
    QTest::newRow("path-in-code") << QByteArray("../../x") << QStringLiteral("brand-2e2e2f2e2e2f78");
    QTest::newRow("space-and-latin1") << QByteArray("A b\xe9") << QStringLiteral("brand-412062e9");
}

void TestUserFolders::foldersPerBrand()
{
    QFETCH(QByteArray, code);
    QFETCH(QString, folder);
    const TUserFolders plain{QStringLiteral("/c/thumbrix"), QStringLiteral("/k/thumbrix"),
                             QStringLiteral("/s/thumbrix")};
    const TUserFolders brand = ForBrand(plain, code);
    QCOMPARE(brand.Cache, plain.Cache);
    if (folder.isEmpty()) {
        QCOMPARE((QStringList{brand.Settings, brand.State, brand.SharedSettings, brand.SharedState}),
                 (QStringList{plain.Settings, plain.State, QString(), QString()}));
    } else {
        QCOMPARE((QStringList{brand.Settings, brand.State}),
                 (QStringList{plain.Settings + u'/' + folder, plain.State + u'/' + folder}));
        QCOMPARE((QStringList{brand.SharedSettings, brand.SharedState}), (QStringList{plain.Settings, plain.State}));
    }
    // A portable copy keeps everything beside itself, brand or not.
    QVERIFY(!ForBrand(TUserFolders(), code).PerUser());
}

// One reseller's news read is not another's; what every copy shared before still counts for
// a brand until it has a file of its own.
void TestUserFolders::newsIdKeptApartPerBrand()
{
    QTemporaryDir programA;
    QTemporaryDir programB;
    QTemporaryDir home;
    QString error;
    QVERIFY(EncryptBytesToFile(ProfileWith("4"), programA.filePath(QStringLiteral("dbsettings.dat")), &error));
    QVERIFY(EncryptBytesToFile(ProfileWith("4"), programB.filePath(QStringLiteral("dbsettings.dat")), &error));
    const TUserFolders plain{home.filePath(QStringLiteral("c")), home.filePath(QStringLiteral("k")),
                             home.filePath(QStringLiteral("s"))};
    const TUserFolders a = ForBrand(plain, "A");
    const TUserFolders b = ForBrand(plain, "B");

    QVERIFY2(SaveLastNewsId(programA.path(), a, "500", &error), qPrintable(error));
    QCOMPARE(LoadLastNewsId(programA.path(), a, &error), QByteArray("500"));
    QCOMPARE(LoadLastNewsId(programB.path(), b, &error), QByteArray("4"));

    QVERIFY(MakeUserFolder(plain.State, &error));
    QFile shared(home.filePath(QStringLiteral("s/lastnewsid")));
    QVERIFY(shared.open(QIODevice::WriteOnly) && shared.write("300\n") > 0);
    shared.close();
    QCOMPARE(LoadLastNewsId(programB.path(), b, &error), QByteArray("300"));
    QCOMPARE(LoadLastNewsId(programA.path(), a, &error), QByteArray("500"));
    QVERIFY2(SaveLastNewsId(programB.path(), b, "310", &error), qPrintable(error));
    QCOMPARE(LoadLastNewsId(programB.path(), b, &error), QByteArray("310"));
    QCOMPARE(FileBytes(home.filePath(QStringLiteral("s/lastnewsid"))), QByteArray("300\n"));
}

QTEST_GUILESS_MAIN(TestUserFolders)
#include "TestUserFolders.moc"
