#include "capture/CaptureOptions.h"

#include <QUrl>

#include <algorithm>
#include <cstring>

bool operator==(const TCookie& a, const TCookie& b)
{
    return a.Domain == b.Domain && a.IncludeSubdomains == b.IncludeSubdomains && a.Path == b.Path &&
           a.Secure == b.Secure && a.HttpOnly == b.HttpOnly && a.Expires == b.Expires && a.Name == b.Name &&
           a.Value == b.Value;
}

bool operator==(const TCaptureOptions& a, const TCaptureOptions& b)
{
    return a.Settle == b.Settle && a.SettleMaxMs == b.SettleMaxMs && a.HideConsent == b.HideConsent &&
           a.WaitMs == b.WaitMs && a.WaitFor == b.WaitFor && a.WaitForSelector == b.WaitForSelector &&
           a.FullPage == b.FullPage && a.MaxHeight == b.MaxHeight && a.HideSelectors == b.HideSelectors &&
           a.StyleSheet == b.StyleSheet && a.Script == b.Script && a.UserAgent == b.UserAgent &&
           a.Headers == b.Headers && a.Cookies == b.Cookies && a.HasCredentials == b.HasCredentials &&
           a.User == b.User && a.Password == b.Password && a.ProxyUser == b.ProxyUser &&
           a.ProxyPassword == b.ProxyPassword && a.IgnoreCertificateErrors == b.IgnoreCertificateErrors;
}

TCaptureOptions IdentityOf(const TCaptureOptions& options)
{
    TCaptureOptions identity;
    identity.Settle = false;
    identity.HideConsent = false;
    identity.UserAgent = options.UserAgent;
    identity.Headers = options.Headers;
    identity.Cookies = options.Cookies;
    identity.ProxyUser = options.ProxyUser;
    identity.ProxyPassword = options.ProxyPassword;
    return identity;
}

namespace {

bool IsTokenChar(QChar c)
{
    // RFC 9110's tchar.
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           QStringView(u"!#$%&'*+-.^_`|~").contains(c);
}

bool IsControl(char16_t c)
{
    return c < 0x20 || c == 0x7f;
}

// Spaces and tabs only: QString::trimmed() would take other characters too.
QString TrimmedBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text.at(begin) == u' ' || text.at(begin) == u'\t'))
        ++begin;
    while (end > begin && (text.at(end - 1) == u' ' || text.at(end - 1) == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

bool HasControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return IsControl(c.unicode()); });
}

bool HasControlByte(const QByteArray& bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return IsControl(uchar(c)); });
}

} // namespace

QString HeaderNameOf(const QString& line)
{
    const qsizetype colon = line.indexOf(u':');
    const QString name = line.left(qMax<qsizetype>(colon, 0));
    return !name.isEmpty() && std::all_of(name.cbegin(), name.cend(), IsTokenChar) ? name : QString();
}

bool IsHeaderValue(const QString& value)
{
    // A line break would smuggle another header in; a tab is the only control a value may hold.
    return std::none_of(value.cbegin(), value.cend(), [](QChar c) { return c != u'\t' && IsControl(c.unicode()); });
}

bool ParseHeaderLine(const QString& text, QByteArray* name, QByteArray* value)
{
    const QString headerName = HeaderNameOf(text);
    if (headerName.isEmpty()) return false;
    const QString headerValue = text.mid(headerName.size() + 1);
    if (!IsHeaderValue(headerValue)) return false;
    *name = headerName.toLatin1();
    *value = TrimmedBlanks(headerValue).toUtf8();
    return true;
}

bool ParseProxyUrl(const QString& text, QByteArray* server, QString* user, QString* password)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool known =
        scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("socks5");
    if (!url.isValid() || !known || url.host().isEmpty() || url.port() == 0 ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        return false;
    // The engine cannot answer a SOCKS5 proxy's request for credentials: every page would fail.
    if (scheme == QLatin1String("socks5") && !url.userInfo().isEmpty()) return false;
    if (HasControl(url.userName()) || HasControl(url.password())) return false;
    QString host = url.host(QUrl::FullyEncoded);
    if (host.contains(u':')) host = u'[' + host + u']';
    *server = (scheme + QStringLiteral("://") + host +
               (url.port() > 0 ? QLatin1Char(':') + QString::number(url.port()) : QString()))
                  .toLatin1();
    *user = url.userName();
    *password = url.password();
    return true;
}

bool IsSocks5WithCredentials(const QString& text)
{
    const QUrl url(text, QUrl::TolerantMode);
    return url.scheme().compare(QLatin1String("socks5"), Qt::CaseInsensitive) == 0 && !url.userInfo().isEmpty();
}

bool ParseCredentials(const QByteArray& text, QString* user, QString* password)
{
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0 || HasControlByte(text)) return false;
    *user = QString::fromUtf8(text.left(colon));
    *password = QString::fromUtf8(text.mid(colon + 1));
    return true;
}

namespace {

bool IsHostName(const QByteArray& host)
{
    if (host.isEmpty() || host.startsWith('.') || host.endsWith('.') || host.contains("..")) return false;
    return std::all_of(host.cbegin(), host.cend(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
               c == '_';
    });
}

// What the engine would misread in a cookie's fields: a domain that is not a host sets the
// cookie for an address of the file's choosing, and a ";" in a value adds attributes of its own.
QString CookieFieldsProblem(const QList<QByteArray>& fields)
{
    const QByteArray domain = fields[0].startsWith('.') ? fields[0].mid(1) : fields[0];
    if (!IsHostName(domain)) return QStringLiteral("its domain is not a host name");
    const auto plain = [](const QByteArray& field, const char* also) {
        return !HasControlByte(field) && std::none_of(field.cbegin(), field.cend(), [also](char c) {
            return std::strchr(also, c) != nullptr && c != 0;
        });
    };
    if (!plain(fields[2], ";")) return QStringLiteral("its path holds \";\" or a control character");
    if (!plain(fields[5], ";=")) return QStringLiteral("its name holds \";\", \"=\" or a control character");
    if (!plain(fields[6], ";")) return QStringLiteral("its value holds \";\" or a control character");
    return {};
}

} // namespace

bool ParseNetscapeCookies(const QByteArray& text, QList<TCookie>* cookies, QString* error)
{
    static const QByteArray httpOnly = "#HttpOnly_";
    int number = 0;
    for (QByteArray line : text.split('\n')) {
        ++number;
        if (line.endsWith('\r')) line.chop(1);
        TCookie cookie;
        if (line.startsWith(httpOnly)) {
            cookie.HttpOnly = true;
            line = line.mid(httpOnly.size());
        } else if (line.trimmed().isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QList<QByteArray> fields = line.split('\t');
        bool expiresOk = false;
        const qint64 expires = fields.size() == 7 ? fields[4].toLongLong(&expiresOk) : 0;
        const auto isFlag = [](const QByteArray& f) { return f == "TRUE" || f == "FALSE"; };
        if (fields.size() != 7 || fields[0].isEmpty() || !isFlag(fields[1]) || !fields[2].startsWith('/') ||
            !isFlag(fields[3]) || !expiresOk || expires < 0 || fields[5].isEmpty()) {
            *error = QStringLiteral("line %1 is not a cookie of a Netscape cookies.txt file").arg(number);
            return false;
        }
        const QString reason = CookieFieldsProblem(fields);
        if (!reason.isEmpty()) {
            *error = QStringLiteral("line %1: %2").arg(number).arg(reason);
            return false;
        }
        cookie.Domain = fields[0].startsWith('.') ? fields[0].mid(1) : fields[0];
        cookie.IncludeSubdomains = fields[1] == "TRUE";
        cookie.Path = fields[2];
        cookie.Secure = fields[3] == "TRUE";
        cookie.Expires = expires;
        cookie.Name = fields[5];
        cookie.Value = fields[6];
        cookies->append(cookie);
    }
    // A file of the format with no cookie in it says so in its first line.
    if (cookies->isEmpty() && !text.startsWith("# Netscape HTTP Cookie File") &&
        !text.startsWith("# HTTP Cookie File")) {
        *error = QStringLiteral("it holds no cookie and is not a Netscape cookies.txt file");
        return false;
    }
    return true;
}
