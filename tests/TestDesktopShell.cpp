// The desktop's default handler for an address: found through mimeapps.list and started
// from its desktop entry with the address as one argument, never through a shell. Each
// address is opened by a probe process of its own, under this case's folders.

#include "platform/DesktopShell.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class TestDesktopShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void execArguments_data();
    void execArguments();
    void opensWithTheDefaultHandler_data();
    void opensWithTheDefaultHandler();
    void noHandlerAsksTheDesktop();
    void lookupOrder_data();
    void lookupOrder();
    void unsafeAddressesGoNowhere_data();
    void unsafeAddressesGoNowhere();
    void addressesWithAPortOrALaterColonOpen_data();
    void addressesWithAPortOrALaterColonOpen();
    void programsGetTheStartEnvironment_data();
    void programsGetTheStartEnvironment();

private:
    void Write(const QString& path, const QByteArray& text);
    QString InstallRecorder(const QString& desktopId, const QByteArray& execTail,
                            const QString& folder = QStringLiteral("share/applications/"),
                            const QString& recordName = QStringLiteral("record.txt"));
    // Opens `url` as the program does ("browser", "link", "file" or "start"); whether it was
    // handed over, and what the desktop's own opener was asked, in m_askedDesktop. With
    // `engineSwitches` the probe first sets the environment for its engine as the programs do.
    bool Open(const char* verb, const QByteArray& url, bool engineSwitches = false);
    // A program that writes its arguments ("arg=" lines) and its environment to `record`.
    void InstallEnvironmentRecorder(const QString& path, const QString& record, const QByteArray& more = {});

    std::unique_ptr<QTemporaryDir> m_root;
    QProcessEnvironment m_env;
    QList<QUrl> m_askedDesktop;
};

void TestDesktopShell::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    // Only this case's folders are searched.
    m_env = QProcessEnvironment();
    m_env.insert(QStringLiteral("HOME"), m_root->path());
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root->filePath(QStringLiteral("config")));
    m_env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_root->filePath(QStringLiteral("etc")));
    m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_root->filePath(QStringLiteral("data")));
    m_env.insert(QStringLiteral("XDG_DATA_DIRS"), m_root->filePath(QStringLiteral("share")));
    // Only this case's tools: no xdg-settings unless a case puts one there.
    QDir().mkpath(m_root->filePath(QStringLiteral("bin")));
    m_env.insert(QStringLiteral("PATH"), m_root->filePath(QStringLiteral("bin")));
    m_askedDesktop.clear();
}

bool TestDesktopShell::Open(const char* verb, const QByteArray& url, bool engineSwitches)
{
    QProcess probe;
    probe.setProcessEnvironment(m_env);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QString::fromLatin1(verb), QString::fromUtf8(url)};
    if (engineSwitches) arguments.prepend(QStringLiteral("--engine-switches"));
    probe.start(QStringLiteral(THUMBRIX_SHELL_PROBE), arguments);
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() > 1) {
        qWarning() << "probe failed:" << probe.exitCode() << probe.errorString();
        return false;
    }
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n'))
        if (line.startsWith("desktop ")) m_askedDesktop << QUrl::fromEncoded(line.mid(8));
    return probe.exitCode() == 0;
}

void TestDesktopShell::Write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// A handler whose program writes each argument it got on a line of its own.
QString TestDesktopShell::InstallRecorder(const QString& desktopPath, const QByteArray& execTail, const QString& folder,
                                          const QString& recordName)
{
    const QString script = m_root->filePath(recordName + QStringLiteral(".sh"));
    const QString record = m_root->filePath(recordName);
    Write(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + QFile::encodeName(record) +
                      ".tmp\"\n/bin/mv \"" + QFile::encodeName(record) + ".tmp\" \"" + QFile::encodeName(record) +
                      "\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Write(m_root->filePath(folder) + desktopPath,
          "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + QFile::encodeName(script) + execTail + "\n");
    return record;
}

void TestDesktopShell::InstallEnvironmentRecorder(const QString& path, const QString& record, const QByteArray& more)
{
    const QByteArray file = QFile::encodeName(record);
    Write(path, "#!/bin/sh\n{ for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done; /usr/bin/env; } > \"" + file +
                    ".tmp\"\n/bin/mv \"" + file + ".tmp\" \"" + file + "\"\n" + more);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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
    QVERIFY(Open("browser", url));
    QTRY_VERIFY(QFile::exists(record));
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList got = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(got, recorded);
}

void TestDesktopShell::noHandlerAsksTheDesktop()
{
    InstallRecorder(QStringLiteral("recorder.desktop"), " %u");
    QVERIFY(Open("browser", "http://example.com/"));
    QVERIFY(Open("browser", "www.example.com"));
    QVERIFY(!Open("browser", {})); // nothing to hand over
    // A handler named for another scheme does not open http.
    Write(m_root->filePath(QStringLiteral("config/mimeapps.list")),
          "[Default Applications]\nx-scheme-handler/mailto=recorder.desktop\n");
    QVERIFY(Open("browser", "https://example.com/"));
    QCOMPARE(m_askedDesktop,
             (QList<QUrl>{QUrl(QStringLiteral("http://example.com/")), QUrl(QStringLiteral("http://www.example.com")),
                          QUrl(QStringLiteral("https://example.com/"))}));
    QVERIFY(Open("link", "mailto:someone@example.com"));
    QCOMPARE(m_askedDesktop.size(), 3);
}

void TestDesktopShell::lookupOrder_data()
{
    QTest::addColumn<QByteArray>("desktops");
    // Files to write: path under the test root, then contents.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("xdgSettings");
    // "preferred", "other", or "desktop" when the desktop's own opener is asked.
    QTest::addColumn<QString>("opener");

    const QString def = QStringLiteral("[Default Applications]\nx-scheme-handler/http=%1\n");
    const QString added = QStringLiteral("[Added Associations]\nx-scheme-handler/http=%1\n");
    const QString removedOne = QStringLiteral("[Removed Associations]\nx-scheme-handler/http=preferred.desktop\n");
    QTest::newRow("current-desktop-list-first")
        << QByteArray("X-Cinnamon:GNOME")
        << QStringList{QStringLiteral("config/mimeapps.list"), def.arg(QStringLiteral("other.desktop")),
                       QStringLiteral("config/gnome-mimeapps.list"), def.arg(QStringLiteral("preferred.desktop"))}
        << false << QStringLiteral("preferred");
    QTest::newRow("other-desktops-list-ignored")
        << QByteArray("KDE")
        << QStringList{QStringLiteral("config/mimeapps.list"), def.arg(QStringLiteral("other.desktop")),
                       QStringLiteral("config/gnome-mimeapps.list"), def.arg(QStringLiteral("preferred.desktop"))}
        << false << QStringLiteral("other");
    QTest::newRow("default-anywhere-beats-added")
        << QByteArray()
        << QStringList{QStringLiteral("config/mimeapps.list"), added.arg(QStringLiteral("other.desktop")),
                       QStringLiteral("share/applications/mimeapps.list"), def.arg(QStringLiteral("preferred.desktop"))}
        << false << QStringLiteral("preferred");
    QTest::newRow("added-association") << QByteArray()
                                       << QStringList{QStringLiteral("etc/mimeapps.list"),
                                                      added.arg(QStringLiteral("missing.desktop;other.desktop"))}
                                       << false << QStringLiteral("other");
    // A list changes the associations of the entries in its own folder and lower ones only.
    QTest::newRow("removed-association") << QByteArray()
                                         << QStringList{QStringLiteral("config/mimeapps.list"), removedOne,
                                                        QStringLiteral("etc/mimeapps.list"),
                                                        added.arg(QStringLiteral("preferred.desktop;other.desktop"))}
                                         << false << QStringLiteral("other");
    QTest::newRow("added-below-the-entry")
        << QByteArray()
        << QStringList{QStringLiteral("share/applications/mimeapps.list"), added.arg(QStringLiteral("other.desktop"))}
        << false << QStringLiteral("desktop");
    QTest::newRow("mimeinfo-cache") << QByteArray()
                                    << QStringList{QStringLiteral("share/applications/mimeinfo.cache"),
                                                   QStringLiteral("[MIME Cache]\nx-scheme-handler/http="
                                                                  "preferred.desktop;other.desktop;\n")}
                                    << false << QStringLiteral("preferred");
    QTest::newRow("cache-entry-removed") << QByteArray()
                                         << QStringList{QStringLiteral("config/mimeapps.list"), removedOne,
                                                        QStringLiteral("share/applications/mimeinfo.cache"),
                                                        QStringLiteral(
                                                            "[MIME Cache]\nx-scheme-handler/http=preferred.desktop;\n")}
                                         << false << QStringLiteral("desktop");
    QTest::newRow("vendor-folder-id") << QByteArray()
                                      << QStringList{QStringLiteral("config/mimeapps.list"),
                                                     def.arg(QStringLiteral("vendor-nested.desktop"))}
                                      << false << QStringLiteral("preferred");
    // A user's copy marked Hidden deletes the entry: never started, the desktop is asked.
    // An entry whose TryExec is not installed is left over from an uninstalled program.
    QTest::newRow("hidden-user-copy") << QByteArray()
                                      << QStringList{QStringLiteral("data/applications/preferred.desktop"),
                                                     QStringLiteral(
                                                         "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n"),
                                                     QStringLiteral("config/mimeapps.list"),
                                                     def.arg(QStringLiteral("preferred.desktop;other.desktop"))}
                                      << false << QStringLiteral("desktop");
    QTest::newRow("try-exec-not-installed")
        << QByteArray()
        << QStringList{QStringLiteral("share/applications/gone.desktop"),
                       QStringLiteral("[Desktop Entry]\nType=Application\nName=Gone\nTryExec=/nonexistent/browser\n"
                                      "Exec=/nonexistent/browser %u\n"),
                       QStringLiteral("config/mimeapps.list"), def.arg(QStringLiteral("gone.desktop;other.desktop"))}
        << false << QStringLiteral("other");
    QTest::newRow("desktop-browser-setting") << QByteArray() << QStringList{} << true << QStringLiteral("preferred");
    QTest::newRow("nothing-named") << QByteArray() << QStringList{} << false << QStringLiteral("desktop");
}

void TestDesktopShell::lookupOrder()
{
    QFETCH(QByteArray, desktops);
    QFETCH(QStringList, files);
    QFETCH(bool, xdgSettings);
    QFETCH(QString, opener);
    if (!desktops.isEmpty()) m_env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QString::fromLatin1(desktops));
    const QString preferred = InstallRecorder(QStringLiteral("preferred.desktop"), " %u");
    InstallRecorder(QStringLiteral("vendor/nested.desktop"), " %u");
    const QString other = InstallRecorder(QStringLiteral("other.desktop"), " %u", QStringLiteral("data/applications/"),
                                          QStringLiteral("other.txt"));
    for (qsizetype i = 0; i + 1 < files.size(); i += 2)
        Write(m_root->filePath(files[i]), files[i + 1].toUtf8());
    if (xdgSettings) {
        const QString tool = m_root->filePath(QStringLiteral("bin/xdg-settings"));
        Write(tool, "#!/bin/sh\n[ \"$1 $2\" = \"get default-web-browser\" ] && echo preferred.desktop\n");
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QVERIFY(Open("browser", "http://example.com/"));
    if (opener == QLatin1String("desktop")) {
        QCOMPARE(m_askedDesktop, QList<QUrl>{QUrl(QStringLiteral("http://example.com/"))});
        return;
    }
    const QString record = opener == QLatin1String("preferred") ? preferred : other;
    QTRY_VERIFY(QFile::exists(record));
    QVERIFY(!QFile::exists(opener == QLatin1String("preferred") ? other : preferred));
    QVERIFY(m_askedDesktop.isEmpty());
}

void TestDesktopShell::unsafeAddressesGoNowhere_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::newRow("option") << QByteArray("--new-window=file:///etc/passwd");
    QTest::newRow("short-option") << QByteArray("-remote");
    QTest::newRow("file") << QByteArray("file:///etc/passwd");
    QTest::newRow("file-upper-case") << QByteArray("FILE:/etc/passwd");
    QTest::newRow("javascript") << QByteArray("javascript:alert(1)");
    QTest::newRow("data") << QByteArray("data:text/html,<script>alert(1)</script>");
    QTest::newRow("scheme-with-plus") << QByteArray("view-source+x:http://example.com/");
    // Digits after a scheme's name are no port.
    QTest::newRow("javascript-digits") << QByteArray("javascript:1/alert(document.cookie)//");
    QTest::newRow("data-digits") << QByteArray("data:1/x");
    QTest::newRow("file-digits") << QByteArray("FILE:1/etc/passwd");
    QTest::newRow("vbscript-digits") << QByteArray("vbscript:1");
    // A browser trims blanks and controls at the ends and drops tab, CR and LF anywhere.
    QTest::newRow("leading-space") << QByteArray(" javascript:alert(1)");
    QTest::newRow("leading-control") << QByteArray("\x01\x1f javascript:alert(1)");
    QTest::newRow("tab-in-scheme") << QByteArray("java\tscript:alert(1)");
    QTest::newRow("line-break-in-scheme") << QByteArray("fi\r\nle:///etc/passwd");
    QTest::newRow("option-after-space") << QByteArray(" --new-window");
}

void TestDesktopShell::unsafeAddressesGoNowhere()
{
    QFETCH(QByteArray, url);
    const QString record = InstallRecorder(QStringLiteral("recorder.desktop"), " %u");
    Write(m_root->filePath(QStringLiteral("config/mimeapps.list")),
          "[Default Applications]\nx-scheme-handler/http=recorder.desktop\nx-scheme-handler/file=recorder.desktop\n"
          "x-scheme-handler/javascript=recorder.desktop\nx-scheme-handler/data=recorder.desktop\n");
    QVERIFY(!Open("browser", url));
    QVERIFY(!Open("link", url));
    QTest::qWait(200);
    QVERIFY(!QFile::exists(record));
    QVERIFY(m_askedDesktop.isEmpty());
}

void TestDesktopShell::addressesWithAPortOrALaterColonOpen_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::newRow("host-and-port") << QByteArray("www.example.com:8080/");
    QTest::newRow("bare-host-and-port") << QByteArray("localhost:8080");
    QTest::newRow("port-then-query") << QByteArray("localhost:8080?a=1");
    QTest::newRow("colon-in-query") << QByteArray("www.example.com/aff?t=12:30");
    QTest::newRow("colon-in-path") << QByteArray("example.com/a:b");
    QTest::newRow("http-with-port") << QByteArray("HTTP://www.example.com:8080/");
    QTest::newRow("host-with-digits-and-port") << QByteArray("host-1.example:81/x");
}

void TestDesktopShell::addressesWithAPortOrALaterColonOpen()
{
    QFETCH(QByteArray, url);
    const QString record = InstallRecorder(QStringLiteral("recorder.desktop"), " %u");
    Write(m_root->filePath(QStringLiteral("config/mimeapps.list")),
          "[Default Applications]\nx-scheme-handler/http=recorder.desktop\n");
    QVERIFY(Open("link", url));
    QTRY_VERIFY(QFile::exists(record));
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), url + '\n');
    QVERIFY(TDesktopShell::IsSafeAddress(url));
}

void TestDesktopShell::programsGetTheStartEnvironment_data()
{
    QTest::addColumn<QByteArray>("verb");
    // What is opened; "FILE" stands for a thumbnail in the case's folder, "PROGRAM" for the recorder.
    QTest::addColumn<QByteArray>("target");
    // Where the recorder goes: a desktop entry's program, or a tool on PATH.
    QTest::addColumn<QString>("recorder");
    // The first argument the recorder must get; empty when it gets none.
    QTest::addColumn<QString>("argument");

    QTest::newRow("desktop-entry") << QByteArray("browser") << QByteArray("http://example.com/")
                                   << QStringLiteral("entry") << QStringLiteral("http://example.com/");
    QTest::newRow("link-handler") << QByteArray("link") << QByteArray("mailto:someone@example.com")
                                  << QStringLiteral("entry") << QStringLiteral("mailto:someone@example.com");
    QTest::newRow("browser-setting") << QByteArray("browser") << QByteArray("http://example.com/")
                                     << QStringLiteral("bin/xdg-settings") << QStringLiteral("get");
    QTest::newRow("desktop-opener") << QByteArray("browser") << QByteArray("www.example.com")
                                    << QStringLiteral("bin/xdg-open") << QStringLiteral("http://www.example.com");
    QTest::newRow("preview-opens-file") << QByteArray("file") << QByteArray("FILE") << QStringLiteral("bin/xdg-open")
                                        << QStringLiteral("FILE");
    QTest::newRow("update-hand-over") << QByteArray("start") << QByteArray("PROGRAM") << QStringLiteral("bin/Updater")
                                      << QString();
}

void TestDesktopShell::programsGetTheStartEnvironment()
{
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, target);
    QFETCH(QString, recorder);
    QFETCH(QString, argument);
    // The user's own engine options reach other programs as the user set them.
    m_env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--user-own-flag"));
    m_env.insert(QStringLiteral("THUMBRIX_CASE"), QString::fromLatin1(QTest::currentDataTag()));
    const QString record = m_root->filePath(QStringLiteral("environment.txt"));
    const QString thumbnail = m_root->filePath(QStringLiteral("thumb 1.png"));
    Write(thumbnail, "png");
    if (recorder == QLatin1String("entry")) {
        InstallEnvironmentRecorder(m_root->filePath(QStringLiteral("recorder.sh")), record);
        Write(m_root->filePath(QStringLiteral("share/applications/recorder.desktop")),
              "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" +
                  QFile::encodeName(m_root->filePath(QStringLiteral("recorder.sh"))) + " %u\n");
        Write(m_root->filePath(QStringLiteral("config/mimeapps.list")),
              "[Default Applications]\nx-scheme-handler/http=recorder.desktop\n"
              "x-scheme-handler/mailto=recorder.desktop\n");
    } else {
        // xdg-settings names a browser that records nothing: only the tool's own environment is read.
        InstallEnvironmentRecorder(m_root->filePath(recorder), record, "echo quiet.desktop\n");
        Write(m_root->filePath(QStringLiteral("share/applications/quiet.desktop")),
              "[Desktop Entry]\nType=Application\nName=Quiet\nExec=/bin/true %u\n");
    }
    if (target == "FILE") target = QFile::encodeName(thumbnail);
    if (target == "PROGRAM") target = QFile::encodeName(m_root->filePath(recorder));
    if (argument == QLatin1String("FILE")) argument = QUrl::fromLocalFile(thumbnail).toString(QUrl::FullyEncoded);

    QVERIFY(Open(verb.constData(), target, true));
    QTRY_VERIFY(QFile::exists(record));
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList arguments;
    QStringList engine;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("arg="))) arguments << line.mid(4);
        for (const char* name :
             {"QT_SCALE_FACTOR=", "QTWEBENGINE_CHROMIUM_FLAGS=", "QTWEBENGINE_DISABLE_SANDBOX=", "QT_QPA_PLATFORM="})
            if (line.startsWith(QLatin1String(name))) engine << line;
    }
    QCOMPARE(arguments.value(0), argument);
    QVERIFY2(lines.contains(QStringLiteral("THUMBRIX_CASE=") + QString::fromLatin1(QTest::currentDataTag())),
             "the recorder ran in the probe's environment");
    QCOMPARE(engine.join(QLatin1Char(' ')), QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=--user-own-flag"));
}

QTEST_GUILESS_MAIN(TestDesktopShell)
#include "TestDesktopShell.moc"
