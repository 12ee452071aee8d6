#include "platform/ExternalLinks.h"

#include "platform/DesktopShell.h"

#include <QUrl>
#include <QWebEngineUrlScheme>

bool ExternalLinks::EngineLoads(const QUrl& url)
{
    static const QStringList engine = {
        QStringLiteral("http"),       QStringLiteral("https"),        QStringLiteral("file"),
        QStringLiteral("data"),       QStringLiteral("about"),        QStringLiteral("blob"),
        QStringLiteral("filesystem"), QStringLiteral("javascript"),   QStringLiteral("qrc"),
        QStringLiteral("chrome"),     QStringLiteral("chrome-error"), QStringLiteral("view-source"),
    };
    const QString scheme = url.scheme().toLower();
    return scheme.isEmpty() || engine.contains(scheme) ||
           !QWebEngineUrlScheme::schemeByName(scheme.toLatin1()).name().isEmpty();
}

bool ExternalLinks::Accept(const QUrl& url, QWebEnginePage::NavigationType type)
{
    if (EngineLoads(url)) return true;
    if (type == QWebEnginePage::NavigationTypeLinkClicked) TDesktopShell().OpenLink(url.toEncoded());
    return false;
}
