#pragma once

#include "common/Shell.h"

#include <QString>
#include <QStringList>

#include <functional>

class QUrl;

// The freedesktop.org way: the default application for "x-scheme-handler/<scheme>", as
// GIO finds it, and for the web the desktop's browser setting; started from its desktop
// entry's Exec line with the address as one argument. No shell ever sees the address.
// When the desktop names no handler, its own opener is asked. Every program is started
// with the environment this process was started with.
class TDesktopShell : public TShell
{
public:
    // `fallback` opens an address when no handler is found; the desktop's xdg-open by default.
    explicit TDesktopShell(std::function<bool(const QUrl&)> fallback = {});

    bool OpenUrlInBrowser(const QByteArray& url) override;
    bool OpenLink(const QByteArray& url) override;
    bool OpenFile(const QByteArray& path) override;

    // Program and arguments from an Exec line with `url` in place of %u/%U (or after it
    // when the line has no field for it); empty when the line cannot be parsed.
    static QStringList ExecArguments(const QString& exec, const QString& url, const QString& name,
                                     const QString& desktopFile);
    // Whether an address may be handed to another program at all: http, https, mailto or
    // no scheme, and not starting with "-".
    static bool IsSafeAddress(const QByteArray& url);
    // The address's scheme in lower case, read as a browser reads it; empty when it has none
    // ("localhost:8080" has none, "javascript:1/" has one).
    static QByteArray SchemeOf(const QByteArray& url);
    // The address with C0 controls and spaces trimmed from its ends and tab, CR and LF taken out.
    static QByteArray BrowserReading(const QByteArray& url);

private:
    bool Open(const QString& scheme, const QByteArray& url);

    std::function<bool(const QUrl&)> m_fallback;
};
