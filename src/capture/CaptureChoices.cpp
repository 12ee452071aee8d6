#include "capture/CaptureChoices.h"

#include "capture/CssSelector.h"
#include "common/ByteFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

namespace {

// Style sheets, scripts and cookie files are small; a bigger one is a mistake.
constexpr qint64 kMaxAddedFileBytes = 16 << 20;

bool Refuse(QString* message, const QString& text)
{
    *message = text;
    return false;
}

// A whole number from `low` to `high`, written as such.
bool Whole(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < low || number > high || text.trimmed() != text) return false;
    *value = number;
    return true;
}

} // namespace

namespace CaptureField {

bool WaitMs(const QString& name, const QString& text, int* ms, QString* message)
{
    if (Whole(text, 0, kMaxWaitMs, ms)) return true;
    return Refuse(message, QStringLiteral("%1 must be a whole number of milliseconds from 0 to %2, not \"%3\".")
                               .arg(name)
                               .arg(kMaxWaitMs)
                               .arg(text));
}

bool Condition(const QString& name, const QString& text, const QString& what, QString* condition, QString* message)
{
    if (text.trimmed().isEmpty()) return Refuse(message, QStringLiteral("%1 needs %2.").arg(name, what));
    *condition = text;
    return true;
}

bool WaitSelector(const QString& name, const QString& text, QString* selector, QString* message)
{
    QString given;
    if (!Condition(name, text, QStringLiteral("a CSS selector"), &given, message)) return false;
    // Refused now: otherwise the page would only be an error once its whole time-out is out.
    if (!IsCssSelectorList(given))
        return Refuse(message, QStringLiteral("%1 must be a CSS selector, not \"%2\".").arg(name, given));
    *selector = given;
    return true;
}

bool MaxHeight(const QString& name, const QString& text, int* pixels, QString* message)
{
    if (Whole(text, 1, kMaxFullHeight, pixels)) return true;
    return Refuse(message, QStringLiteral("%1 must be a whole number of pixels from 1 to %2, not \"%3\".")
                               .arg(name)
                               .arg(kMaxFullHeight)
                               .arg(text));
}

bool Scale(const QString& name, const QString& text, double* scale, QString* message)
{
    bool ok = false;
    const double number = text.toDouble(&ok);
    // toDouble() reads past blanks round the number, which no other number here takes.
    if (ok && number >= 1 && number <= kMaxScale && text.trimmed() == text) {
        *scale = number;
        return true;
    }
    return Refuse(message, QStringLiteral("%1 must be a number from 1 to 4, not \"%2\".").arg(name, text));
}

bool ColorScheme(const QString& name, const QString& text, QString* scheme, QString* message)
{
    if (text == QLatin1String("light") || text == QLatin1String("dark")) {
        *scheme = text;
        return true;
    }
    return Refuse(message, QStringLiteral("%1 must be light or dark, not \"%2\".").arg(name, text));
}

bool HideSelector(const QString& name, const QString& text, QStringList* selectors, QString* message)
{
    // Each becomes a rule of its own: one that is not a selector could swallow the rules after it.
    if (!IsCssSelectorList(text))
        return Refuse(message, QStringLiteral("%1 must be a CSS selector, not \"%2\".").arg(name, text));
    *selectors << text;
    return true;
}

bool Quality(const QString& name, const QString& text, int* quality, QString* message)
{
    if (Whole(text, 1, 100, quality)) return true;
    return Refuse(message, QStringLiteral("%1 must be a whole number from 1 to 100, not \"%2\".").arg(name, text));
}

bool UserAgent(const QString& name, const QString& text, QByteArray* agent, QString* message)
{
    // A control is not repeated: on a terminal it would act rather than show.
    if (!IsHeaderValue(text))
        return Refuse(message, QStringLiteral("%1 must be one line of text without control characters.").arg(name));
    if (text.trimmed().isEmpty())
        return Refuse(message, QStringLiteral("%1 must be one line of text, not \"%2\".").arg(name, text));
    *agent = text.toUtf8();
    return true;
}

bool Header(const QString& name, const QString& line, QList<QPair<QByteArray, QByteArray>>* headers, QString* message)
{
    QByteArray header;
    QByteArray value;
    // Only the header's name is repeated: the value may be a token or a password.
    if (!ParseHeaderLine(line, &header, &value)) {
        const QString headerName = HeaderNameOf(line);
        if (headerName.isEmpty())
            return Refuse(message, QStringLiteral("%1 must be \"Name: value\", the name before the colon an HTTP "
                                                  "token (the text given is not repeated).")
                                       .arg(name));
        return Refuse(message, QStringLiteral("%1 \"%2\" must have a value of one line without control characters "
                                              "(the value is not repeated).")
                                   .arg(name, headerName));
    }
    headers->append({header, value});
    return true;
}

bool AddedFile(const QString& name, const QString& path, QByteArray* data, QString* message)
{
    QString error;
    if (ByteFile::ReadAll(QFile::encodeName(path), data, &error, kMaxAddedFileBytes)) return true;
    return Refuse(message, QStringLiteral("%1 \"%2\": %3").arg(name, path, error));
}

bool CookiesFile(const QString& name, const QString& path, QList<TCookie>* cookies, QString* message)
{
    QByteArray text;
    if (!AddedFile(name, path, &text, message)) return false;
    QList<TCookie> read;
    QString error;
    if (!ParseNetscapeCookies(text, &read, &error))
        return Refuse(message, QStringLiteral("%1 \"%2\": %3").arg(name, path, error));
    *cookies = read;
    return true;
}

bool Proxy(const QString& name, const QString& text, QByteArray* server, QString* user, QString* password,
           QString* message)
{
    if (ParseProxyUrl(text, server, user, password)) return true;
    if (IsSocks5WithCredentials(text))
        return Refuse(message, QStringLiteral("%1: a socks5:// proxy cannot be given a user and password, as the "
                                              "engine cannot offer them to it; use an http:// or https:// proxy, "
                                              "or one that needs none, not \"%2\".")
                                   .arg(name, ProxyWithoutPassword(text)));
    return Refuse(message, QStringLiteral("%1 must be an http://, https:// or socks5:// address of a host, not \"%2\".")
                               .arg(name, ProxyWithoutPassword(text)));
}

} // namespace CaptureField

QString ProxyWithoutPassword(const QString& address)
{
    // Taken apart by hand, not by QUrl: an address it refuses may still hold a password. All
    // from the first colon after the scheme to the last "@" goes: a "://" or an "@" further
    // on must not hide where the user's part ends.
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    if (at < 0) return address;
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const QRegularExpressionMatch m = scheme.match(address);
    const qsizetype start = m.hasMatch() ? m.capturedEnd() : 0;
    const qsizetype colon = address.indexOf(QLatin1Char(':'), start);
    if (colon < 0 || colon > at) return address;
    return address.left(colon) + address.mid(at);
}

QString ProxyPasswordOf(const QString& address)
{
    return QUrl(address, QUrl::StrictMode).password(QUrl::FullyDecoded);
}

bool WithProxyPassword(const QString& address, const QString& password, QString* combined)
{
    const QUrl url(address, QUrl::StrictMode);
    if (password.isEmpty() || !url.password().isEmpty()) {
        *combined = address;
        return true;
    }
    if (url.userName().isEmpty()) return false;
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    *combined =
        address.left(at) + QLatin1Char(':') + QString::fromLatin1(QUrl::toPercentEncoding(password)) + address.mid(at);
    return true;
}

bool ResolveCaptureChoices(const TCaptureChoices& choices, TCaptureOptions* capture, QString* message)
{
    namespace Name = CaptureChoiceName;
    TCaptureOptions out;
    out.WaitMs = choices.WaitMs;
    out.WaitFor = choices.WaitFor;
    if (!choices.WaitForSelector.isEmpty() &&
        !CaptureField::WaitSelector(Name::WaitForSelector, choices.WaitForSelector, &out.WaitForSelector, message))
        return false;
    out.FullPage = choices.FullPage;
    out.MaxHeight = choices.MaxHeight;
    for (const QString& selector : choices.HideSelectors) {
        if (!CaptureField::HideSelector(Name::HideSelectors, selector, &out.HideSelectors, message)) return false;
    }
    if (!choices.StyleSheetFile.isEmpty() &&
        !CaptureField::AddedFile(Name::StyleSheetFile, choices.StyleSheetFile, &out.StyleSheet, message))
        return false;
    if (!choices.ScriptFile.isEmpty() &&
        !CaptureField::AddedFile(Name::ScriptFile, choices.ScriptFile, &out.Script, message))
        return false;
    if (!choices.UserAgent.isEmpty() &&
        !CaptureField::UserAgent(Name::UserAgent, choices.UserAgent, &out.UserAgent, message))
        return false;
    for (const QString& line : choices.Headers) {
        if (!CaptureField::Header(Name::Headers, line, &out.Headers, message)) return false;
    }
    if (!choices.CookiesFile.isEmpty() &&
        !CaptureField::CookiesFile(Name::CookiesFile, choices.CookiesFile, &out.Cookies, message))
        return false;
    if (!choices.User.isEmpty() || !choices.Password.isEmpty()) {
        if (choices.User.isEmpty())
            return Refuse(message, QStringLiteral("%1 is needed with a password.").arg(Name::User));
        // The password alone with a made-up user: refused only for what the batch refuses in it.
        QString user;
        QString password;
        if (!ParseCredentials("u:" + choices.Password.toUtf8(), &user, &password))
            return Refuse(message, QStringLiteral("%1 must be one line without control characters (the password is "
                                                  "not repeated).")
                                       .arg(Name::Password));
        // Split as the batch splits USER:PASSWORD, so a user the batch would misread is refused here too.
        if (!ParseCredentials((choices.User + QLatin1Char(':') + choices.Password).toUtf8(), &out.User,
                              &out.Password) ||
            out.User != choices.User)
            return Refuse(
                message,
                QStringLiteral("%1 must be a name without a colon, not \"%2\".").arg(Name::User, choices.User));
        out.HasCredentials = true;
    }
    QByteArray server;
    if (!choices.Proxy.isEmpty() &&
        !CaptureField::Proxy(Name::Proxy, choices.Proxy, &server, &out.ProxyUser, &out.ProxyPassword, message))
        return false;
    out.IgnoreCertificateErrors = choices.IgnoreCertificateErrors;
    *capture = out;
    return true;
}

TEngineOptions EngineOptionsOf(const TCaptureChoices& choices)
{
    TEngineOptions engine;
    if (choices.Scale >= 1 && choices.Scale <= kMaxScale) engine.Scale = choices.Scale;
    if (choices.ColorScheme == QLatin1String("light") || choices.ColorScheme == QLatin1String("dark"))
        engine.ColorScheme = choices.ColorScheme;
    engine.ReducedMotion = choices.ReducedMotion;
    QString user;
    QString password;
    if (!ParseProxyUrl(choices.Proxy, &engine.ProxyServer, &user, &password)) engine.ProxyServer.clear();
    return engine;
}
