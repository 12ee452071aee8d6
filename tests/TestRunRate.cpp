// The run's speed and time left, as the status bar shows them.

#include "capture/RunRate.h"

#include <QTest>

class TestRunRate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data();
    void text();
};

void TestRunRate::text_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("left");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");

    QTest::newRow("nothing-done-yet") << 0 << 40 << qint64(5000) << QString();
    QTest::newRow("whole-minutes") << 10 << 30 << qint64(60000) << QStringLiteral("10 pages/min, 3:00 left");
    QTest::newRow("slow-keeps-a-decimal") << 3 << 1 << qint64(60000) << QStringLiteral("3.0 pages/min, 0:20 left");
    QTest::newRow("seconds-round-up") << 4 << 1 << qint64(1001) << QStringLiteral("240 pages/min, 0:01 left");
    QTest::newRow("one-hour-exactly") << 10 << 600 << qint64(60000) << QStringLiteral("10 pages/min, 1:00:00 left");
    QTest::newRow("hours") << 40 << 4960 << qint64(30000) << QStringLiteral("80 pages/min, 1:02:00 left");
    QTest::newRow("last-row-done") << 12 << 0 << qint64(6000) << QStringLiteral("120 pages/min, 0:00 left");
}

void TestRunRate::text()
{
    QFETCH(int, done);
    QFETCH(int, left);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    QCOMPARE(RunRateText(done, left, elapsedMs), text);
}

QTEST_GUILESS_MAIN(TestRunRate)
#include "TestRunRate.moc"
