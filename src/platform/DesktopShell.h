#pragma once

#include "common/Shell.h"

#include <QString>
#include <QStringList>

// The freedesktop.org way: the default application for "x-scheme-handler/<scheme>" from
// the mimeapps.list files, started from its desktop entry's Exec line with the address as
// one argument. No shell ever sees the address.
class TDesktopShell : public TShell
{
public:
    bool OpenUrlInBrowser(const QByteArray& url) override;
    bool OpenLink(const QByteArray& url) override;

    // The desktop entry file of the default handler for `mimeType`, or empty.
    static QString DefaultHandler(const QString& mimeType);
    // Program and arguments from an Exec line with `url` in place of %u/%U (or after it
    // when the line has no field for it); empty when the line cannot be parsed.
    static QStringList ExecArguments(const QString& exec, const QString& url, const QString& name,
                                     const QString& desktopFile);

private:
    static bool Open(const QString& scheme, const QByteArray& url);
};
