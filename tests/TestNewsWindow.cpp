// The news window and the alert balloon.

#include "MainWindowFixture.h"
#include "PhpServer.h"

#include "common/UUtils.h"
#include "online/FNews.h"
#include "online/UpdateCheck.h"
#include "platform/BalloonHint.h"
#include "platform/CurlHttpClient.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>

class TestNewsWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void fillsRowsFromRecords();
    void selectingFetchesAndStores();
    void failedFetchKeepsPageAndId();
    void idNotDigitsShownNotStored();
    void selectionHoldsWhileFetching();
    void balloonOneAtATimeGoesAtKeyPress();
    void startupCheck_data();
    void startupCheck();
    void newsCommand();
    void plantedIdLeavesProfileAlone();
    void updateButton();
    void installedCopyKeepsFilesPerUser();
    void upgradeFindsTheFilesEveryBrandShared();
};

namespace {

QByteArray Tag(const char* name, const QByteArray& value)
{
    return "<%%" + QByteArray(name) + "%%>" + value + "<%%/" + QByteArray(name) + "%%>\r\n";
}

void WriteProfile(MainWindowFixture& f, const QByteArray& tier, const QByteArray& lastNewsId)
{
    QByteArray plain = Tag("ApplicationName", "N") + Tag("BranderCode", "PC") + Tag("BranderType", tier) +
                       Tag("MasterNewsBaseURL", "http://news.invalid/m") + Tag("MasterPublID", "pub");
    if (!lastNewsId.isNull()) plain += Tag("LastNewsId", lastNewsId);
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, f.ProgramFolder.filePath(QStringLiteral("dbsettings.dat")), &error),
             qPrintable(error));
}

QByteArray FileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

QByteArray DecryptedProfile(const MainWindowFixture& f)
{
    QByteArray plain;
    bool authentic = false;
    QString error;
    if (!DecryptFileToBytes(f.ProgramFolder.filePath(QStringLiteral("dbsettings.dat")), &plain, &authentic, &error) ||
        !authentic)
        return QByteArrayLiteral("<not authentic>");
    return plain;
}

// The fixture's window, but with `http` in place of the fixture's fake client.
TfrmMain& OpenWith(MainWindowFixture& f, THttpClient& http)
{
    TMainParts parts;
    parts.ProgramFolder = f.ProgramFolder.path();
    parts.Dialogs = &f.Dialogs;
    parts.Shell = &f.Shell;
    parts.WelcomeView = &f.Welcome;
    parts.Random = f.Random;
    parts.Http = &http;
    parts.NewHtmlView = [&f] {
        auto view = std::make_unique<FakeHtmlView>();
        f.NewsViews << view.get();
        return view;
    };
    parts.Launcher = [&f](const QString& program, const QStringList& arguments) {
        f.Launched << program << arguments;
        return true;
    };
    parts.CaptureBrowser = &f.Capture;
    parts.BrowsingBrowser = &f.Browsing;
    parts.BrowsingView = f.BrowsingView;
    f.Window = std::make_unique<TfrmMain>(parts);
    f.Window->show();
    return *f.Window;
}

// A news service whose first item's id closes the LastNewsId tag and opens a help address
// of its own. Its details are served only for the ids it listed, as it received them.
const QByteArray kPlantedId = "7<%%/LastNewsId%%><%%AppHelpURL%%>http://evil.example/<%%/AppHelpURL%%>";
const QByteArray PlantingNewsScript = R"php(<?php
$sep = chr(0xAF);
$planted = '7<%%/LastNewsId%%><%%AppHelpURL%%>http://evil.example/<%%/AppHelpURL%%>';
if (basename($_SERVER['SCRIPT_NAME']) === 'getnewsdetails.php') {
    if ($_POST['newsid'] === $planted) echo '$3Cp$3Eplanted$3C/p$3E' . $sep . 'OK';
    elseif ($_POST['newsid'] === '5') echo '$3Cp$3Eplain$3C/p$3E' . $sep . 'OK';
    else echo 'INVALIDNEWS';
} elseif ($_POST['conttype'] === 'all') {
    echo $planted . '^Read me^Mon' . $sep . '5^Plain^Tue' . $sep . 'OK';
} else {
    echo 'OK';
}
)php";

} // namespace

void TestNewsWindow::cleanup()
{
    // Also after a failed row: a balloon left over would answer for the next one.
    if (TBalloonHint::Current()) TBalloonHint::Current()->close();
}

void TestNewsWindow::fillsRowsFromRecords()
{
    FakeHtmlView view;
    TfrmNews window(
        {"3^Third^2026-12-01", "2^Second^2026-11-20^extra^more", "1^Only title"},
        [](const QByteArray&, QByteArray*) { return true; }, [](const QByteArray&) {}, view);
    QCOMPARE(window.windowTitle(), QStringLiteral("News"));
    QTreeWidget* items = window.Items();
    QCOMPARE(items->topLevelItemCount(), 3);
    QCOMPARE(items->headerItem()->text(0), QStringLiteral("News Title"));
    QCOMPARE(items->headerItem()->text(1), QStringLiteral("Published"));
    QCOMPARE(items->topLevelItem(0)->text(0), QStringLiteral("Third"));
    QCOMPARE(items->topLevelItem(0)->text(1), QStringLiteral("2026-12-01"));
    // More than three pieces: the first three count; fewer: the missing ones are empty.
    QCOMPARE(items->topLevelItem(1)->text(1), QStringLiteral("2026-11-20"));
    QCOMPARE(items->topLevelItem(2)->text(1), QString());
    QVERIFY(items->selectedItems().isEmpty());
    QVERIFY(view.Html.isEmpty());
    QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("btnExit"))->text(), QStringLiteral("Close"));
}

void TestNewsWindow::selectingFetchesAndStores()
{
    FakeHtmlView view;
    QList<QByteArray> fetched, stored;
    TfrmNews window(
        {"10^New^d1", "4^Old^d2"},
        [&fetched](const QByteArray& id, QByteArray* html) {
            fetched << id;
            *html = "<p>item " + id + "</p>";
            return true;
        },
        [&stored](const QByteArray& id) { stored << id; }, view);
    window.Items()->setCurrentItem(window.Items()->topLevelItem(0));
    QCOMPARE(view.Html, QByteArray("<p>item 10</p>"));
    // An older item read after a newer one is what is stored: the last read, not the greatest.
    window.Items()->setCurrentItem(window.Items()->topLevelItem(1));
    QCOMPARE(view.Html, QByteArray("<p>item 4</p>"));
    QCOMPARE(fetched, (QList<QByteArray>{"10", "4"}));
    QCOMPARE(stored, (QList<QByteArray>{"10", "4"}));
    QVERIFY(!window.Busy());
}

void TestNewsWindow::failedFetchKeepsPageAndId()
{
    FakeHtmlView view;
    view.Html = "<p>before</p>";
    QList<QByteArray> stored;
    TfrmNews window(
        {"7^T^d"}, [](const QByteArray&, QByteArray*) { return false; },
        [&stored](const QByteArray& id) { stored << id; }, view);
    window.Items()->setCurrentItem(window.Items()->topLevelItem(0));
    QCOMPARE(view.Html, QByteArray("<p>before</p>"));
    QVERIFY(stored.isEmpty());
}

void TestNewsWindow::idNotDigitsShownNotStored()
{
    FakeHtmlView view;
    QList<QByteArray> fetched, stored;
    TfrmNews window(
        {"7x^Letter^d", "+8^Sign^d", "1234567890123456789^Nineteen^d", "9^Digits^d"},
        [&fetched](const QByteArray& id, QByteArray* html) {
            fetched << id;
            *html = "<p>" + id + "</p>";
            return true;
        },
        [&stored](const QByteArray& id) { stored << id; }, view);
    QCOMPARE(window.Items()->topLevelItemCount(), 4);
    for (int row = 0; row < 4; ++row) {
        window.Items()->setCurrentItem(window.Items()->topLevelItem(row));
        QCOMPARE(view.Html, "<p>" + fetched.last() + "</p>");
    }
    QCOMPARE(fetched, (QList<QByteArray>{"7x", "+8", "1234567890123456789", "9"}));
    QCOMPARE(stored, QList<QByteArray>{"9"});
}

void TestNewsWindow::selectionHoldsWhileFetching()
{
    FakeHtmlView view;
    TfrmNews* window = nullptr;
    bool triedDuringFetch = false;
    bool busyDuringFetch = false;
    TfrmNews news(
        {"1^A^d", "2^B^d"},
        [&](const QByteArray& id, QByteArray*) -> bool {
            if (id == "1") {
                // The user clicks another row while the request waits.
                busyDuringFetch = window->Busy();
                window->Items()->setCurrentItem(window->Items()->topLevelItem(1));
                triedDuringFetch = true;
            }
            return true;
        },
        [](const QByteArray&) {}, view);
    window = &news;
    news.show();
    news.Items()->setCurrentItem(news.Items()->topLevelItem(0));
    QVERIFY(triedDuringFetch);
    QVERIFY(busyDuringFetch);
    QCOMPARE(news.Items()->selectedItems().size(), 1);
    QCOMPARE(news.Items()->selectedItems().first()->text(0), QStringLiteral("A"));
}

void TestNewsWindow::balloonOneAtATimeGoesAtKeyPress()
{
    QWidget host;
    host.resize(200, 100);
    host.show();
    QPointer<TBalloonHint> first = TBalloonHint::Show(QStringLiteral("You've Got A Message!\r\nHello"), QPoint(50, 60));
    QVERIFY(first->isVisible());
    QCOMPARE(first->TipPoint(), QPoint(50, 60));
    QPointer<TBalloonHint> second = TBalloonHint::Show(QStringLiteral("Again"), QPoint(10, 10));
    QTRY_VERIFY(first.isNull());
    QCOMPARE(TBalloonHint::Current(), second.data());
    QTest::keyClick(&host, Qt::Key_A);
    QTRY_VERIFY(second.isNull());
    QVERIFY(!TBalloonHint::Current());
}

void TestNewsWindow::startupCheck_data()
{
    QTest::addColumn<QByteArray>("tier");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("balloon"); // empty: none

    QTest::newRow("nine-then-ten") << QByteArray("Master") << QByteArray("9") << QByteArray("10^Hello\xAFOK")
                                   << QStringLiteral("You've Got A Message!\r\nHello");
    QTest::newRow("ten-then-nine") << QByteArray("Master") << QByteArray("10") << QByteArray("9^Old\xAFOK")
                                   << QString();
    QTest::newRow("nothing-stored") << QByteArray("Master") << QByteArray() << QByteArray("1^First\xAFOK")
                                    << QStringLiteral("You've Got A Message!\r\nFirst");
    QTest::newRow("stored-abc-is-zero") << QByteArray("Master") << QByteArray("abc") << QByteArray("5^Five\xAFOK")
                                        << QStringLiteral("You've Got A Message!\r\nFive");
    QTest::newRow("ok-alone") << QByteArray("Master") << QByteArray("3") << QByteArray("OK") << QString();
    QTest::newRow("failure-is-silent") << QByteArray("Master") << QByteArray() << QByteArray("INVALIDUSER")
                                       << QString();
    QTest::newRow("free-tier-asks-nothing") << QByteArray("Free") << QByteArray() << QByteArray() << QString();
    // The code must be a news id, 1 to 18 decimal digits; anything else is no news.
    QTest::newRow("code-with-letter") << QByteArray("Master") << QByteArray() << QByteArray("7x^Hi\xAFOK") << QString();
    QTest::newRow("code-with-sign") << QByteArray("Master") << QByteArray("3") << QByteArray("+9^Hi\xAFOK")
                                    << QString();
    QTest::newRow("code-hexadecimal") << QByteArray("Master") << QByteArray("3") << QByteArray("0x10^Hi\xAFOK")
                                      << QString();
    QTest::newRow("code-planting-tags") << QByteArray("Master") << QByteArray()
                                        << QByteArray("7<%%/LastNewsId%%>^Hi\xAFOK") << QString();
    QTest::newRow("code-nineteen-digits")
        << QByteArray("Master") << QByteArray("3") << QByteArray("1000000000000000000^Hi\xAFOK") << QString();
    QTest::newRow("code-past-32-bits") << QByteArray("Master") << QByteArray("9") << QByteArray("4294967296^Big\xAFOK")
                                       << QStringLiteral("You've Got A Message!\r\nBig");
}

void TestNewsWindow::startupCheck()
{
    QFETCH(QByteArray, tier);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, reply);
    QFETCH(QString, balloon);
    MainWindowFixture f;
    WriteProfile(f, tier, stored);
    if (!reply.isEmpty()) f.Http.Reply(reply);
    TfrmMain& window = f.Open();
    QVERIFY(window.NewsTimer().isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!f.Http.Gets.isEmpty(), 5000); // the silent update check comes last
    QVERIFY(!window.NewsTimer().isActive());
    QCOMPARE(f.Http.Posts.size(), tier == "Free" ? 0 : 1);
    QCOMPARE(f.Http.Gets.first(), UpdateBaseUrl() + "mainappupdate.inf");
    QCOMPARE(TBalloonHint::Current() ? TBalloonHint::Current()->Text() : QString(), balloon);
    QVERIFY(f.Dialogs.Messages.isEmpty());
}

void TestNewsWindow::newsCommand()
{
    MainWindowFixture f;
    WriteProfile(f, "Master", "1");
    TfrmMain& window = f.Open();
    auto* news = f.Find<QToolButton>("btnNews");

    f.Http.Reply("OK");
    news->click();
    QCOMPARE(f.Dialogs.MessageTexts(), QStringList{QStringLiteral("There's no news for this application!")});

    f.Http.Reply("7^Seventh^Dec\xAF"
                 "3^Third^Nov\xAF"
                 "OK");
    f.Http.Reply("$3Cp$3Eseven\xAFOK");
    WhenModalOpens([](QDialog* dialog) {
        auto* items = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwItems"));
        items->setCurrentItem(items->topLevelItem(0));
        dialog->accept();
    });
    news->click();
    QCOMPARE(window.News(), (QList<QByteArray>{"7^Seventh^Dec", "3^Third^Nov"}));
    QCOMPARE(f.NewsViews.size(), 1);
    QCOMPARE(f.Http.Posts.last().fields.at(3), (QPair<QByteArray, QByteArray>{"newsid", "7"}));
    QString error;
    QCOMPARE(ReadLastNewsId(f.ProgramFolder.path(), &error), QByteArray("7"));
}

void TestNewsWindow::plantedIdLeavesProfileAlone()
{
    PhpServer server;
    QString reason;
    if (!server.Start({{QStringLiteral("news/getlastnews.php"), PlantingNewsScript},
                       {QStringLiteral("news/getnewsdetails.php"), PlantingNewsScript}},
                      &reason)) {
        if (server.PhpMissing()) QSKIP(qPrintable(reason));
        QFAIL(qPrintable(reason));
    }

    // No help address of the reseller's own; the welcome page keeps the start-up check
    // (and its update request) from running during the test.
    MainWindowFixture f;
    const QByteArray plain =
        Tag("ApplicationName", "Sample Shots") + Tag("BranderCode", "PC") + Tag("BranderType", "Master") +
        Tag("MasterNewsBaseURL", server.Url("/news/")) + Tag("MasterPublID", "pub") + Tag("CopyrightYears", "2024") +
        Tag("CopyrightCompany", "Sample Ltd") + Tag("Welcome1", "<p>welcome</p>") + Tag("LastNewsId", "3");
    QString error;
    const QString profilePath = f.ProgramFolder.filePath(QStringLiteral("dbsettings.dat"));
    QVERIFY2(EncryptBytesToFile(plain, profilePath, &error), qPrintable(error));
    QFile file(profilePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    TCurlHttpClient http;
    TfrmMain& window = OpenWith(f, http);
    QCOMPARE(window.Profile().CopyrightYears, QByteArray("2024"));
    auto* news = f.Find<QToolButton>("btnNews");

    // Open the planted item: its page is shown, but its id is never written.
    const auto openRow = [&f](int row, QByteArray* shown) {
        WhenModalOpens([&f, row, shown](QDialog* dialog) {
            auto* items = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwItems"));
            items->setCurrentItem(items->topLevelItem(row));
            *shown = f.NewsViews.last()->Html;
            dialog->accept();
        });
    };
    QByteArray shown;
    openRow(0, &shown);
    news->click();
    QCOMPARE(window.News(), (QList<QByteArray>{kPlantedId + "^Read me^Mon", "5^Plain^Tue"}));
    QCOMPARE(shown, QByteArray("<p>planted</p>"));

    // A later start reads the same reseller's fields, and no help address.
    TBrandProfile reread;
    QVERIFY(LoadBrandProfile(f.ProgramFolder.path(), ClockSeededRandom(), &reread, &error));
    QCOMPARE(reread.AppHelpURL, QByteArray());
    QCOMPARE(reread.CopyrightYears, QByteArray("2024"));
    QCOMPARE(reread.CopyrightCompany, QByteArray("Sample Ltd"));
    QCOMPARE(reread.WelcomeHtml, QByteArray("<p>welcome</p>"));
    QCOMPARE(ReadLastNewsId(f.ProgramFolder.path(), &error), QByteArray("3"));
    QCOMPARE(DecryptedProfile(f), plain);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    file.close();

    // The plain item next to it is stored as before, in the same line.
    openRow(1, &shown);
    news->click();
    QCOMPARE(shown, QByteArray("<p>plain</p>"));
    QByteArray expected = plain;
    expected.replace("<%%LastNewsId%%>3<%%/LastNewsId%%>", "<%%LastNewsId%%>5<%%/LastNewsId%%>");
    QCOMPARE(DecryptedProfile(f), expected);
    QVERIFY(!DecryptedProfile(f).contains("evil.example"));
    QVERIFY(f.Dialogs.Messages.isEmpty());
}

void TestNewsWindow::updateButton()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    f.Http.Fail();
    f.Find<QToolButton>("btnUpdate")->click();
    QCOMPARE(f.Dialogs.MessageTexts().last(), QStringLiteral("There's no new updates for this application!"));

    // A newer version, the user agrees twice: the updater starts and the window closes.
    QFile updater(f.ProgramFolder.filePath(QStringLiteral("Updater.exe")));
    QVERIFY(updater.open(QIODevice::WriteOnly));
    updater.close();
    f.Http.Reply("[APPLICATION]\r\nVersion = 2.5 \r\n");
    f.Dialogs.MessageAnswers << mrOk << mrOk;
    f.Find<QToolButton>("btnUpdate")->click();
    QCOMPARE(f.Launched, (QStringList{updater.fileName(), QString::fromLatin1(UpdateBaseUrl()), QStringLiteral("2.0"),
                                      QStringLiteral("A")}));
    QVERIFY(!window.isVisible());
    QVERIFY(QFile::exists(f.ProgramFolder.filePath(QStringLiteral("config.ini"))));
}

// An installed copy writes nothing beside the program: its settings, the update download
// and the last news read each go to the user's own folder.
void TestNewsWindow::installedCopyKeepsFilesPerUser()
{
    MainWindowFixture f;
    QTemporaryDir home;
    f.UserFolders = {home.filePath(QStringLiteral("config/thumbrix")), home.filePath(QStringLiteral("cache/thumbrix")),
                     home.filePath(QStringLiteral("state/thumbrix"))};
    WriteProfile(f, "Master", "1");
    f.WriteConfig("[Settings]\nThumbX=500\n");
    const QDir program(f.ProgramFolder.path());
    const auto snapshot = [&program] {
        QStringList files;
        for (const QFileInfo& info : program.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            files << info.fileName() + QLatin1Char(' ') + QString::fromLatin1(file.readAll().toHex());
        }
        return files;
    };
    const QStringList before = snapshot();

    // The start-up check finds item 5 newer than the profile's 1, and downloads the update file.
    f.Http.Reply("5^Five\xAFOK");
    f.Http.Reply("[APPLICATION]\r\nVersion=1.0\r\n");
    TfrmMain& window = f.Open();
    QCOMPARE(f.Find<QSpinBox>("speThumbX")->value(), 500); // the copy's settings until the user has their own
    QTRY_VERIFY_WITH_TIMEOUT(!f.Http.Gets.isEmpty(), 5000);
    QCOMPARE(TBalloonHint::Current() ? TBalloonHint::Current()->Text() : QString(),
             QStringLiteral("You've Got A Message!\r\nFive"));
    QVERIFY(QFile::exists(home.filePath(QStringLiteral("cache/thumbrix/mainappupdate.inf"))));

    f.Http.Reply("7^Seventh^Dec\xAFOK");
    f.Http.Reply("$3Cp$3Eseven\xAFOK");
    WhenModalOpens([](QDialog* dialog) {
        auto* items = dialog->findChild<QTreeWidget*>(QStringLiteral("lvwItems"));
        items->setCurrentItem(items->topLevelItem(0));
        dialog->accept();
    });
    f.Find<QToolButton>("btnNews")->click();
    f.Find<QSpinBox>("speThumbX")->setValue(400);
    window.close();

    QCOMPARE(snapshot(), before);
    // The brand's own folders: another reseller's copy keeps its news read apart.
    QFile state(home.filePath(QStringLiteral("state/thumbrix/brand-PC/lastnewsid")));
    QVERIFY(state.open(QIODevice::ReadOnly));
    QCOMPARE(state.readAll(), QByteArray("7\n"));
    QFile config(home.filePath(QStringLiteral("config/thumbrix/brand-PC/config.ini")));
    QVERIFY(config.open(QIODevice::ReadOnly));
    QVERIFY(config.readAll().contains("ThumbX=400"));
    for (const char* made : {"config", "config/thumbrix", "config/thumbrix/brand-PC", "cache/thumbrix",
                             "state/thumbrix", "state/thumbrix/brand-PC"})
        QCOMPARE(QFileInfo(home.filePath(QLatin1String(made))).permissions() & 0x0077, QFile::Permissions());
    QVERIFY(f.Dialogs.Messages.isEmpty());

    // The next start reads them back: item 7 is no longer news.
    TBalloonHint::Current()->close();
    QTRY_VERIFY(!TBalloonHint::Current());
    f.Http.Reply("7^Seventh\xAFOK");
    f.Http.Reply("[APPLICATION]\r\nVersion=1.0\r\n");
    f.Open();
    QCOMPARE(f.Find<QSpinBox>("speThumbX")->value(), 400);
    QTRY_VERIFY_WITH_TIMEOUT(f.Http.Gets.size() == 2, 5000);
    QVERIFY(!TBalloonHint::Current());
    QCOMPARE(snapshot(), before);
}

// Files written before copies were kept apart by brand are read until the brand has its own,
// and are left as they were.
void TestNewsWindow::upgradeFindsTheFilesEveryBrandShared()
{
    MainWindowFixture f;
    QTemporaryDir home;
    f.UserFolders = {home.filePath(QStringLiteral("config/thumbrix")), home.filePath(QStringLiteral("cache/thumbrix")),
                     home.filePath(QStringLiteral("state/thumbrix"))};
    WriteProfile(f, "Master", "1");
    const QString sharedConfig = home.filePath(QStringLiteral("config/thumbrix/config.ini"));
    const QString sharedState = home.filePath(QStringLiteral("state/thumbrix/lastnewsid"));
    QVERIFY(QDir().mkpath(QFileInfo(sharedConfig).path()) && QDir().mkpath(QFileInfo(sharedState).path()));
    QFile config(sharedConfig);
    QVERIFY(config.open(QIODevice::WriteOnly) && config.write("[Settings]\nThumbX=450\n") > 0);
    config.close();
    QFile state(sharedState);
    QVERIFY(state.open(QIODevice::WriteOnly) && state.write("5\n") > 0);
    state.close();

    // Item 5 was read before the upgrade: no balloon.
    f.Http.Reply("5^Five\xAFOK");
    f.Http.Reply("[APPLICATION]\r\nVersion=1.0\r\n");
    TfrmMain& window = f.Open();
    QCOMPARE(f.Find<QSpinBox>("speThumbX")->value(), 450);
    QTRY_VERIFY_WITH_TIMEOUT(!f.Http.Gets.isEmpty(), 5000);
    QVERIFY(!TBalloonHint::Current());
    f.Find<QSpinBox>("speThumbX")->setValue(420);
    window.close();

    QCOMPARE(FileText(sharedConfig), QByteArray("[Settings]\nThumbX=450\n"));
    QVERIFY(FileText(home.filePath(QStringLiteral("config/thumbrix/brand-PC/config.ini"))).contains("ThumbX=420"));
    QCOMPARE(FileText(sharedState), QByteArray("5\n"));
}

QTEST_MAIN(TestNewsWindow)
#include "TestNewsWindow.moc"
