// The desktop's default handler for an address: found through mimeapps.list and started
// from its desktop entry with the address as one argument, never through a shell.

#include "platform/DesktopShell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDesktopShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void execArguments_data();
    void execArguments();
    void opensWithTheDefaultHandler_data();
    void opensWithTheDefaultHandler();
    void noHandlerOpensNothing();

private:
    void Write(const QString& path, const QByteArray& text);
    QString InstallRecorder(const QString& desktopId, const QByteArray& execTail);

    std::unique_ptr<QTemporaryDir> m_root;
};

void TestDesktopShell::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    // Only this test's folders are searched.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root->filePath(QStringLiteral("config"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_root->filePath(QStringLiteral("etc"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root->filePath(QStringLiteral("data"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_root->filePath(QStringLiteral("share"))));
}

void TestDesktopShell::Write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// A handler whose program writes each argument it got on a line of its own.
QString TestDesktopShell::InstallRecorder(const QString& desktopId, const QByteArray& execTail)
{
    const QString script = m_root->filePath(QStringLiteral("recorder.sh"));
    const QString record = m_root->filePath(QStringLiteral("record.txt"));
    Write(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + QFile::encodeName(record) +
                      ".tmp\"\nmv \"" + QFile::encodeName(record) + ".tmp\" \"" + QFile::encodeName(record) + "\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Write(m_root->filePath(QStringLiteral("share/applications/")) + desktopId,
          "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + QFile::encodeName(script) + execTail + "\n");
    return record;
}

void TestDesktopShell::execArguments_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("expected");

    const QString url = QStringLiteral("http://example.com/a b;$(rm -rf x)&c=\"d\"");
    QTest::newRow("percent-u") << QStringLiteral("firefox %u") << url << QStringList{QStringLiteral("firefox"), url};
    QTest::newRow("percent-U-with-options")
        << QStringLiteral("/usr/bin/chromium --new-window %U") << url
        << QStringList{QStringLiteral("/usr/bin/chromium"), QStringLiteral("--new-window"), url};
    QTest::newRow("no-field-appends") << QStringLiteral("browser") << url
                                      << QStringList{QStringLiteral("browser"), url};
    QTest::newRow("empty-url-dropped") << QStringLiteral("browser %u") << QString()
                                       << QStringList{QStringLiteral("browser")};
    QTest::newRow("quoted-program") << QStringLiteral("\"/opt/My Browser/run\" --x=\"a \\\"b\\\"\" %u") << url
                                    << QStringList{QStringLiteral("/opt/My Browser/run"), QStringLiteral("--x=a \"b\""),
                                                   url};
    QTest::newRow("icon-and-percent") << QStringLiteral("b %i --p=100%% %c %u") << url
                                      << QStringList{QStringLiteral("b"), QStringLiteral("--p=100%"),
                                                     QStringLiteral("Name"), url};
    QTest::newRow("unterminated-quote") << QStringLiteral("\"b %u") << url << QStringList{};
}

void TestDesktopShell::execArguments()
{
    QFETCH(QString, exec);
    QFETCH(QString, url);
    QFETCH(QStringList, expected);
    QCOMPARE(TDesktopShell::ExecArguments(exec, url, QStringLiteral("Name"), QStringLiteral("/x.desktop")), expected);
}

void TestDesktopShell::opensWithTheDefaultHandler_data()
{
    QTest::addColumn<QString>("listPath");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QStringList>("recorded");

    const QByteArray odd = "http://example.com/?q=a b;`id`$HOME'\"";
    QTest::newRow("user-config") << QStringLiteral("config/mimeapps.list") << odd
                                 << QStringList{QString::fromUtf8(odd)};
    QTest::newRow("system-applications") << QStringLiteral("share/applications/mimeapps.list")
                                         << QByteArray("http://x.invalid/")
                                         << QStringList{QStringLiteral("http://x.invalid/")};
    QTest::newRow("no-address") << QStringLiteral("etc/mimeapps.list") << QByteArray() << QStringList{};
}

void TestDesktopShell::opensWithTheDefaultHandler()
{
    QFETCH(QString, listPath);
    QFETCH(QByteArray, url);
    QFETCH(QStringList, recorded);
    const QString record = InstallRecorder(QStringLiteral("recorder.desktop"), " %u");
    Write(m_root->filePath(listPath),
          "[Added Associations]\nx-scheme-handler/http=other.desktop\n[Default Applications]\n"
          "x-scheme-handler/http=missing.desktop;recorder.desktop;\n");
    TDesktopShell shell;
    QVERIFY(shell.OpenUrlInBrowser(url));
    QTRY_VERIFY(QFile::exists(record));
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList got = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(got, recorded);
}

void TestDesktopShell::noHandlerOpensNothing()
{
    InstallRecorder(QStringLiteral("recorder.desktop"), " %u");
    TDesktopShell shell;
    QVERIFY(!shell.OpenUrlInBrowser("http://example.com/"));
    // A handler named for another scheme does not open http.
    Write(m_root->filePath(QStringLiteral("config/mimeapps.list")),
          "[Default Applications]\nx-scheme-handler/mailto=recorder.desktop\n");
    QVERIFY(!shell.OpenUrlInBrowser("http://example.com/"));
    QVERIFY(shell.OpenLink("mailto:someone@example.com"));
}

QTEST_GUILESS_MAIN(TestDesktopShell)
#include "TestDesktopShell.moc"
