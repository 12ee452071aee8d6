// --cookies and the Options window's Cookies file: a Netscape cookies.txt file.
#include "FuzzCheck.h"
#include "capture/CaptureOptions.h"

#include <QRegularExpression>

namespace {

// A host name (letters, digits, "-", "_", dots between non-empty labels) or an IP address.
bool IsHost(const QByteArray& domain)
{
    if (domain.isEmpty()) return false;
    if (domain.startsWith('[') && domain.endsWith(']')) {
        for (const char c : domain.mid(1, domain.size() - 2))
            if (!isxdigit(uchar(c)) && c != ':' && c != '.') return false;
        return domain.size() > 2;
    }
    for (const QByteArray& label : domain.split('.')) {
        if (label.isEmpty()) return false;
        for (const char c : label)
            if (!isalnum(uchar(c)) && c != '-' && c != '_') return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = Fuzz::Bytes(data, size);
    QList<TCookie> cookies;
    QString error;
    const bool ok = ParseNetscapeCookies(text, &cookies, &error);
    if (!ok) {
        // A bad line is named by its number; only a file with no cookie at all is refused whole.
        static const QRegularExpression numbered(QStringLiteral("^line ([0-9]+)"));
        const QRegularExpressionMatch m = numbered.match(error);
        const int lines = int(text.count('\n')) + 1;
        FUZZ_REQUIRE(m.hasMatch() ? m.captured(1).toInt() >= 1 && m.captured(1).toInt() <= lines
                                  : !error.isEmpty() && cookies.isEmpty(),
                     "a refused file names the line that is not a cookie");
    }
    for (const TCookie& cookie : cookies) {
        FUZZ_REQUIRE(IsHost(cookie.Domain), "a cookie's domain is a host");
        FUZZ_REQUIRE(!cookie.Name.isEmpty() && !cookie.Name.contains(';') && !cookie.Name.contains('=') &&
                         !Fuzz::HasControl(cookie.Name),
                     "a cookie's name holds no ';', '=' or control character");
        // A ';' would start an attribute of the cookie's own (Domain=, Path=).
        FUZZ_REQUIRE(!cookie.Value.contains(';') && !Fuzz::HasControl(cookie.Value),
                     "a cookie's value holds no ';' or control character");
        FUZZ_REQUIRE(cookie.Path.startsWith('/') && !cookie.Path.contains(';') && !Fuzz::HasControl(cookie.Path),
                     "a cookie's path is a path");
        FUZZ_REQUIRE(cookie.Expires >= 0, "a cookie expires after 1970");
    }
    // Windows line ends read as Unix ones.
    if (!text.contains('\r')) {
        QByteArray crlf = text;
        crlf.replace("\n", "\r\n");
        QList<TCookie> again;
        QString againError;
        FUZZ_REQUIRE(ParseNetscapeCookies(crlf, &again, &againError) == ok && again == cookies,
                     "a file with CR LF line ends gives the cookies it gives with LF");
    }
    return 0;
}
