#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// One cookie of a Netscape cookies.txt file.
struct TCookie
{
    QByteArray Domain; // without the leading "." of a domain cookie
    bool IncludeSubdomains = false;
    QByteArray Path = "/";
    bool Secure = false;
    bool HttpOnly = false;
    qint64 Expires = 0; // seconds since 1970; 0: for the session
    QByteArray Name;
    QByteArray Value;
};

// How a capture view treats each page before it is captured.
struct TCaptureOptions
{
    // Wait after the load event until the page has settled, as a person would see it.
    bool Settle = true;
    // Longest wait for that; a page not settled by then is captured as it is.
    int SettleMaxMs = 5000;
    // Hide consent banners, opting out where the banner allows.
    bool HideConsent = true;
    // A further fixed wait before the capture.
    int WaitMs = 0;
    // Conditions the page must meet before it is captured, however long its time-out allows:
    // a script expression that is truthy, an element that exists and is visible.
    QString WaitFor;
    QString WaitForSelector;
    // Capture the page's whole height, up to MaxHeight CSS pixels, not just the viewport.
    bool FullPage = false;
    int MaxHeight = 16384;

    // Added to every page: elements not displayed, a style sheet, a script run after load.
    QStringList HideSelectors;
    QByteArray StyleSheet;
    QByteArray Script;

    // Who the view says it is. Empty: the engine's own.
    QByteArray UserAgent;
    QList<QPair<QByteArray, QByteArray>> Headers;
    QList<TCookie> Cookies;
    // Answered when a page asks for HTTP credentials; without them every request is refused.
    bool HasCredentials = false;
    QString User;
    QString Password;
    // Credentials for the proxy, when its address names them.
    QString ProxyUser;
    QString ProxyPassword;
    bool IgnoreCertificateErrors = false;
};

bool operator==(const TCookie& a, const TCookie& b);
bool operator==(const TCaptureOptions& a, const TCaptureOptions& b);
inline bool operator!=(const TCaptureOptions& a, const TCaptureOptions& b)
{
    return !(a == b);
}

// Who a view says it is (user agent, headers, cookies, the proxy's credentials) and nothing
// it does to pages: no settling, no consent, no added style or script, no waits. Neither the
// site's credentials nor accepted certificate errors, which a person browsing anywhere
// should not hand out unasked.
TCaptureOptions IdentityOf(const TCaptureOptions& options);

// What the engine takes once, for the whole process, before it starts.
struct TEngineOptions
{
    double Scale = 1;    // device pixels per CSS pixel, 1 to 4
    QString ColorScheme; // "light", "dark", or empty: the engine's own (light)
    bool ReducedMotion = false;
    QByteArray ProxyServer; // "scheme://host:port"; empty: none
};

// "Name: value", the name an HTTP token and the value free of controls but tab; false for
// anything else.
bool ParseHeaderLine(const QString& text, QByteArray* name, QByteArray* value);
// The name before the colon when it is an HTTP token; empty otherwise. A message about a bad
// header can name it without repeating the value, which may be a token or a password.
QString HeaderNameOf(const QString& line);
// No control character in it but tab, as a header value (the user agent's included) must be.
bool IsHeaderValue(const QString& value);
// A proxy address, http://, https:// or socks5:// with a host, an optional port (not 0) and,
// but for socks5://, an optional user:password@. False for anything else.
bool ParseProxyUrl(const QString& text, QByteArray* server, QString* user, QString* password);
// socks5:// with a user or password: refused above, said apart so that the reason can be given.
bool IsSocks5WithCredentials(const QString& text);
// "USER:PASSWORD", split at the first colon; the user may not be empty, and neither may hold
// a control character.
bool ParseCredentials(const QByteArray& text, QString* user, QString* password);
// Cookies from a Netscape cookies.txt file (curl, wget, browser export tools): seven fields
// a line, tab-separated; "#HttpOnly_" before the domain marks an HTTP-only cookie. False,
// with the line number in `error`, for a line that is not in that format, whose domain is
// not a host name, or whose path, name or value holds ";", a control, or (the name) "=".
bool ParseNetscapeCookies(const QByteArray& text, QList<TCookie>* cookies, QString* error);
