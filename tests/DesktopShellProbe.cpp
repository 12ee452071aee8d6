// Opens one address the way the program does, in a process of its own: the desktop's
// folders are read from the environment once per process, so each case needs its own.
//   desktop_shell_probe browser|link URL
// Prints "desktop URL" when the desktop's own opener was asked; exits 0 when the address
// was handed over, 1 when it was refused.

#include "platform/DesktopShell.h"

#include <QCoreApplication>
#include <QUrl>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: desktop_shell_probe browser|link URL\n", stderr);
        return 2;
    }
    TDesktopShell shell([](const QUrl& url) {
        std::printf("desktop %s\n", url.toEncoded().constData());
        return true;
    });
    const QByteArray url = argv[2];
    const bool opened = std::strcmp(argv[1], "link") == 0 ? shell.OpenLink(url) : shell.OpenUrlInBrowser(url);
    return opened ? 0 : 1;
}
