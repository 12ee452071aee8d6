// The switches the engine reads at start-up, as the programs leave them before the engine starts.

#include "platform/EngineSwitches.h"

#include <QTest>

class TestEngineSwitches : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void switchesAfterTheUsers_data();
    void switchesAfterTheUsers();
};

void TestEngineSwitches::cleanup()
{
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qunsetenv("QT_SCALE_FACTOR");
}

void TestEngineSwitches::switchesAfterTheUsers_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<bool>("reducedMotion");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("none of the user's") << QByteArray() << false << QByteArray("--js-flags=--optimize-for-size");
    QTest::newRow("the user's first") << QByteArray("--disable-gpu") << false
                                      << QByteArray("--disable-gpu --js-flags=--optimize-for-size");
    QTest::newRow("with an option's") << QByteArray() << true
                                      << QByteArray("--force-prefers-reduced-motion --js-flags=--optimize-for-size");
    // Chromium takes the last of a repeated switch: ours would quietly replace the user's.
    QTest::newRow("the user's V8 flags alone") << QByteArray("--js-flags=--max-old-space-size=512") << false
                                               << QByteArray("--js-flags=--max-old-space-size=512");
}

void TestEngineSwitches::switchesAfterTheUsers()
{
    QFETCH(QByteArray, user);
    QFETCH(bool, reducedMotion);
    QFETCH(QByteArray, expected);
    if (user.isEmpty())
        qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    else
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", user);
    TEngineOptions options;
    options.ReducedMotion = reducedMotion;
    PrepareEngineSwitches(options);
    QCOMPARE(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), expected);
}

QTEST_APPLESS_MAIN(TestEngineSwitches)
#include "TestEngineSwitches.moc"
