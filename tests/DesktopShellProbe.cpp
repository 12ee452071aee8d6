// Opens one address the way the program does, in a process of its own: the desktop's
// folders are read from the environment once per process, so each case needs its own.
//   desktop_shell_probe [--engine-switches] browser|link|file|start URL-OR-PATH
// "file" opens a file as the preview does; "start" starts a program as the update does.
// Prints "desktop URL" when the desktop's own opener was asked; exits 0 when the address
// was handed over, 1 when it was refused. With --engine-switches the probe first sets
// what thumbrix and thumbrix-batch set for their engine, and the shell asks the desktop's
// real opener (xdg-open).

#include "platform/DesktopShell.h"
#include "platform/EngineSwitches.h"
#include "platform/ProgramStarter.h"

#include <QFile>
#include <QGuiApplication>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

void SetEngineSwitches()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    TEngineOptions engine;
    engine.Scale = 2;
    engine.ColorScheme = QStringLiteral("dark");
    engine.ReducedMotion = true;
    engine.ProxyServer = "http://127.0.0.1:3128";
    PrepareEngineSwitches(engine);
}

} // namespace

int main(int argc, char** argv)
{
    const bool switches = argc == 4 && std::strcmp(argv[1], "--engine-switches") == 0;
    if (argc != 3 && !switches) {
        std::fputs("usage: desktop_shell_probe [--engine-switches] browser|link|file|start URL-OR-PATH\n", stderr);
        return 2;
    }
    const char* verb = argv[argc - 2];
    const QByteArray url = argv[argc - 1];
    std::function<bool(const QUrl&)> opener;
    std::unique_ptr<QCoreApplication> app;
    if (switches) {
        // Set before the application exists, as the programs do.
        SetEngineSwitches();
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
        opener = [](const QUrl& url) {
            std::printf("desktop %s\n", url.toEncoded().constData());
            return true;
        };
    }
    TDesktopShell shell(opener);
    bool opened = false;
    if (std::strcmp(verb, "link") == 0)
        opened = shell.OpenLink(url);
    else if (std::strcmp(verb, "file") == 0)
        opened = shell.OpenFile(url);
    else if (std::strcmp(verb, "start") == 0)
        opened = ProgramStarter::StartDetached(QFile::decodeName(url), {});
    else
        opened = shell.OpenUrlInBrowser(url);
    return opened ? 0 : 1;
}
