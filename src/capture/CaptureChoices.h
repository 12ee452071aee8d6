#pragma once

#include "capture/CaptureOptions.h"
#include "capture/ThumbnailWriters.h"

#include <QString>
#include <QStringList>

// The bounds thumbrix-batch and the Options window hold the capture options to.
constexpr int kMaxWaitMs = 600000;
constexpr int kMaxFullHeight = 16384;
constexpr double kMaxScale = 4;

// Each reads one option's text the way both thumbrix-batch and the Options window take it.
// False with a message that names the option as `name` (the batch's "--wait", the window's
// "Fixed wait") and repeats the text, a password left out.
namespace CaptureField {

bool WaitMs(const QString& name, const QString& text, int* ms, QString* message);
// A JavaScript expression or a CSS selector to wait for; `what` says which.
bool Condition(const QString& name, const QString& text, const QString& what, QString* condition, QString* message);
// A CSS selector to wait for.
bool WaitSelector(const QString& name, const QString& text, QString* selector, QString* message);
bool MaxHeight(const QString& name, const QString& text, int* pixels, QString* message);
bool Scale(const QString& name, const QString& text, double* scale, QString* message);
// "light" or "dark".
bool ColorScheme(const QString& name, const QString& text, QString* scheme, QString* message);
bool HideSelector(const QString& name, const QString& text, QStringList* selectors, QString* message);
bool Quality(const QString& name, const QString& text, int* quality, QString* message);
bool UserAgent(const QString& name, const QString& text, QByteArray* agent, QString* message);
bool Header(const QString& name, const QString& line, QList<QPair<QByteArray, QByteArray>>* headers, QString* message);
// A style sheet or script, read whole.
bool AddedFile(const QString& name, const QString& path, QByteArray* data, QString* message);
bool CookiesFile(const QString& name, const QString& path, QList<TCookie>* cookies, QString* message);
bool Proxy(const QString& name, const QString& text, QByteArray* server, QString* user, QString* password,
           QString* message);

} // namespace CaptureField

// The proxy address without the password in it, as it may be kept or shown.
QString ProxyWithoutPassword(const QString& address);
// The password of a proxy address, decoded; empty when it has none.
QString ProxyPasswordOf(const QString& address);
// The address with `password` put back after its user, unless it holds one of its own.
// False when there is a password and no user to give it to.
bool WithProxyPassword(const QString& address, const QString& password, QString* combined);

// The capture options the window's Options offer, as a person gives them: files by name,
// read at each Start; empty texts for options not given. config.ini keeps all of it but
// the passwords, which last for the session.
struct TCaptureChoices
{
    int WaitMs = 0;
    QString WaitFor;
    QString WaitForSelector;
    bool FullPage = false;
    int MaxHeight = kMaxFullHeight;
    double Scale = 1;
    QString ColorScheme; // empty: the engine's own
    bool ReducedMotion = false;
    QStringList HideSelectors;
    QString StyleSheetFile;
    QString ScriptFile;
    int Quality = kDefaultQuality;
    QString UserAgent;
    QStringList Headers; // "Name: value"
    QString CookiesFile;
    QString User;
    QString Password;
    QString Proxy; // any user:password@ as given
    bool IgnoreCertificateErrors = false;
};

// The names the Options window gives each choice, and its messages use.
namespace CaptureChoiceName {

inline const QString WaitMs = QStringLiteral("Fixed wait (ms)");
inline const QString WaitFor = QStringLiteral("Wait for expression");
inline const QString WaitForSelector = QStringLiteral("Wait for selector");
inline const QString MaxHeight = QStringLiteral("Max height (px)");
inline const QString Scale = QStringLiteral("Scale");
inline const QString HideSelectors = QStringLiteral("Hidden elements");
inline const QString StyleSheetFile = QStringLiteral("Style sheet file");
inline const QString ScriptFile = QStringLiteral("Script file");
inline const QString Quality = QStringLiteral("Quality");
inline const QString UserAgent = QStringLiteral("User agent");
inline const QString Headers = QStringLiteral("Headers");
inline const QString CookiesFile = QStringLiteral("Cookies file");
inline const QString User = QStringLiteral("User");
inline const QString Password = QStringLiteral("Password");
inline const QString Proxy = QStringLiteral("Proxy");
inline const QString ProxyPassword = QStringLiteral("Proxy password");

} // namespace CaptureChoiceName

// The options a capture takes from the choices, the named files read now. False, with a
// message naming the choice and its value, when one cannot be used.
bool ResolveCaptureChoices(const TCaptureChoices& choices, TCaptureOptions* capture, QString* message);
// The part the engine takes at start-up; a choice it cannot use gives the engine's own.
TEngineOptions EngineOptionsOf(const TCaptureChoices& choices);
