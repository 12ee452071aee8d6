// Which addresses share the origin of a row's address, and so get its credentials.

#include "platform/RowOrigin.h"

#include <QTest>

class TestRowOrigin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void holds_data();
    void holds();
    void privateHeaders_data();
    void privateHeaders();
};

void TestRowOrigin::holds_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("asking");
    QTest::addColumn<bool>("holds");

    const auto S = [](const char* text) { return QString::fromLatin1(text); };

    QTest::newRow("same-page") << S("http://example.com/a") << S("http://example.com/a") << true;
    QTest::newRow("other-path-and-query") << S("http://example.com/a") << S("http://example.com/b/c?d=1#e") << true;
    QTest::newRow("host-in-capitals") << S("http://Example.COM/") << S("http://example.com/x") << true;
    QTest::newRow("default-port-written") << S("http://example.com/") << S("http://example.com:80/") << true;
    QTest::newRow("tls-default-port-written") << S("https://example.com:443/") << S("https://example.com/") << true;
    QTest::newRow("other-port") << S("http://127.0.0.1:8080/") << S("http://127.0.0.1:8081/") << false;
    QTest::newRow("port-of-the-other-scheme") << S("http://example.com/") << S("http://example.com:443/") << false;
    QTest::newRow("other-scheme") << S("https://example.com/") << S("http://example.com/") << false;
    QTest::newRow("sub-domain") << S("http://example.com/") << S("http://www.example.com/") << false;
    QTest::newRow("parent-domain") << S("http://www.example.com/") << S("http://example.com/") << false;
    QTest::newRow("suffix-lookalike") << S("http://example.com/") << S("http://example.com.evil.test/") << false;
    QTest::newRow("user-info-is-no-host") << S("http://example.com/") << S("http://example.com@evil.test/") << false;
    QTest::newRow("blank-row") << S("about:blank") << S("about:blank") << false;
    QTest::newRow("no-row-yet") << QString() << S("http://example.com/") << false;
}

void TestRowOrigin::holds()
{
    QFETCH(QString, row);
    QFETCH(QString, asking);
    QFETCH(bool, holds);
    QCOMPARE(RowOrigin(QUrl(row)).Holds(QUrl(asking)), holds);
}

void TestRowOrigin::privateHeaders_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("isPrivate");
    QTest::newRow("authorization") << QByteArray("Authorization") << true;
    QTest::newRow("cookie-lower-case") << QByteArray("cookie") << true;
    QTest::newRow("authorization-upper-case") << QByteArray("AUTHORIZATION") << true;
    QTest::newRow("proxy-authorization") << QByteArray("Proxy-Authorization") << false;
    QTest::newRow("cookie-prefix") << QByteArray("Cookies") << false;
    QTest::newRow("accept-language") << QByteArray("Accept-Language") << false;
}

void TestRowOrigin::privateHeaders()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, isPrivate);
    QCOMPARE(RowOrigin::IsPrivateHeader(name), isPrivate);
}

QTEST_APPLESS_MAIN(TestRowOrigin)
#include "TestRowOrigin.moc"
