#include "FakeHttpClient.h"
#include "FakeUserDialogs.h"

#include "brand/BrandProfile.h"
#include "common/UUtils.h"
#include "online/NewsService.h"

#include <QTest>

using Fields = QList<QPair<QByteArray, QByteArray>>;

namespace {

enum class Kind {
    List,
    LastCode,
    Details,
};

const QString kAccess = QStringLiteral("There is a trouble accessing the news site. Contact your provider.");
const QString kSettings = QStringLiteral("There is a trouble in the settings file on the news site.");
const QString kUser = QStringLiteral("There is a trouble with the Publisher Id. Contact your provider.");
const QString kProduct = QStringLiteral("There is a trouble with the product validation. Contact your provider.");
const QString kNews = QStringLiteral("There is a trouble with this news. Contact your provider.");

TBrandProfile Profile()
{
    TBrandProfile profile;
    profile.BranderCode = "TBX-7";
    profile.MasterNewsBaseURL = "http://master.example/news/";
    profile.PlatinumNewsBaseURL = "http://platinum.example/news";
    profile.GoldNewsBaseURL = "http://gold.example:8080/n/";
    profile.MasterPublID = "pub-m";
    profile.PlatinumPublID = "pub-p";
    profile.GoldPublID = "pub-g";
    return profile;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestNewsService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void serviceUrl_data();
    void serviceUrl();
    void selectTier_data();
    void selectTier();
    void requestForm_data();
    void requestForm();
    void listReply_data();
    void listReply();
    void listAppendsToWhatIsThere();
    void lastCodeReply_data();
    void lastCodeReply();
    void detailsReply_data();
    void detailsReply();
    void failureMessage_data();
    void failureMessage();
    void silentLastCodeShowsNothing();
    void decodeHexEscapes_data();
    void decodeHexEscapes();
    void newsIdToInt_data();
    void newsIdToInt();
    void newsIdsCompareAsNumbers();
    void newsCodeIsNewer_data();
    void newsCodeIsNewer();

private:
    // Runs one request of `kind` with the reply queued (or a failed transfer when `ok` is false).
    bool Run(Kind kind, bool ok, const QByteArray& reply, FakeUserDialogs& dialogs, QByteArray* first = nullptr,
             QByteArray* second = nullptr);
};

bool TestNewsService::Run(Kind kind, bool ok, const QByteArray& reply, FakeUserDialogs& dialogs, QByteArray* first,
                          QByteArray* second)
{
    FakeHttpClient http;
    if (ok)
        http.Reply(reply);
    else
        http.Fail();
    const TBrandProfile profile = Profile();
    TNewsService service(http, dialogs, profile);
    QByteArray a, b;
    QList<QByteArray> list;
    bool result = false;
    switch (kind) {
    case Kind::List:
        result = service.FetchNewsList("pub-m", "TBX-7", "BM", NewsTarget, list);
        a = list.join('|');
        break;
    case Kind::LastCode:
        result = service.FetchLastNewsCode("pub-m", "TBX-7", "BM", NewsTarget, false, &a, &b);
        break;
    case Kind::Details:
        result = service.FetchNewsDetails("pub-m", "TBX-7", "12", NewsTarget, "BM", &a);
        break;
    }
    if (first) *first = a;
    if (second) *second = b;
    return result;
}

void TestNewsService::serviceUrl_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("url");
    QTest::newRow("with-slash") << QByteArray("http://h.example/news/") << QByteArray("http://h.example/news/s.php");
    QTest::newRow("without-slash") << QByteArray("http://h.example/news") << QByteArray("http://h.example/news/s.php");
    QTest::newRow("empty-base") << QByteArray() << QByteArray("/s.php");
}

void TestNewsService::serviceUrl()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, url);
    QCOMPARE(NewsServiceUrl(base, "s.php"), url);
}

void TestNewsService::selectTier_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("blankPublId");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QByteArray>("publId");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("master") << QByteArray("Master") << false << true << QByteArray("pub-m") << QByteArray("BM");
    QTest::newRow("platinum") << QByteArray("Platinum") << false << true << QByteArray("pub-p") << QByteArray("BP");
    QTest::newRow("gold") << QByteArray("Gold") << false << true << QByteArray("pub-g") << QByteArray("BG");
    QTest::newRow("gold-without-id") << QByteArray("Gold") << true << false << QByteArray() << QByteArray();
    QTest::newRow("lower-case") << QByteArray("gold") << false << false << QByteArray() << QByteArray();
    QTest::newRow("trailing-space") << QByteArray("Gold ") << false << false << QByteArray() << QByteArray();
    QTest::newRow("free") << QByteArray("Free") << false << false << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << false << QByteArray() << QByteArray();
}

void TestNewsService::selectTier()
{
    QFETCH(QByteArray, type);
    QFETCH(bool, blankPublId);
    QFETCH(bool, selected);
    QFETCH(QByteArray, publId);
    QFETCH(QByteArray, code);

    TBrandProfile profile = Profile();
    profile.BranderType = type;
    if (blankPublId) profile.MasterPublID = profile.PlatinumPublID = profile.GoldPublID = QByteArray();
    TNewsTier tier;
    QCOMPARE(SelectNewsTier(profile, &tier), selected);
    if (selected) {
        QCOMPARE(tier.PublId, publId);
        QCOMPARE(tier.TierCode, code);
    }
}

void TestNewsService::requestForm_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("fourthName");
    QTest::addColumn<QByteArray>("fourthValue");

    const struct
    {
        const char* type;
        const char* base;
    } tiers[] = {{"Master", "http://master.example/news/"},
                 {"Platinum", "http://platinum.example/news/"},
                 {"Gold", "http://gold.example:8080/n/"}};
    for (const auto& tier : tiers) {
        const QByteArray base(tier.base);
        QTest::addRow("%s-list", tier.type) << Kind::List << QByteArray(tier.type) << base + "getlastnews.php"
                                            << QByteArray("conttype") << QByteArray("all");
        QTest::addRow("%s-lastcode", tier.type) << Kind::LastCode << QByteArray(tier.type) << base + "getlastnews.php"
                                                << QByteArray("conttype") << QByteArray("lastcode");
        QTest::addRow("%s-details", tier.type) << Kind::Details << QByteArray(tier.type) << base + "getnewsdetails.php"
                                               << QByteArray("newsid") << QByteArray("42");
    }
}

void TestNewsService::requestForm()
{
    QFETCH(Kind, kind);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, fourthName);
    QFETCH(QByteArray, fourthValue);

    TBrandProfile profile = Profile();
    profile.BranderType = type;
    TNewsTier tier;
    QVERIFY(SelectNewsTier(profile, &tier));

    FakeHttpClient http;
    http.Reply("OK");
    FakeUserDialogs dialogs;
    TNewsService service(http, dialogs, profile);
    QList<QByteArray> list;
    QByteArray code, text, html;
    switch (kind) {
    case Kind::List:
        QVERIFY(service.FetchNewsList(tier.PublId, profile.BranderCode, tier.TierCode, NewsTarget, list));
        break;
    case Kind::LastCode:
        QVERIFY(
            service.FetchLastNewsCode(tier.PublId, profile.BranderCode, tier.TierCode, NewsTarget, true, &code, &text));
        break;
    case Kind::Details:
        QVERIFY(service.FetchNewsDetails(tier.PublId, profile.BranderCode, "42", NewsTarget, tier.TierCode, &html));
        break;
    }

    QCOMPARE(http.Posts.size(), 1);
    const FakeHttpClient::Post& post = http.Posts.first();
    QCOMPARE(post.url, url);
    const Fields expected = {{"memusername", tier.PublId}, {"prodcode", "TBX-7"}, {"prodtype", tier.TierCode},
                             {fourthName, fourthValue},    {"newstarget", "UA"},  {"something", QByteArray()}};
    QCOMPARE(post.fields, expected);
    QCOMPARE(post.boundary.size(), 8 + 15);
    QVERIFY(post.boundary.startsWith("--------"));
}

void TestNewsService::listReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QByteArray>("records"); // joined with "|"

    QTest::newRow("ok-alone") << QByteArray("OK") << true << QByteArray();
    QTest::newRow("one-record") << QByteArray("1^A^x\xAFOK") << true << QByteArray("1^A^x");
    QTest::newRow("two-records") << QByteArray("2^B^y\xAF"
                                               "1^A^x\xAFOK")
                                 << true << QByteArray("2^B^y|1^A^x");
    QTest::newRow("empty-record-skipped") << QByteArray("2^B^y\xAF\xAF"
                                                        "1^A^x\xAFOK")
                                          << true << QByteArray("2^B^y|1^A^x");
    QTest::newRow("ok-record-in-middle-skipped") << QByteArray("2^B^y\xAFOK\xAF"
                                                               "1^A^x\xAFOK")
                                                 << true << QByteArray("2^B^y|1^A^x");
    QTest::newRow("not-ok-is-success") << QByteArray("NOT OK") << true << QByteArray("NOT OK");
    // Success means "OK" anywhere, not "OK" at the end.
    QTest::newRow("record-after-ok") << QByteArray("OK\xAF"
                                                   "1^A^x")
                                     << true << QByteArray("1^A^x");
    QTest::newRow("lower-case-ok-fails") << QByteArray("ok") << false << QByteArray();
    QTest::newRow("whitespace-around") << QByteArray(" \t\r\n1^A^x\xAFOK\r\n \t") << true << QByteArray("1^A^x");
    QTest::newRow("control-bytes-around") << QByteArray("\x01\x1F"
                                                        "1^A^x\xAFOK\x0B")
                                          << true << QByteArray("1^A^x");
}

void TestNewsService::listReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, success);
    QFETCH(QByteArray, records);

    FakeUserDialogs dialogs;
    QByteArray got;
    QCOMPARE(Run(Kind::List, true, reply, dialogs, &got), success);
    QCOMPARE(got, records);
    QVERIFY(dialogs.Messages.isEmpty());
}

void TestNewsService::listAppendsToWhatIsThere()
{
    FakeHttpClient http;
    http.Reply("1^A^x\xAFOK");
    http.Reply("INVALIDUSER");
    FakeUserDialogs dialogs;
    const TBrandProfile profile = Profile();
    TNewsService service(http, dialogs, profile);
    QList<QByteArray> list{"old"};
    QVERIFY(service.FetchNewsList("pub-m", "TBX-7", "BM", NewsTarget, list));
    QVERIFY(!service.FetchNewsList("pub-m", "TBX-7", "BM", NewsTarget, list));
    QCOMPARE(list, (QList<QByteArray>{"old", "1^A^x"}));
}

void TestNewsService::lastCodeReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("code-and-text") << QByteArray("7^Hello\xAFOK") << true << QByteArray("7") << QByteArray("Hello");
    QTest::newRow("extra-fields-ignored")
        << QByteArray("7^Hello^more\xAFOK") << true << QByteArray("7") << QByteArray("Hello");
    QTest::newRow("ok-alone") << QByteArray("OK") << true << QByteArray() << QByteArray();
    QTest::newRow("code-without-text") << QByteArray("7\xAFOK") << true << QByteArray("7") << QByteArray();
    QTest::newRow("padded") << QByteArray("\r\n 12^Hi there\xAFOK \r\n") << true << QByteArray("12")
                            << QByteArray("Hi there");
    QTest::newRow("text-after-end-marker")
        << QByteArray("7^Hello\xAFOK^served by v2") << true << QByteArray("7") << QByteArray("Hello");
    QTest::newRow("failure") << QByteArray("INVALIDUSER") << false << QByteArray() << QByteArray();
}

void TestNewsService::lastCodeReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, success);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, text);

    FakeUserDialogs dialogs;
    QByteArray gotCode = "stale", gotText = "stale";
    QCOMPARE(Run(Kind::LastCode, true, reply, dialogs, &gotCode, &gotText), success);
    QCOMPARE(gotCode, code);
    QCOMPARE(gotText, text);
}

void TestNewsService::detailsReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QByteArray>("html");

    QTest::newRow("escapes") << QByteArray("$3Cb$3E100$24$3C/b$3E\xAFOK") << true << QByteArray("<b>100$</b>");
    QTest::newRow("plain") << QByteArray("<p>Hi</p>\xAFOK") << true << QByteArray("<p>Hi</p>");
    QTest::newRow("malformed-escape") << QByteArray("<p>5$ off</p>\xAFOK") << true << QByteArray();
    QTest::newRow("text-after-end-marker")
        << QByteArray("<p>Hi</p>\xAFOK<!-- 3 ms -->") << true << QByteArray("<p>Hi</p><!-- 3 ms -->");
    QTest::newRow("invalid-news") << QByteArray("INVALIDNEWS") << false << QByteArray();
}

void TestNewsService::detailsReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, success);
    QFETCH(QByteArray, html);

    FakeUserDialogs dialogs;
    QByteArray got = "stale";
    QCOMPARE(Run(Kind::Details, true, reply, dialogs, &got), success);
    QCOMPARE(got, html);
}

void TestNewsService::failureMessage_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("transferOk");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message"); // empty: none shown

    const struct
    {
        const char* name;
        Kind kind;
    } kinds[] = {{"list", Kind::List}, {"lastcode", Kind::LastCode}, {"details", Kind::Details}};
    for (const auto& k : kinds) {
        QTest::addRow("%s-transfer-failed", k.name) << k.kind << false << QByteArray() << kAccess;
        QTest::addRow("%s-empty-body", k.name) << k.kind << true << QByteArray(" \r\n") << kAccess;
        QTest::addRow("%s-connectionfail", k.name) << k.kind << true << QByteArray("CONNECTIONFAIL\r\n") << kSettings;
        QTest::addRow("%s-invaliduser", k.name) << k.kind << true << QByteArray("INVALIDUSER") << kUser;
        QTest::addRow("%s-invalidproduct", k.name) << k.kind << true << QByteArray("INVALIDPRODUCT") << kProduct;
        QTest::addRow("%s-invalidnews", k.name)
            << k.kind << true << QByteArray("INVALIDNEWS") << (k.kind == Kind::Details ? kNews : QString());
        QTest::addRow("%s-lower-case-word", k.name) << k.kind << true << QByteArray("invaliduser") << QString();
        QTest::addRow("%s-unknown", k.name) << k.kind << true << QByteArray("Server busy") << QString();
    }
}

void TestNewsService::failureMessage()
{
    QFETCH(Kind, kind);
    QFETCH(bool, transferOk);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);

    FakeUserDialogs dialogs;
    QVERIFY(!Run(kind, transferOk, reply, dialogs));
    if (message.isEmpty()) {
        QVERIFY(dialogs.Messages.isEmpty());
        return;
    }
    QCOMPARE(dialogs.Messages.size(), 1);
    QCOMPARE(dialogs.Messages.first().text, message);
    QCOMPARE(dialogs.Messages.first().kind, TMsgDlgType::Warning);
    QCOMPARE(dialogs.Messages.first().buttons, TMsgDlgButtons(mbOK));
}

void TestNewsService::silentLastCodeShowsNothing()
{
    FakeHttpClient http;
    http.Fail();
    http.Reply("INVALIDUSER");
    FakeUserDialogs dialogs;
    TBrandProfile profile = Profile();
    profile.MasterNewsBaseURL.clear();
    TNewsService service(http, dialogs, profile);
    QByteArray code, text;
    QVERIFY(!service.FetchLastNewsCode("pub-m", "TBX-7", "BM", NewsTarget, true, &code, &text));
    QVERIFY(!service.FetchLastNewsCode("pub-m", "TBX-7", "BM", NewsTarget, true, &code, &text));
    QCOMPARE(http.Posts.first().url, QByteArray("/getlastnews.php"));
    QVERIFY(dialogs.Messages.isEmpty());
}

void TestNewsService::decodeHexEscapes_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("tags") << QByteArray("$3Cb$3E") << QByteArray("<b>");
    QTest::newRow("literal-dollar") << QByteArray("100$24") << QByteArray("100$");
    QTest::newRow("lower-and-upper") << QByteArray("$e9$E9") << QByteArray("\xE9\xE9");
    QTest::newRow("one-digit-at-end") << QByteArray("a$4") << QByteArray("a\x04", 2);
    QTest::newRow("zero-byte") << QByteArray("$00x") << QByteArray("\0x", 2);
    QTest::newRow("three-digits-take-two") << QByteArray("$414") << QByteArray("A4");
    QTest::newRow("no-escape") << QByteArray("plain text") << QByteArray("plain text");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("space-after-dollar") << QByteArray("5$ off") << QByteArray();
    QTest::newRow("not-hex") << QByteArray("$zz") << QByteArray();
    QTest::newRow("second-digit-bad") << QByteArray("ok $4g") << QByteArray();
    QTest::newRow("lone-dollar-at-end") << QByteArray("$41abc$") << QByteArray();
}

void TestNewsService::decodeHexEscapes()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QCOMPARE(DecodeHexEscapes(input), output);
}

void TestNewsService::newsIdToInt_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("decimal") << QByteArray("9") << 9;
    QTest::newRow("leading-spaces") << QByteArray(" 5") << 5;
    QTest::newRow("negative") << QByteArray("-3") << -3;
    QTest::newRow("plus") << QByteArray("+8") << 8;
    QTest::newRow("dollar-hex") << QByteArray("$1F") << 31;
    QTest::newRow("0x-hex") << QByteArray("0x10") << 16;
    QTest::newRow("0X-hex") << QByteArray("0Xff") << 255;
    QTest::newRow("max") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("min") << QByteArray("-2147483648") << int(-2147483647 - 1);
    QTest::newRow("just-over-max") << QByteArray("2147483648") << 0;
    QTest::newRow("too-big") << QByteArray("99999999999") << 0;
    QTest::newRow("letters") << QByteArray("abc") << 0;
    QTest::newRow("trailing-space") << QByteArray("5 ") << 0;
    QTest::newRow("trailing-letter") << QByteArray("12a") << 0;
    QTest::newRow("sign-alone") << QByteArray("-") << 0;
    QTest::newRow("prefix-alone") << QByteArray("$") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestNewsService::newsIdToInt()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    QCOMPARE(NewsIdToInt(text), value);
}

void TestNewsService::newsIdsCompareAsNumbers()
{
    QVERIFY(NewsIdToInt("10") > NewsIdToInt("9"));
    QVERIFY(!(NewsIdToInt("9") > NewsIdToInt("10")));
}

void TestNewsService::newsCodeIsNewer_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("newer");

    QTest::newRow("ten-after-nine") << QByteArray("10") << QByteArray("9") << true;
    QTest::newRow("nine-after-ten") << QByteArray("9") << QByteArray("10") << false;
    QTest::newRow("same") << QByteArray("5") << QByteArray("5") << false;
    QTest::newRow("nothing-stored") << QByteArray("1") << QByteArray() << true;
    QTest::newRow("zero-nothing-stored") << QByteArray("0") << QByteArray() << false;
    QTest::newRow("leading-zeros") << QByteArray("010") << QByteArray("9") << true;
    QTest::newRow("past-32-bits") << QByteArray("4294967296") << QByteArray("9") << true;
    QTest::newRow("eighteen-digits") << QByteArray("100000000000000000") << QByteArray("99999999999999999") << true;
    QTest::newRow("eighteen-digits-older")
        << QByteArray("99999999999999999") << QByteArray("100000000000000000") << false;
    // Stored values the reseller wrote by hand read as before.
    QTest::newRow("stored-abc") << QByteArray("5") << QByteArray("abc") << true;
    QTest::newRow("stored-with-space") << QByteArray("5") << QByteArray(" 5") << false;
    QTest::newRow("stored-hex") << QByteArray("16") << QByteArray("0x10") << false;
    QTest::newRow("stored-negative") << QByteArray("0") << QByteArray("-1") << true;
    // A code that is not 1 to 18 decimal digits is no news, whatever is stored.
    QTest::newRow("code-nineteen-digits") << QByteArray("1000000000000000000") << QByteArray("9") << false;
    QTest::newRow("code-plus-sign") << QByteArray("+10") << QByteArray("9") << false;
    QTest::newRow("code-leading-space") << QByteArray(" 10") << QByteArray("9") << false;
    QTest::newRow("code-hex") << QByteArray("0x10") << QByteArray("9") << false;
    QTest::newRow("code-dollar-hex") << QByteArray("$10") << QByteArray() << false;
    QTest::newRow("code-trailing-letter") << QByteArray("12a") << QByteArray() << false;
    QTest::newRow("code-tag-text") << QByteArray("7<%%/LastNewsId%%><%%AppHelpURL%%>x<%%/AppHelpURL%%>") << QByteArray()
                                   << false;
    QTest::newRow("code-empty") << QByteArray() << QByteArray("-5") << false;
}

void TestNewsService::newsCodeIsNewer()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, stored);
    QFETCH(bool, newer);
    QCOMPARE(NewsCodeIsNewer(code, stored), newer);
}

QTEST_GUILESS_MAIN(TestNewsService)
#include "TestNewsService.moc"
