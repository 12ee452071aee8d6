// The news requests end to end: the libcurl client, our form and reply handling, and a
// news service written in PHP whose own multipart parser reads what we send.

#include "FakeUserDialogs.h"
#include "PhpServer.h"

#include "brand/BrandProfile.h"
#include "common/UUtils.h"
#include "online/NewsService.h"
#include "platform/CurlHttpClient.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Answers by the publisher ID, so each test row picks its scenario; the form must hold
// exactly our six fields in order, with the product code and target we send.
const QByteArray NewsScript = R"php(<?php
$details = basename($_SERVER['SCRIPT_NAME']) === 'getnewsdetails.php';
$fourth = $details ? 'newsid' : 'conttype';
if (array_keys($_POST) !== ['memusername', 'prodcode', 'prodtype', $fourth, 'newstarget', 'something']
    || $_POST['newstarget'] !== 'UA') { echo 'BADFORM'; exit; }
if ($_POST['prodcode'] !== 'TX-2') { echo 'INVALIDPRODUCT'; exit; }
$sep = chr(0xAF);
switch ($_POST['memusername']) {
case 'two':      echo "\r\n  1^First^Mon{$sep}{$sep}2^Second^Tue{$sep}OK\n"; break;
case 'none':     echo 'OK'; break;
case 'code':     echo $_POST['conttype'] === 'lastcode' ? "7^Hello there^x{$sep}OK" : 'WRONGKIND'; break;
case 'html':     echo '$3Cp$3E' . $_POST['newsid'] . '$20costs 5$24$3C/p$3E' . $sep . 'OK'; break;
case 'badhtml':  echo "\$3Cp\$zz{$sep}OK"; break;
case 'conn':     echo 'CONNECTIONFAIL'; break;
case 'user':     echo 'INVALIDUSER'; break;
case 'news':     echo 'INVALIDNEWS'; break;
case 'tier':     echo $_POST['prodtype']; break;
case 'planted':
    // An id that closes the LastNewsId tag and opens a field of its own.
    $id = '7<%%/LastNewsId%%><%%AppHelpURL%%>http://evil.example/<%%/AppHelpURL%%>';
    if ($details) echo $_POST['newsid'] === $id ? "\$3Cp\$3Eplanted{$sep}OK" : 'INVALIDNEWS';
    elseif ($_POST['conttype'] === 'lastcode') echo "{$id}^Planted{$sep}OK";
    else echo "{$id}^Planted^Mon{$sep}OK";
    break;
default:         echo 'UNKNOWN';
}
)php";

const QByteArray RedirectScript = R"php(<?php
header('Location: /svc/' . basename($_SERVER['SCRIPT_NAME']), true, 302);
)php";

const QString kAccess = QStringLiteral("There is a trouble accessing the news site. Contact your provider.");

} // namespace

class TestNewsServicePhp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void newsList_data();
    void newsList();
    void lastCodeAndDetails();
    void failures_data();
    void failures();
    void plantedIdNeverStored();

private:
    QByteArray Base(const QByteArray& folder) const { return m_server.Url(folder); }

    PhpServer m_server;
};

void TestNewsServicePhp::initTestCase()
{
    QString reason;
    if (!m_server.Start({{QStringLiteral("svc/getlastnews.php"), NewsScript},
                         {QStringLiteral("svc/getnewsdetails.php"), NewsScript},
                         {QStringLiteral("old/getlastnews.php"), RedirectScript},
                         {QStringLiteral("old/getnewsdetails.php"), RedirectScript}},
                        &reason)) {
        if (m_server.PhpMissing()) QSKIP(qPrintable(reason));
        QFAIL(qPrintable(reason));
    }
}

void TestNewsServicePhp::newsList_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("publId");
    QTest::addColumn<QList<QByteArray>>("records");

    QTest::newRow("two-records-empty-skipped")
        << Base("/svc/") << QByteArray("two") << QList<QByteArray>{"1^First^Mon", "2^Second^Tue"};
    QTest::newRow("base-without-slash") << Base("/svc") << QByteArray("two")
                                        << QList<QByteArray>{"1^First^Mon", "2^Second^Tue"};
    QTest::newRow("no-news") << Base("/svc/") << QByteArray("none") << QList<QByteArray>{};
    QTest::newRow("after-redirect") << Base("/old/") << QByteArray("two")
                                    << QList<QByteArray>{"1^First^Mon", "2^Second^Tue"};
}

void TestNewsServicePhp::newsList()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, publId);
    QFETCH(QList<QByteArray>, records);
    TBrandProfile profile;
    profile.GoldNewsBaseURL = base;
    TCurlHttpClient http;
    FakeUserDialogs dialogs;
    TNewsService news(http, dialogs, profile);
    QList<QByteArray> list{"kept"};
    QVERIFY(news.FetchNewsList(publId, "TX-2", "BG", NewsTarget, list));
    QCOMPARE(list, QList<QByteArray>{"kept"} + records);
    QVERIFY(dialogs.Messages.isEmpty());
}

void TestNewsServicePhp::lastCodeAndDetails()
{
    TBrandProfile profile;
    profile.PlatinumNewsBaseURL = Base("/svc/");
    TCurlHttpClient http;
    FakeUserDialogs dialogs;
    TNewsService news(http, dialogs, profile);
    QByteArray code, text, html;
    QVERIFY(news.FetchLastNewsCode("code", "TX-2", "BP", NewsTarget, true, &code, &text));
    QCOMPARE(code, QByteArray("7"));
    QCOMPARE(text, QByteArray("Hello there"));
    QVERIFY(news.FetchNewsDetails("html", "TX-2", "42", NewsTarget, "BP", &html));
    QCOMPARE(html, QByteArray("<p>42 costs 5$</p>"));
    QVERIFY(news.FetchNewsDetails("badhtml", "TX-2", "42", NewsTarget, "BP", &html));
    QCOMPARE(html, QByteArray());
    QVERIFY(dialogs.Messages.isEmpty());
}

void TestNewsServicePhp::failures_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("publId");
    QTest::addColumn<QByteArray>("prodCode");
    QTest::addColumn<bool>("details");
    QTest::addColumn<QString>("message"); // empty: none shown

    const QByteArray svc = Base("/svc/");
    QTest::newRow("connection-fail") << svc << QByteArray("conn") << QByteArray("TX-2") << false
                                     << QStringLiteral("There is a trouble in the settings file on the news site.");
    QTest::newRow("invalid-user") << svc << QByteArray("user") << QByteArray("TX-2") << false
                                  << QStringLiteral("There is a trouble with the Publisher Id. Contact your provider.");
    QTest::newRow("invalid-product") << svc << QByteArray("two") << QByteArray("XX") << false
                                     << QStringLiteral(
                                            "There is a trouble with the product validation. Contact your provider.");
    QTest::newRow("invalid-news-details")
        << svc << QByteArray("news") << QByteArray("TX-2") << true
        << QStringLiteral("There is a trouble with this news. Contact your provider.");
    QTest::newRow("invalid-news-for-list") << svc << QByteArray("news") << QByteArray("TX-2") << false << QString();
    QTest::newRow("not-found") << Base("/missing/") << QByteArray("two") << QByteArray("TX-2") << false << kAccess;
    QTest::newRow("empty-base") << QByteArray() << QByteArray("two") << QByteArray("TX-2") << true << kAccess;
}

void TestNewsServicePhp::failures()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, publId);
    QFETCH(QByteArray, prodCode);
    QFETCH(bool, details);
    QFETCH(QString, message);
    TBrandProfile profile;
    profile.MasterNewsBaseURL = base;
    TCurlHttpClient http;
    FakeUserDialogs dialogs;
    TNewsService news(http, dialogs, profile);
    QList<QByteArray> list;
    QByteArray html;
    const bool ok = details ? news.FetchNewsDetails(publId, prodCode, "1", NewsTarget, "BM", &html)
                            : news.FetchNewsList(publId, prodCode, "BM", NewsTarget, list);
    QVERIFY(!ok);
    QVERIFY(list.isEmpty());
    QCOMPARE(dialogs.MessageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty()) QCOMPARE(dialogs.Messages.first().kind, TMsgDlgType::Warning);
}

void TestNewsServicePhp::plantedIdNeverStored()
{
    const QByteArray planted = "7<%%/LastNewsId%%><%%AppHelpURL%%>http://evil.example/<%%/AppHelpURL%%>";
    TBrandProfile profile;
    profile.MasterNewsBaseURL = Base("/svc/");
    TCurlHttpClient http;
    FakeUserDialogs dialogs;
    TNewsService news(http, dialogs, profile);

    // The service's texts come back as sent: listed, and fetched by that id.
    QList<QByteArray> list;
    QVERIFY(news.FetchNewsList("planted", "TX-2", "BM", NewsTarget, list));
    QCOMPARE(list, QList<QByteArray>{planted + "^Planted^Mon"});
    QByteArray html;
    QVERIFY(news.FetchNewsDetails("planted", "TX-2", planted, NewsTarget, "BM", &html));
    QCOMPARE(html, QByteArray("<p>planted"));
    QByteArray code, text;
    QVERIFY(news.FetchLastNewsCode("planted", "TX-2", "BM", NewsTarget, true, &code, &text));
    QCOMPARE(code, planted);
    QVERIFY(dialogs.Messages.isEmpty());

    // But such a code is no news, and such an id never reaches the profile.
    QVERIFY(!NewsCodeIsNewer(code, QByteArray()));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("dbsettings.dat"));
    QString error;
    QVERIFY2(EncryptBytesToFile("<%%LastNewsId%%>3<%%/LastNewsId%%>\r\n", path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    QVERIFY(!StoreLastNewsId(folder.path(), code, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

QTEST_GUILESS_MAIN(TestNewsServicePhp)
#include "TestNewsServicePhp.moc"
