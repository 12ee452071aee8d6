// thumbrix: the main window.

#include "capture/FMain.h"
#include "capture/SettingsFile.h"
#include "common/ByteFile.h"
#include "common/StopSignals.h"
#include "common/UserFolders.h"
#include "common/Version.h"
#include "platform/CurlHttpClient.h"
#include "platform/DesktopShell.h"
#include "platform/EngineSwitches.h"
#include "platform/ProgramStarter.h"
#include "platform/QtUserDialogs.h"
#include "platform/ReportingApplication.h"
#include "platform/StartupChatter.h"
#include "platform/WebEngineBrowser.h"
#include "platform/WebHtmlView.h"

#include <QCoreApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char kHelp[] = "Usage: thumbrix [options]\n"
                     "Opens the Thumbrix window. Build a list of web addresses (typed, imported from a text file\n"
                     "or picked in the browser tab), choose the output folder, the browser and thumbnail sizes,\n"
                     "the image format and how files are named, and press Start: each page is captured as a\n"
                     "thumbnail image. thumbrix-batch does the same from the command line.\n"
                     "\n"
                     "Options:\n"
                     "  -h, --help  Show this help.\n"
                     "  --version   Show the version.\n";

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs(VersionLine(QStringLiteral("thumbrix")).toUtf8().constData(), stdout);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    StartupChatter::Quiet();
    // Chromium cannot sandbox itself as root.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine takes its options from config.ini once, before the application exists; the
    // window reads the same file, found the same way.
    const QString programFolder = ExecutableFolder();
    TUserFolders userFolders;
    TEngineOptions engine;
    if (!programFolder.isEmpty()) {
        userFolders = UserFoldersFor(programFolder);
        engine = StartupEngineOptions(programFolder, userFolders);
        PrepareEngineSwitches(engine);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Before any web view: the welcome and news pages are served through this scheme.
    TWebHtmlView::RegisterScheme();
    TReportingApplication app(argc, argv);
    // No display name: Qt would append it to every window title, and with a reseller's
    // profile the title must be the reseller's name alone.
    QApplication::setApplicationName(QStringLiteral("Thumbrix"));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.thumbrix.Thumbrix"));
    // The installed icon; a reseller's main.ico replaces it when the window reads the profile.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.thumbrix.Thumbrix")));

    TQtUserDialogs dialogs(nullptr);
    TReportingApplication::SetReporter([&dialogs](const QString& message) { dialogs.ReportError(message); });

    TDesktopShell shell;
    TCurlHttpClient http;
    TWebHtmlView welcome;
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    WebEngineBrowser browsing(WebEngineBrowser::Role::Interactive);

    TMainParts parts;
    parts.ProgramFolder = programFolder;
    parts.UserFolders = userFolders;
    if (programFolder.isEmpty()) {
        parts.ProgramFolder = QCoreApplication::applicationDirPath();
        parts.UserFolders = UserFoldersFor(parts.ProgramFolder);
    }
    parts.Engine = engine;
    parts.Dialogs = &dialogs;
    parts.Shell = &shell;
    parts.WelcomeView = &welcome;
    parts.Http = &http;
    parts.NewHtmlView = [] { return std::make_unique<TWebHtmlView>(); };
    parts.Launcher = ProgramStarter::StartDetached;
    parts.CaptureBrowser = &capture;
    parts.NewCaptureBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    parts.BrowsingBrowser = &browsing;
    parts.BrowsingView = browsing.Widget();
    TfrmMain window(parts);
    int stopSignal = 0;
    WatchStopSignals(&app, [&](int signalNumber) {
        stopSignal = signalNumber;
        ByteFile::RemoveUnfinishedFiles();
        // Exit first: every event loop then ends, a modal dialog's included, and none
        // opened while closing waits for an answer. A running request ends too.
        QCoreApplication::exit(128 + signalNumber);
        http.Disconnect();
        window.close();
    });
    window.show();
    // A signal handled while the first show ran its own events has closed the window
    // already: the loop would wait for nothing.
    int result = stopSignal == 0 ? app.exec() : 0;
    if (stopSignal != 0) result = 128 + stopSignal;
    TReportingApplication::SetReporter({});
    return result;
}
