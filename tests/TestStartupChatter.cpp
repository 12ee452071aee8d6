// Which messages the programs keep off the console: the engine's set-up notes, and nothing else.

#include "platform/StartupChatter.h"

#include <QTest>

class TestStartupChatter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlySetUpNotesAreDropped_data();
    void onlySetUpNotesAreDropped();
};

void TestStartupChatter::onlySetUpNotesAreDropped_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("dropped");

    // As Qt 6.4 and its engine word them when started as root, off screen, without a GPU.
    QTest::newRow("runtime-dir") << int(QtWarningMsg)
                                 << QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to "
                                                   "'/tmp/runtime-root'")
                                 << true;
    QTest::newRow("sandbox-off") << int(QtInfoMsg) << QStringLiteral("Sandboxing disabled by user.") << true;
    QTest::newRow("no-gpu") << int(QtWarningMsg) << QStringLiteral("No suitable graphics backend found\n") << true;
    QTest::newRow("raise") << int(QtWarningMsg) << QStringLiteral("This plugin does not support raise()") << true;

    // Real trouble must still be seen, also when it starts like a note.
    QTest::newRow("runtime-dir-permissions")
        << int(QtWarningMsg)
        << QStringLiteral("QStandardPaths: wrong permissions on runtime directory /tmp/x, 0755 instead of 0700")
        << false;
    QTest::newRow("runtime-dir-then-more")
        << int(QtWarningMsg)
        << QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/r'\nCannot create it")
        << false;
    QTest::newRow("renderer-crash") << int(QtWarningMsg)
                                    << QStringLiteral("Render process exited with code 139 (crashed)") << false;
    QTest::newRow("engine-missing")
        << int(QtCriticalMsg)
        << QStringLiteral("Could not find QtWebEngineProcess") << false;
    QTest::newRow("sandbox-note-as-warning") << int(QtWarningMsg) << QStringLiteral("Sandboxing disabled by user.")
                                             << false;
    QTest::newRow("no-gpu-as-critical") << int(QtCriticalMsg) << QStringLiteral("No suitable graphics backend found")
                                        << false;
    QTest::newRow("longer-text") << int(QtWarningMsg)
                                 << QStringLiteral("This plugin does not support raise() or anything else") << false;
}

void TestStartupChatter::onlySetUpNotesAreDropped()
{
    QFETCH(int, type);
    QFETCH(QString, message);
    QFETCH(bool, dropped);
    QCOMPARE(StartupChatter::Is(QtMsgType(type), message), dropped);
}

QTEST_GUILESS_MAIN(TestStartupChatter)
#include "TestStartupChatter.moc"
