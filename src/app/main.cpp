// thumbrix: the main window.

#include "capture/FMain.h"
#include "platform/CurlHttpClient.h"
#include "platform/DesktopShell.h"
#include "platform/QtUserDialogs.h"
#include "platform/ReportingApplication.h"
#include "platform/WebEngineBrowser.h"
#include "platform/WebHtmlView.h"

#include <QCoreApplication>
#include <QProcess>

#include <unistd.h>

int main(int argc, char* argv[])
{
    // Chromium cannot sandbox itself as root.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TReportingApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Thumbrix"));
    QApplication::setApplicationDisplayName(QStringLiteral("Thumbrix"));

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
    window.show();
    const int result = app.exec();
    TReportingApplication::SetReporter({});
    return result;
}
