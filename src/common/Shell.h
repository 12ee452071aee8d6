#pragma once

#include <QByteArray>

// Hands addresses to the desktop. Production asks the desktop's default handlers; tests
// record what would have been opened.
class TShell
{
public:
    virtual ~TShell() = default;

    // Opens `url` (possibly empty: the browser starts without an address) with the
    // default handler of "http". False when the desktop names none.
    virtual bool OpenUrlInBrowser(const QByteArray& url) = 0;
    // Opens `url` with the default handler of its own scheme, as a link does.
    virtual bool OpenLink(const QByteArray& url) = 0;
    // Opens a file of ours (a thumbnail) with the desktop's program for its type.
    virtual bool OpenFile(const QByteArray& path) = 0;
};
