// thumbrix: the main window.

#include "capture/FMain.h"
#include "common/ByteFile.h"
#include "platform/CurlHttpClient.h"
#include "platform/DesktopShell.h"
#include "platform/QtUserDialogs.h"
#include "platform/ReportingApplication.h"
#include "platform/WebEngineBrowser.h"
#include "platform/WebHtmlView.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

// SIGINT and SIGTERM reach the event loop through a pipe, so the window closes by its
// normal path instead of dying halfway through writing a file. A second signal ends the
// program at once; a signal ignored when we started stays ignored.
bool WatchStopSignals(QObject* context, std::function<void(int)> onStop)
{
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    auto* notifier = new QSocketNotifier(g_stopPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, onStop = std::move(onStop)] {
        unsigned char byte = 0;
        if (::read(g_stopPipe[0], &byte, 1) != 1) return;
        notifier->setEnabled(false);
        onStop(byte);
    });
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction old = {};
        if (::sigaction(signalNumber, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        if (::sigaction(signalNumber, &action, nullptr) != 0) return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // Chromium cannot sandbox itself as root.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Before any web view: the welcome and news pages are served through this scheme.
    TWebHtmlView::RegisterScheme();
    TReportingApplication app(argc, argv);
    // No display name: Qt would append it to every window title, and with a reseller's
    // profile the title must be the reseller's name alone.
    QApplication::setApplicationName(QStringLiteral("Thumbrix"));

    TQtUserDialogs dialogs(nullptr);
    TReportingApplication::SetReporter([&dialogs](const QString& message) { dialogs.ReportError(message); });

    TDesktopShell shell;
    TCurlHttpClient http;
    TWebHtmlView welcome;
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    WebEngineBrowser browsing(WebEngineBrowser::Role::Interactive);

    TMainParts parts;
    parts.ProgramFolder = QCoreApplication::applicationDirPath();
    parts.Dialogs = &dialogs;
    parts.Shell = &shell;
    parts.WelcomeView = &welcome;
    parts.Http = &http;
    parts.NewHtmlView = [] { return std::make_unique<TWebHtmlView>(); };
    parts.Launcher = [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    };
    parts.CaptureBrowser = &capture;
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
