// Which of the engine's network errors a row is tried again for.

#include "platform/NetErrors.h"

#include <QTest>

class TestNetErrors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mayPassOnAnotherAttempt_data();
    void mayPassOnAnotherAttempt();
};

void TestNetErrors::mayPassOnAnotherAttempt_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("mayPass");

    // Chromium's net/base/net_error_list.h.
    QTest::newRow("failed") << -2 << true;
    QTest::newRow("timed-out") << -7 << true;
    QTest::newRow("network-io-suspended") << -12 << true;
    QTest::newRow("connection-reset") << -101 << true;
    QTest::newRow("connection-refused") << -102 << true;
    QTest::newRow("name-not-resolved") << -105 << true;
    QTest::newRow("ssl-protocol-error") << -107 << true;
    QTest::newRow("empty-response") << -324 << true;
    QTest::newRow("http2-protocol-error") << -337 << true;
    QTest::newRow("quic-protocol-error") << -356 << true;
    // The same every time: a cancelled load, an address or scheme the engine refuses, a
    // blocked request, a certificate.
    QTest::newRow("aborted") << -3 << false;
    QTest::newRow("blocked-by-client") << -20 << false;
    QTest::newRow("unsafe-port") << -312 << false;
    QTest::newRow("invalid-url") << -300 << false;
    QTest::newRow("unknown-url-scheme") << -302 << false;
    QTest::newRow("cert-authority-invalid") << -202 << false;
    QTest::newRow("no-error") << 0 << false;
}

void TestNetErrors::mayPassOnAnotherAttempt()
{
    QFETCH(int, code);
    QFETCH(bool, mayPass);
    QCOMPARE(NetErrorMayPass(code), mayPass);
}

QTEST_APPLESS_MAIN(TestNetErrors)
#include "TestNetErrors.moc"
