#include "brand/AesLib.h"
#include "brand/BrandProfile.h"
#include "common/UUtils.h"
#include "support/AsUnprivilegedUser.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

using Field = QByteArray TBrandProfile::*;

// Answers the choices in turn and remembers how many entries each was asked about.
struct ScriptedRandom
{
    QList<int> answers;
    QList<int> asked;

    TRandomIndex Function()
    {
        return [this](int count) {
            asked.append(count);
            return answers.isEmpty() ? 0 : answers.takeFirst();
        };
    }
};

QByteArray Tag(const char* name, const QByteArray& value)
{
    return "<%%" + QByteArray(name) + "%%>" + value + "<%%/" + QByteArray(name) + "%%>";
}

QString ProfileIn(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("dbsettings.dat"));
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<unreadable>");
}

// The profile layout of `plain` under `password`, as the cipher writes it.
QByteArray Encrypted(const QByteArray& plain, const QByteArray& password)
{
    QByteArray source = plain;
    QBuffer in(&source);
    QByteArray encrypted;
    QBuffer out(&encrypted);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) return QByteArray();
    TEncryption encryption(password, 262144);
    return encryption.EncryptStream(&in, &out) ? encrypted : QByteArray();
}

QByteArray Decrypted(const QString& path)
{
    QByteArray plain;
    bool authentic = false;
    QString error;
    if (!DecryptFileToBytes(path, &plain, &authentic, &error) || !authentic) return QByteArrayLiteral("<failed>");
    return plain;
}

const QList<QPair<const char*, Field>>& TextFields()
{
    static const QList<QPair<const char*, Field>> fields = {
        {"ApplicationName", &TBrandProfile::ApplicationName},
        {"BranderCode", &TBrandProfile::BranderCode},
        {"BranderType", &TBrandProfile::BranderType},
        {"AffiliateURL", &TBrandProfile::AffiliateURL},
        {"AffiliateTYPE", &TBrandProfile::AffiliateTYPE},
        {"AffiliateID", &TBrandProfile::AffiliateID},
        {"MasterNewsBaseURL", &TBrandProfile::MasterNewsBaseURL},
        {"PlatinumNewsBaseURL", &TBrandProfile::PlatinumNewsBaseURL},
        {"GoldNewsBaseURL", &TBrandProfile::GoldNewsBaseURL},
        {"MasterPublID", &TBrandProfile::MasterPublID},
        {"PlatinumPublID", &TBrandProfile::PlatinumPublID},
        {"GoldPublID", &TBrandProfile::GoldPublID},
        {"MakeMoneyButton", &TBrandProfile::MakeMoneyButton},
        {"AppHelpURL", &TBrandProfile::AppHelpURL},
        {"CopyrightYears", &TBrandProfile::CopyrightYears},
        {"CopyrightCompany", &TBrandProfile::CopyrightCompany},
        {"AboutText", &TBrandProfile::AboutText},
        {"WelcomeHtml", &TBrandProfile::WelcomeHtml},
        {"BannerImageName", &TBrandProfile::BannerImageName},
        {"BannerUrl", &TBrandProfile::BannerUrl},
        {"Link1Caption", &TBrandProfile::Link1Caption},
        {"Link1Url", &TBrandProfile::Link1Url},
        {"Link2Caption", &TBrandProfile::Link2Caption},
        {"Link2Url", &TBrandProfile::Link2Url},
    };
    return fields;
}

QByteArray FieldNamed(const TBrandProfile& p, const QByteArray& name)
{
    for (const auto& field : TextFields())
        if (name == field.first) return p.*(field.second);
    qFatal("no field %s", name.constData());
}

// What a profile with no text (or none that decrypts) must give.
void VerifyAllEmpty(const TBrandProfile& p)
{
    for (const auto& field : TextFields()) {
        const QByteArray expected = field.second == &TBrandProfile::MakeMoneyButton ? "Make Money" : "";
        QVERIFY2(p.*(field.second) == expected, field.first);
    }
    QCOMPARE(p.BannerIndex, 0);
    QCOMPARE(p.NewsAvailable, false);
}

} // namespace

class TestBrandProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extractTag_data();
    void extractTag();
    void splitByChar_data();
    void splitByChar();
    void joinProfileLines_data();
    void joinProfileLines();

    void onlyApplicationName();
    void emptyText();
    void fields_data();
    void fields();
    void newsAvailable_data();
    void newsAvailable();
    void lists_data();
    void lists();
    void bannerChoice_data();
    void bannerChoice();
    void linkChoice_data();
    void linkChoice();
    void choicesDrawnInOrder();
    void clockSeededRandomCoversRange();

    void loadWithoutFile();
    void loadWithFile();
    void loadOtherPassword();
    void loadUnreadable();
    void readLastNewsId_data();
    void readLastNewsId();
    void storeLastNewsId_data();
    void storeLastNewsId();
    void storeThenReplace();
    void storeWithoutProfile();
    void storeInReadOnlyFolder();
    void storeOnlyNewsIds_data();
    void storeOnlyNewsIds();
    void storeLeavesUnauthenticProfile_data();
    void storeLeavesUnauthenticProfile();
    void storeLeavesUnreadableProfile();
};

void TestBrandProfile::extractTag_data()
{
    // Tag names are asked for in turn on one cursor, as the profile loader does.
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("names");
    QTest::addColumn<QByteArrayList>("values");

    const QByteArray a = Tag("A", "a") + "\r\n";
    const QByteArray b = Tag("B", "b") + "\r\n";
    QTest::newRow("in text order") << "x" + a + b << QByteArrayList{"A", "B"} << QByteArrayList{"a", "b"};
    QTest::newRow("earlier tag no longer seen") << b + a << QByteArrayList{"A", "B"} << QByteArrayList{"a", ""};
    QTest::newRow("absent tag moves nothing")
        << a + b << QByteArrayList{"Z", "A", "Y", "B"} << QByteArrayList{"", "a", "", "b"};
    QTest::newRow("repeated tag gives next occurrence")
        << Tag("A", "1") + b + Tag("A", "2") << QByteArrayList{"A", "A", "A"} << QByteArrayList{"1", "2", ""};
    QTest::newRow("empty value") << Tag("A", "") + b << QByteArrayList{"A", "B"} << QByteArrayList{"", "b"};
    QTest::newRow("value spans lines") << Tag("A", "one\r\ntwo") + b << QByteArrayList{"A", "B"}
                                       << QByteArrayList{"one\r\ntwo", "b"};
    QTest::newRow("tags in lower case") << QByteArray("<%%name%%>v<%%/nAmE%%>") + b << QByteArrayList{"NAME", "B"}
                                        << QByteArrayList{"v", "b"};
    QTest::newRow("value keeps its case") << Tag("A", "MiXeD") << QByteArrayList{"a"} << QByteArrayList{"MiXeD"};
    QTest::newRow("only ASCII letters fold")
        << Tag("\xE9", "v") << QByteArrayList{"\xC9", "\xE9"} << QByteArrayList{"", "v"};
    // Without its closing tag the value is empty, but the search has passed the opening tag.
    QTest::newRow("missing closing tag, later tag found")
        << "<%%A%%>value without end " + b << QByteArrayList{"A", "B"} << QByteArrayList{"", "b"};
    QTest::newRow("missing closing tag, earlier tag lost")
        << b + "<%%A%%>value without end" << QByteArrayList{"A", "B"} << QByteArrayList{"", ""};
    QTest::newRow("closing tag before opening")
        << QByteArray("<%%/A%%>x<%%A%%>y") << QByteArrayList{"A"} << QByteArrayList{""};
}

void TestBrandProfile::extractTag()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, names);
    QFETCH(QByteArrayList, values);

    QByteArray cursor = text;
    QByteArrayList got;
    for (const QByteArray& name : names)
        got.append(ExtractTag("<%%" + name + "%%>", "<%%/" + name + "%%>", cursor));
    QCOMPARE(got, values);
}

void TestBrandProfile::splitByChar_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("pieces");

    QTest::newRow("a^b") << QByteArray("a^b") << QList<QByteArray>{"a", "b"};
    QTest::newRow("trailing delimiter") << QByteArray("a^") << QList<QByteArray>{"a"};
    QTest::newRow("leading delimiter") << QByteArray("^b") << QList<QByteArray>{"", "b"};
    QTest::newRow("doubled delimiter") << QByteArray("a^^b") << QList<QByteArray>{"a", "", "b"};
    QTest::newRow("no delimiter") << QByteArray("ab") << QList<QByteArray>{"ab"};
    QTest::newRow("empty") << QByteArray() << QList<QByteArray>{};
}

void TestBrandProfile::splitByChar()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, pieces);

    QList<QByteArray> list{"left over"};
    SplitByChar('^', text, list);
    QCOMPARE(list, pieces);
}

void TestBrandProfile::joinProfileLines_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("joined");

    QTest::newRow("mixed breaks") << QByteArray("a\rb\nc\r\nd") << QByteArray("a\r\nb\r\nc\r\nd\r\n");
    QTest::newRow("empty lines kept") << QByteArray("a\n\nb\r\n") << QByteArray("a\r\n\r\nb\r\n");
    QTest::newRow("CR then CR LF") << QByteArray("\r\r\n") << QByteArray("\r\n\r\n");
    QTest::newRow("NUL ends the text") << QByteArray("a\nb\0c\nd", 7) << QByteArray("a\r\nb\r\n");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestBrandProfile::joinProfileLines()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, joined);
    QCOMPARE(JoinProfileLines(plain), joined);
}

void TestBrandProfile::onlyApplicationName()
{
    ScriptedRandom random;
    const TBrandProfile p = ParseBrandProfile(Tag("ApplicationName", "Sample") + "\r\n", random.Function());
    QCOMPARE(p.ApplicationName, QByteArray("Sample"));
    QCOMPARE(p.AffiliateURL, QByteArray());
    QCOMPARE(p.MakeMoneyButton, QByteArray("Make Money"));
    QCOMPARE(p.WelcomeHtml, QByteArray());
    QCOMPARE(p.NewsAvailable, false);
    QCOMPARE(p.BannerIndex, 0);
    QCOMPARE(p.Link1Caption, QByteArray());
    QCOMPARE(p.Present, false);
    QVERIFY(random.asked.isEmpty());
}

void TestBrandProfile::emptyText()
{
    ScriptedRandom random;
    VerifyAllEmpty(ParseBrandProfile(QByteArray(), random.Function()));
    QVERIFY(random.asked.isEmpty());
}

void TestBrandProfile::fields_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("value");

    const QByteArray inOrder = Tag("ApplicationName", "App") + Tag("BranderCode", "BC1");
    const QByteArray reversed = Tag("BranderCode", "BC1") + Tag("ApplicationName", "App");
    QTest::newRow("code after name: code") << inOrder << QByteArray("BranderCode") << QByteArray("BC1");
    QTest::newRow("code before name: code lost") << reversed << QByteArray("BranderCode") << QByteArray();
    QTest::newRow("code before name: name") << reversed << QByteArray("ApplicationName") << QByteArray("App");
    QTest::newRow("lower-case tags") << QByteArray("<%%applicationname%%>App<%%/applicationname%%>")
                                     << QByteArray("ApplicationName") << QByteArray("App");
    QTest::newRow("text outside tags ignored") << QByteArray("junk " + Tag("AppHelpURL", "http://h/") + " more junk")
                                               << QByteArray("AppHelpURL") << QByteArray("http://h/");
    QTest::newRow("value spanning LF lines") << QByteArray(Tag("AboutText", "one\ntwo\n\nthree"))
                                             << QByteArray("AboutText") << QByteArray("one\r\ntwo\r\n\r\nthree");
    QTest::newRow("value spanning CR lines")
        << QByteArray(Tag("AboutText", "one\rtwo")) << QByteArray("AboutText") << QByteArray("one\r\ntwo");
    QTest::newRow("missing closing tag") << QByteArray("<%%CopyrightYears%%>2020") << QByteArray("CopyrightYears")
                                         << QByteArray();
    QTest::newRow("make money caption") << Tag("MakeMoneyButton", "Earn") << QByteArray("MakeMoneyButton")
                                        << QByteArray("Earn");
    QTest::newRow("empty make money caption")
        << Tag("MakeMoneyButton", "") << QByteArray("MakeMoneyButton") << QByteArray("Make Money");

    const QByteArray twice = Tag("AffiliateURL", "http://a/?x=%%AFFILIATEID%%&y=%%AFFILIATEID%%");
    QTest::newRow("affiliate marker twice")
        << twice + Tag("AffiliateID", "r7") << QByteArray("AffiliateURL") << QByteArray("http://a/?x=r7&y=r7");
    QTest::newRow("affiliate marker in lower case")
        << Tag("AffiliateURL", "http://a/?x=%%affiliateid%%") + Tag("AffiliateID", "r7") << QByteArray("AffiliateURL")
        << QByteArray("http://a/?x=%%affiliateid%%");
    QTest::newRow("affiliate marker without ID")
        << twice << QByteArray("AffiliateURL") << QByteArray("http://a/?x=&y=");
    QTest::newRow("ID read after the type")
        << Tag("AffiliateTYPE", "t") + Tag("AffiliateID", "r7") << QByteArray("AffiliateID") << QByteArray("r7");
}

void TestBrandProfile::fields()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, value);

    ScriptedRandom random;
    QCOMPARE(FieldNamed(ParseBrandProfile(plain, random.Function()), field), value);
}

void TestBrandProfile::newsAvailable_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<bool>("available");

    const QByteArray master = Tag("MasterNewsBaseURL", "http://m/") + Tag("MasterPublID", "11");
    const QByteArray platinum = Tag("PlatinumNewsBaseURL", "http://p/") + Tag("PlatinumPublID", "22");
    const QByteArray gold = Tag("GoldNewsBaseURL", "http://g/") + Tag("GoldPublID", "33");
    const auto tier = [](const char* word) { return Tag("BranderType", word); };

    QTest::newRow("Master") << tier("Master") + master << true;
    QTest::newRow("Platinum") << tier("Platinum") + platinum << true;
    QTest::newRow("Gold") << tier("Gold") + gold << true;
    QTest::newRow("Free with Master IDs") << tier("Free") + master << true;
    QTest::newRow("other tier word") << tier("Silver") + master + platinum + gold << false;
    QTest::newRow("tier in lower case") << tier("master") + master << false;
    QTest::newRow("no tier") << master << false;
    QTest::newRow("Master without base URL") << tier("Master") + Tag("MasterPublID", "11") << false;
    QTest::newRow("Master without publisher ID") << tier("Master") + Tag("MasterNewsBaseURL", "http://m/") << false;
    QTest::newRow("Gold with Master IDs") << tier("Gold") + master << false;
    QTest::newRow("Free with Gold IDs") << tier("Free") + gold << false;
}

void TestBrandProfile::newsAvailable()
{
    QFETCH(QByteArray, plain);
    QFETCH(bool, available);

    ScriptedRandom random;
    QCOMPARE(ParseBrandProfile(plain, random.Function()).NewsAvailable, available);
}

void TestBrandProfile::lists_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QList<QByteArray>>("welcome");
    QTest::addColumn<QList<QByteArray>>("banner");
    QTest::addColumn<QList<QByteArray>>("link");

    using L = QList<QByteArray>;
    QTest::newRow("all three") << Tag("Welcome1", "<p>hi</p>") + Tag("Banner1", "b.gif^http://b/") +
                                      Tag("Link1", "L^http://l/") + Tag("Link2", "M^http://m/")
                               << L{"<p>hi</p>"} << L{"b.gif^http://b/"} << L{"L^http://l/", "M^http://m/"};
    QTest::newRow("welcome 1 and 3") << Tag("Welcome1", "one") + Tag("Welcome3", "three") << L{"one"} << L{} << L{};
    QTest::newRow("empty entry ends the list")
        << Tag("Link1", "a^1") + Tag("Link2", "") + Tag("Link3", "c^3") << L{} << L{} << L{"a^1"};
    QTest::newRow("lower-case entry tags") << QByteArray("<%%welcome1%%>w<%%/WELCOME1%%>") << L{"w"} << L{} << L{};
    QTest::newRow("banner before welcome is lost")
        << Tag("Banner1", "b.gif^u") + Tag("Welcome1", "w") << L{"w"} << L{} << L{};
    QTest::newRow("welcome before about text is lost")
        << Tag("Welcome1", "w") + Tag("AboutText", "about") << L{} << L{} << L{};

    QByteArray seventeen;
    L sixteen;
    for (int n = 1; n <= 17; ++n) {
        const QByteArray entry = "w" + QByteArray::number(n);
        seventeen += Tag(QByteArray("Welcome" + QByteArray::number(n)).constData(), entry) + "\n";
        if (n <= 16) sixteen << entry;
    }
    QTest::newRow("at most sixteen") << seventeen << sixteen << L{} << L{};
}

void TestBrandProfile::lists()
{
    QFETCH(QByteArray, plain);
    QFETCH(QList<QByteArray>, welcome);
    QFETCH(QList<QByteArray>, banner);
    QFETCH(QList<QByteArray>, link);

    TProfileLists lists;
    ParseProfileFields(plain, &lists);
    QCOMPARE(lists.Welcome, welcome);
    QCOMPARE(lists.Banner, banner);
    QCOMPARE(lists.Link, link);
}

void TestBrandProfile::bannerChoice_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("imageName");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<int>("index");

    const QByteArray three =
        Tag("Banner1", "a.gif^http://a/") + Tag("Banner2", "b.jpg^http://b/") + Tag("Banner3", "c.png^http://c/");
    QTest::newRow("first of three") << three << 0 << QByteArray("a.gif") << QByteArray("http://a/") << 1;
    QTest::newRow("last of three") << three << 2 << QByteArray("c.png") << QByteArray("http://c/") << 3;
    QTest::newRow("name starts with ^") << Tag("Banner1", "^http://a/") << 0 << QByteArray() << QByteArray("http://a/")
                                        << 1;
    QTest::newRow("no ^") << Tag("Banner1", "a.gif") << 0 << QByteArray("a.gif") << QByteArray() << 1;
    QTest::newRow("nothing after ^") << Tag("Banner1", "a.gif^") << 0 << QByteArray("a.gif") << QByteArray() << 1;
    QTest::newRow("third piece ignored") << Tag("Banner1", "a.gif^http://a/^x") << 0 << QByteArray("a.gif")
                                         << QByteArray("http://a/") << 1;
}

void TestBrandProfile::bannerChoice()
{
    QFETCH(QByteArray, plain);
    QFETCH(int, answer);
    QFETCH(QByteArray, imageName);
    QFETCH(QByteArray, url);
    QFETCH(int, index);

    ScriptedRandom random;
    random.answers = {answer};
    const TBrandProfile p = ParseBrandProfile(plain, random.Function());
    QCOMPARE(p.BannerImageName, imageName);
    QCOMPARE(p.BannerUrl, url);
    QCOMPARE(p.BannerIndex, index);
}

void TestBrandProfile::linkChoice_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QList<int>>("asked");
    QTest::addColumn<QList<QByteArray>>("links"); // caption and address of link 1, then of link 2

    const QByteArray two = Tag("Link1", "One^http://1/") + Tag("Link2", "Two^http://2/");
    const QByteArray three = two + Tag("Link3", "Three^http://3/");
    using L = QList<QByteArray>;
    QTest::newRow("one link") << Tag("Link1", "One^http://1/") << QList<int>{0} << QList<int>{1}
                              << L{"One", "http://1/", "", ""};
    QTest::newRow("two links in order") << two << QList<int>{0, 0} << QList<int>{2, 1}
                                        << L{"One", "http://1/", "Two", "http://2/"};
    QTest::newRow("two links reversed") << two << QList<int>{1, 0} << QList<int>{2, 1}
                                        << L{"Two", "http://2/", "One", "http://1/"};
    QTest::newRow("first pick removed from three")
        << three << QList<int>{1, 1} << QList<int>{3, 2} << L{"Two", "http://2/", "Three", "http://3/"};
    QTest::newRow("link without ^") << Tag("Link1", "Caption only") << QList<int>{0} << QList<int>{1}
                                    << L{"Caption only", "", "", ""};
    QTest::newRow("link with empty caption")
        << Tag("Link1", "^http://1/") << QList<int>{0} << QList<int>{1} << L{"", "http://1/", "", ""};
}

void TestBrandProfile::linkChoice()
{
    QFETCH(QByteArray, plain);
    QFETCH(QList<int>, answers);
    QFETCH(QList<int>, asked);
    QFETCH(QList<QByteArray>, links);

    ScriptedRandom random;
    random.answers = answers;
    const TBrandProfile p = ParseBrandProfile(plain, random.Function());
    QCOMPARE(random.asked, asked);
    QCOMPARE(QList<QByteArray>({p.Link1Caption, p.Link1Url, p.Link2Caption, p.Link2Url}), links);
}

void TestBrandProfile::choicesDrawnInOrder()
{
    const QByteArray plain = Tag("Welcome1", "w1") + Tag("Welcome2", "w2") + Tag("Banner1", "b1^u1") +
                             Tag("Banner2", "b2^u2") + Tag("Banner3", "b3^u3") + Tag("Link1", "l1^v1") +
                             Tag("Link2", "l2^v2");
    ScriptedRandom random;
    random.answers = {1, 2, 0, 0};
    const TBrandProfile p = ParseBrandProfile(plain, random.Function());
    QCOMPARE(random.asked, QList<int>({2, 3, 2, 1}));
    QCOMPARE(p.WelcomeHtml, QByteArray("w2"));
    QCOMPARE(p.BannerImageName, QByteArray("b3"));
    QCOMPARE(p.BannerIndex, 3);
    QCOMPARE(p.Link1Caption, QByteArray("l1"));
    QCOMPARE(p.Link2Caption, QByteArray("l2"));
}

void TestBrandProfile::clockSeededRandomCoversRange()
{
    const TRandomIndex random = ClockSeededRandom();
    QList<int> seen(3, 0);
    for (int i = 0; i < 300; ++i) {
        const int index = random(3);
        QVERIFY(index >= 0 && index < 3);
        ++seen[index];
    }
    QVERIFY2(!seen.contains(0), "each index is drawn");
    QCOMPARE(random(1), 0);
}

void TestBrandProfile::loadWithoutFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TBrandProfile profile;
    profile.ApplicationName = "untouched";
    QString error = QStringLiteral("stale");
    QVERIFY(!LoadBrandProfile(dir.path(), ClockSeededRandom(), &profile, &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(profile.ApplicationName, QByteArray("untouched"));
    QCOMPARE(profile.Present, false);
}

void TestBrandProfile::loadWithFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray plain = Tag("ApplicationName", "Shots") + "\r\n" + Tag("BranderType", "Gold") + "\n" +
                             Tag("GoldNewsBaseURL", "http://g/") + Tag("GoldPublID", "9") + "\n" +
                             Tag("Link1", "Home^http://home/") + "\n";
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, ProfileIn(dir), &error), qPrintable(error));

    TBrandProfile profile;
    QVERIFY2(LoadBrandProfile(dir.path(), ClockSeededRandom(), &profile, &error), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(profile.Present, true);
    QCOMPARE(profile.ApplicationName, QByteArray("Shots"));
    QCOMPARE(profile.BranderType, QByteArray("Gold"));
    QCOMPARE(profile.NewsAvailable, true);
    QCOMPARE(profile.Link1Url, QByteArray("http://home/"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("dbsettings.dat")});
}

void TestBrandProfile::loadOtherPassword()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray plain = Tag("ApplicationName", "Shots") + Tag("Welcome1", "w");
    QBuffer source(&plain);
    QVERIFY(source.open(QIODevice::ReadOnly));
    QFile destination(ProfileIn(dir));
    QVERIFY(destination.open(QIODevice::WriteOnly));
    TEncryption encryption(QByteArrayLiteral("not the profile password"), 262144);
    QVERIFY(encryption.EncryptStream(&source, &destination));
    destination.close();

    TBrandProfile profile;
    QString error;
    QVERIFY2(LoadBrandProfile(dir.path(), ClockSeededRandom(), &profile, &error), qPrintable(error));
    QCOMPARE(profile.Present, true);
    VerifyAllEmpty(profile);
}

void TestBrandProfile::loadUnreadable()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dbsettings.dat")));

    TBrandProfile profile;
    QString error;
    QVERIFY(!LoadBrandProfile(dir.path(), ClockSeededRandom(), &profile, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(profile.Present, false);
}

void TestBrandProfile::readLastNewsId_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("value");

    const QByteArray fields = Tag("ApplicationName", "Shots") + "\r\n" + Tag("AboutText", "about") + "\r\n";
    QTest::newRow("last line") << fields + "<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n" << QByteArray("42");
    QTest::newRow("before every field") << "<%%LastNewsId%%>7<%%/LastNewsId%%>\r\n" + fields << QByteArray("7");
    QTest::newRow("lower-case tag") << fields + "<%%lastnewsid%%>8<%%/LASTNEWSID%%>" << QByteArray("8");
    QTest::newRow("no closing tag") << fields + "<%%LastNewsId%%>42" << QByteArray();
    QTest::newRow("no tag") << fields << QByteArray();
}

void TestBrandProfile::readLastNewsId()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, value);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, ProfileIn(dir), &error), qPrintable(error));
    QCOMPARE(ReadLastNewsId(dir.path(), &error), value);
    QVERIFY(error.isEmpty());
}

void TestBrandProfile::storeLastNewsId_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("appended as the last line")
        << QByteArray("<%%ApplicationName%%>Shots<%%/ApplicationName%%>\r\nsecond\r\n")
        << QByteArray("<%%ApplicationName%%>Shots<%%/ApplicationName%%>\r\nsecond\r\n"
                      "<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n");
    QTest::newRow("whole line replaced") << QByteArray("a\r\nkept? <%%LastNewsId%%>1<%%/LastNewsId%%> no\r\nb\r\n")
                                         << QByteArray("a\r\n<%%LastNewsId%%>42<%%/LastNewsId%%>\r\nb\r\n");
    QTest::newRow("first of two lines replaced")
        << QByteArray("<%%LastNewsId%%>1<%%/LastNewsId%%>\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n")
        << QByteArray("<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n");
    QTest::newRow("lower-case tag is not the line")
        << QByteArray("<%%lastnewsid%%>1<%%/lastnewsid%%>\r\n")
        << QByteArray("<%%lastnewsid%%>1<%%/lastnewsid%%>\r\n<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n");
    QTest::newRow("lines rewritten with CR LF")
        << QByteArray("a\nb\rc") << QByteArray("a\r\nb\r\nc\r\n<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n");
    QTest::newRow("empty profile") << QByteArray() << QByteArray("<%%LastNewsId%%>42<%%/LastNewsId%%>\r\n");
}

void TestBrandProfile::storeLastNewsId()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    QVERIFY2(EncryptBytesToFile(before, ProfileIn(dir), &error), qPrintable(error));
    QVERIFY2(StoreLastNewsId(dir.path(), "42", &error), qPrintable(error));
    QCOMPARE(Decrypted(ProfileIn(dir)), after);
}

void TestBrandProfile::storeThenReplace()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray fields = Tag("ApplicationName", "Shots") + "\r\n" + Tag("AboutText", "two\r\nlines") + "\r\n";
    QString error;
    QVERIFY2(EncryptBytesToFile(fields, ProfileIn(dir), &error), qPrintable(error));

    QVERIFY2(StoreLastNewsId(dir.path(), "42", &error), qPrintable(error));
    QCOMPARE(ReadLastNewsId(dir.path(), &error), QByteArray("42"));
    QFile file(ProfileIn(dir));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.readAll();
    file.close();

    QVERIFY2(StoreLastNewsId(dir.path(), "57", &error), qPrintable(error));
    QCOMPARE(ReadLastNewsId(dir.path(), &error), QByteArray("57"));
    QCOMPARE(Decrypted(ProfileIn(dir)), fields + "<%%LastNewsId%%>57<%%/LastNewsId%%>\r\n");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() != first);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("dbsettings.dat")});

    TBrandProfile profile;
    QVERIFY(LoadBrandProfile(dir.path(), ClockSeededRandom(), &profile, &error));
    QCOMPARE(profile.AboutText, QByteArray("two\r\nlines"));
}

void TestBrandProfile::storeWithoutProfile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    QVERIFY(StoreLastNewsId(dir.path(), "42", &error));
    QVERIFY(error.isEmpty());
    // A value that is no news id is refused even when there is nowhere to store it.
    QVERIFY(!StoreLastNewsId(dir.path(), "4 2", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QCOMPARE(ReadLastNewsId(dir.path(), &error), QByteArray());
}

void TestBrandProfile::storeInReadOnlyFolder()
{
    if (geteuid() == 0) {
        const QString failure = RunAsUnprivilegedUser(); // root writes into read-only folders
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        return;
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray plain = Tag("ApplicationName", "Shots") + "\r\n";
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, ProfileIn(dir), &error), qPrintable(error));

    QFile folder(dir.path());
    const QFile::Permissions writable = folder.permissions();
    QVERIFY(folder.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    const bool stored = StoreLastNewsId(dir.path(), "42", &error);
    const QString storeError = error;
    TBrandProfile profile;
    const bool loaded = LoadBrandProfile(dir.path(), ClockSeededRandom(), &profile, &error);
    folder.setPermissions(writable);

    QVERIFY(!stored);
    QVERIFY(!storeError.isEmpty());
    QVERIFY2(loaded, "reading needs no write access to the folder");
    QCOMPARE(profile.ApplicationName, QByteArray("Shots"));
    QCOMPARE(Decrypted(ProfileIn(dir)), plain);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("dbsettings.dat")});
}

void TestBrandProfile::storeOnlyNewsIds_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("stored");

    QTest::newRow("one digit") << QByteArray("7") << true;
    QTest::newRow("zero") << QByteArray("0") << true;
    QTest::newRow("leading zeros") << QByteArray("007") << true;
    QTest::newRow("eighteen digits") << QByteArray("999999999999999999") << true;
    QTest::newRow("nineteen digits") << QByteArray("1000000000000000000") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("plus sign") << QByteArray("+5") << false;
    QTest::newRow("minus sign") << QByteArray("-5") << false;
    QTest::newRow("leading space") << QByteArray(" 5") << false;
    QTest::newRow("trailing space") << QByteArray("5 ") << false;
    QTest::newRow("inner space") << QByteArray("4 2") << false;
    QTest::newRow("hexadecimal") << QByteArray("0x1F") << false;
    QTest::newRow("letter") << QByteArray("12a") << false;
    QTest::newRow("tag text") << QByteArray("7<%%/LastNewsId%%><%%AppHelpURL%%>http://evil.example/<%%/AppHelpURL%%>")
                              << false;
    QTest::newRow("closing tag alone") << QByteArray("<%%/LastNewsId%%>") << false;
    QTest::newRow("CR") << QByteArray("5\r6") << false;
    QTest::newRow("LF") << QByteArray("5\n<%%AppHelpURL%%>x<%%/AppHelpURL%%>") << false;
    QTest::newRow("CR LF at end") << QByteArray("5\r\n") << false;
    QTest::newRow("NUL") << QByteArray("5") + '\0' + "6" << false;
    QTest::newRow("Arabic-Indic digit") << QByteArray("\xD9\xA5") << false;
    QTest::newRow("superscript two") << QByteArray("\xB2") << false;
}

void TestBrandProfile::storeOnlyNewsIds()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, stored);
    QCOMPARE(IsNewsId(value), stored);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray plain = Tag("ApplicationName", "Shots") + "\r\n" + "<%%LastNewsId%%>3<%%/LastNewsId%%>\r\n";
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, ProfileIn(dir), &error), qPrintable(error));
    const QByteArray before = FileBytes(ProfileIn(dir));

    QCOMPARE(StoreLastNewsId(dir.path(), value, &error), stored);
    if (stored) {
        QVERIFY(error.isEmpty());
        QCOMPARE(Decrypted(ProfileIn(dir)),
                 Tag("ApplicationName", "Shots") + "\r\n<%%LastNewsId%%>" + value + "<%%/LastNewsId%%>\r\n");
    } else {
        QVERIFY(!error.isEmpty());
        QCOMPARE(FileBytes(ProfileIn(dir)), before);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("dbsettings.dat")});
}

void TestBrandProfile::storeLeavesUnauthenticProfile_data()
{
    QTest::addColumn<QByteArray>("file");

    const QByteArray plain = Tag("ApplicationName", "Shots") + "\r\n" + Tag("AppHelpURL", "http://help/") + "\r\n" +
                             "<%%LastNewsId%%>3<%%/LastNewsId%%>\r\n";
    const QByteArray good = Encrypted(plain, ProfilePassword());
    QVERIFY(good.size() == plain.size() + 20);
    const auto flipped = [&good](qsizetype at) {
        QByteArray bytes = good;
        bytes[at] = char(bytes.at(at) ^ 0x01);
        return bytes;
    };

    // Layout: 8 salt bytes, 2 verifier bytes, the data, a 10-byte authentication code.
    QTest::newRow("code byte flipped") << flipped(good.size() - 1);
    QTest::newRow("first code byte flipped") << flipped(good.size() - 10);
    QTest::newRow("data byte flipped") << flipped(10 + plain.size() / 2);
    QTest::newRow("verifier byte flipped") << flipped(8);
    QTest::newRow("salt byte flipped") << flipped(0);
    QTest::newRow("another password") << Encrypted(plain, QByteArrayLiteral("not the profile password"));
    QTest::newRow("last byte cut") << good.left(good.size() - 1);
    QTest::newRow("code cut off") << good.left(good.size() - 10);
    QTest::newRow("salt and verifier only") << good.left(10);
    QTest::newRow("five bytes") << good.left(5);
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("plain text") << plain;
}

void TestBrandProfile::storeLeavesUnauthenticProfile()
{
    QFETCH(QByteArray, file);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile profile(ProfileIn(dir));
    QVERIFY(profile.open(QIODevice::WriteOnly));
    QCOMPARE(profile.write(file), file.size());
    profile.close();

    QString error;
    QVERIFY(!StoreLastNewsId(dir.path(), "42", &error));
    QVERIFY(error.contains(ProfileIn(dir)));
    QCOMPARE(FileBytes(ProfileIn(dir)), file);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("dbsettings.dat")});
}

void TestBrandProfile::storeLeavesUnreadableProfile()
{
    // A profile that cannot be read at all (here a folder in its place) stays what it is.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dbsettings.dat")));

    QString error;
    QVERIFY(!StoreLastNewsId(dir.path(), "42", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(ProfileIn(dir)).isDir());
    QVERIFY(QDir(ProfileIn(dir)).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("dbsettings.dat")});
}

QTEST_GUILESS_MAIN(TestBrandProfile)
#include "TestBrandProfile.moc"
