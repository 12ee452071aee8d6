#include "capture/CaptureOptions.h"

#include <QRegularExpression>
#include <QUrl>

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

bool ParseHeaderLine(const QString& text, QByteArray* name, QByteArray* value)
{
    // RFC 9110 token characters; no line breaks anywhere, so a header cannot smuggle another.
    static const QRegularExpression pattern(QStringLiteral("^([!#$%&'*+.^_`|~0-9A-Za-z-]+):[ \\t]*([^\\r\\n]*)$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return false;
    *name = m.captured(1).toLatin1();
    *value = m.captured(2).trimmed().toUtf8();
    return true;
}

bool ParseProxyUrl(const QString& text, QByteArray* server, QString* user, QString* password)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool known =
        scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("socks5");
    if (!url.isValid() || !known || url.host().isEmpty() ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        return false;
    *server = (scheme + QStringLiteral("://") + url.host(QUrl::FullyEncoded) +
               (url.port() > 0 ? QLatin1Char(':') + QString::number(url.port()) : QString()))
                  .toLatin1();
    *user = url.userName();
    *password = url.password();
    return true;
}

bool ParseCredentials(const QByteArray& text, QString* user, QString* password)
{
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0 || text.contains('\n') || text.contains('\r')) return false;
    *user = QString::fromUtf8(text.left(colon));
    *password = QString::fromUtf8(text.mid(colon + 1));
    return true;
}

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
