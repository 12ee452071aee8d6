#include "urllist/JobId.h"

#include <QTest>

class TestJobId : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void md5Id_data();
    void md5Id();
    void urlToFileId_data();
    void urlToFileId();
    void kindsDifferOnCaseAndSpaces();
    void unknownKindFallsBackToMd5_data();
    void unknownKindFallsBackToMd5();
    void isSafeFileId_data();
    void isSafeFileId();
};

void TestJobId::md5Id_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("id");

    // RFC 1321, appendix A.5 (test suite).
    QTest::newRow("empty") << QByteArray() << QByteArrayLiteral("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("a") << QByteArrayLiteral("a") << QByteArrayLiteral("0cc175b9c0f1b6a831c399e269772661");
    QTest::newRow("abc") << QByteArrayLiteral("abc") << QByteArrayLiteral("900150983cd24fb0d6963f7d28e17f72");
    QTest::newRow("message digest") << QByteArrayLiteral("message digest")
                                    << QByteArrayLiteral("f96b697d7cb7938d525a2f31aaf161d0");
    QTest::newRow("a-to-z") << QByteArrayLiteral("abcdefghijklmnopqrstuvwxyz")
                            << QByteArrayLiteral("c3fcd3d76192e4007dfb496cca67e13b");
    QTest::newRow("alphanumeric") << QByteArrayLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
                                  << QByteArrayLiteral("d174ab98d277d9f5a5611c2c9f419d9f");
    QTest::newRow("eight-times-digits")
        << QByteArrayLiteral("12345678901234567890123456789012345678901234567890123456789012345678901234567890")
        << QByteArrayLiteral("57edf4a22be3c955ac49da2e2107b67a");
}

void TestJobId::md5Id()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, id);
    QCOMPARE(MakeJobId(url, int(IdKind::Md5)), id);
}

void TestJobId::urlToFileId_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("id");

    QTest::newRow("path-only") << QByteArrayLiteral("/Docs/Index.HTML") << QByteArrayLiteral("IdocsIindex_html");
    QTest::newRow("scheme-without-host") << QByteArrayLiteral("http:///docs/index.html")
                                         << QByteArrayLiteral("IdocsIindex_html");
    QTest::newRow("scheme-www-host") << QByteArrayLiteral("http://www.example.com/docs/index.html")
                                     << QByteArrayLiteral("example_comIdocsIindex_html");
    QTest::newRow("capital-prefixes") << QByteArrayLiteral("HTTP://WWW.Example.COM/a.b?c=d.e")
                                      << QByteArrayLiteral("example_comIa_b?c=d_e");
    QTest::newRow("https-kept") << QByteArrayLiteral("https://example.com/")
                                << QByteArrayLiteral("https:IIexample_comI");
    QTest::newRow("removal-not-rescanned") << QByteArrayLiteral("hthttp://tp://x") << QByteArrayLiteral("http:IIx");
    // Only with "http://" gone first does "www." appear.
    QTest::newRow("www-formed-by-http-removal") << QByteArrayLiteral("wwhttp://w.a") << QByteArrayLiteral("a");
    QTest::newRow("www-anywhere") << QByteArrayLiteral("a.www.b/www.c") << QByteArrayLiteral("a_bIc");
    QTest::newRow("www-not-rescanned") << QByteArrayLiteral("wwww.ww.") << QByteArrayLiteral("www_");
    QTest::newRow("others-kept") << QByteArrayLiteral("x:?&=%#\\ y") << QByteArrayLiteral("x:?&=%#\\ y");
    QTest::newRow("non-ascii-letters-kept")
        << QByteArrayLiteral("\xC3\x89t\xC9.A") << QByteArrayLiteral("\xC3\x89t\xC9_a");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestJobId::urlToFileId()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, id);
    QCOMPARE(UrlToFileId(url), id);
    QCOMPARE(MakeJobId(url, int(IdKind::Url)), id);
}

void TestJobId::kindsDifferOnCaseAndSpaces()
{
    const QByteArray plain = QByteArrayLiteral("http://example.com/x");
    const QByteArray spaced = QByteArrayLiteral(" http://example.com/x ");
    const QByteArray upper = QByteArrayLiteral("HTTP://EXAMPLE.COM/X");

    QVERIFY(MakeJobId(plain, int(IdKind::Md5)) != MakeJobId(spaced, int(IdKind::Md5)));
    QVERIFY(MakeJobId(plain, int(IdKind::Md5)) != MakeJobId(upper, int(IdKind::Md5)));

    QCOMPARE(MakeJobId(upper, int(IdKind::Url)), MakeJobId(plain, int(IdKind::Url)));
    QCOMPARE(MakeJobId(spaced, int(IdKind::Url)), QByteArrayLiteral(" example_comIx "));
}

void TestJobId::unknownKindFallsBackToMd5_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("none-selected") << -1;
    QTest::newRow("past-the-end") << 2;
    QTest::newRow("large") << 1000;
}

void TestJobId::unknownKindFallsBackToMd5()
{
    QFETCH(int, kind);
    const QByteArray url = QByteArrayLiteral("http://www.example.com/");
    QCOMPARE(MakeJobId(url, kind), MakeJobId(url, int(IdKind::Md5)));
}

void TestJobId::isSafeFileId_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("safe");

    QTest::newRow("climbs-out") << QByteArrayLiteral("../../x") << false;
    QTest::newRow("sub-folder") << QByteArrayLiteral("a/b") << false;
    QTest::newRow("root") << QByteArrayLiteral("/") << false;
    QTest::newRow("nul") << QByteArray("a\0b", 3) << false;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("dot-dot") << QByteArrayLiteral("..") << true;
    QTest::newRow("backslash") << QByteArrayLiteral("a\\b") << true;
    QTest::newRow("url-id") << UrlToFileId(QByteArrayLiteral("http://www.example.com/a/b")) << true;
}

void TestJobId::isSafeFileId()
{
    QFETCH(QByteArray, id);
    QFETCH(bool, safe);
    QCOMPARE(IsSafeFileId(id), safe);
}

QTEST_APPLESS_MAIN(TestJobId)
#include "TestJobId.moc"
