// The address check before an address goes to the desktop's browser or another handler.
#include "FuzzCheck.h"
#include "platform/DesktopShell.h"

#include <QRegularExpression>

namespace {

// The address as a browser reads it: C0 controls and spaces trimmed at both ends, tab, CR
// and LF taken out everywhere.
QByteArray AsBrowserReads(QByteArray url)
{
    while (!url.isEmpty() && uchar(url.front()) <= ' ')
        url.remove(0, 1);
    while (!url.isEmpty() && uchar(url.back()) <= ' ')
        url.chop(1);
    url.replace('\t', QByteArray()).replace('\r', QByteArray()).replace('\n', QByteArray());
    return url;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray url = Fuzz::Bytes(data, size);
    if (!TDesktopShell::IsSafeAddress(url)) return 0;
    const QByteArray read = AsBrowserReads(url);
    FUZZ_REQUIRE(!read.startsWith('-'), "a safe address never reads as an option");
    FUZZ_REQUIRE(TDesktopShell::IsSafeAddress(read) && TDesktopShell::SchemeOf(read) == TDesktopShell::SchemeOf(url),
                 "a safe address has the scheme a browser reads in it");
    // "host:port" is not a scheme; which hosts may carry a port is the shell's own rule.
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(?![0-9]+(?:[/?#]|$))"));
    const QRegularExpressionMatch m = scheme.match(QString::fromLatin1(read));
    if (m.hasMatch()) {
        const QString found = m.captured(1).toLower();
        FUZZ_REQUIRE(found == QLatin1String("http") || found == QLatin1String("https") ||
                         found == QLatin1String("mailto"),
                     "a safe address is http, https or mailto");
    }
    return 0;
}
