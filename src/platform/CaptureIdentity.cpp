#include "platform/CaptureIdentity.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkCookie>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestInterceptor>

namespace {

class HeaderInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    HeaderInterceptor(QList<QPair<QByteArray, QByteArray>> headers, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), m_headers(std::move(headers))
    {
    }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        for (const auto& header : m_headers)
            info.setHttpHeader(header.first, header.second);
    }

private:
    QList<QPair<QByteArray, QByteArray>> m_headers;
};

QNetworkCookie ToNetworkCookie(const TCookie& cookie)
{
    QNetworkCookie out(cookie.Name, cookie.Value);
    // A cookie of the host alone has no domain of its own; the origin it is set for names the host.
    if (cookie.IncludeSubdomains) out.setDomain(QLatin1Char('.') + QString::fromUtf8(cookie.Domain));
    out.setPath(QString::fromUtf8(cookie.Path));
    out.setSecure(cookie.Secure);
    out.setHttpOnly(cookie.HttpOnly);
    if (cookie.Expires > 0) out.setExpirationDate(QDateTime::fromSecsSinceEpoch(cookie.Expires));
    return out;
}

QUrl OriginOf(const TCookie& cookie)
{
    return QUrl(QString::fromLatin1(cookie.Secure ? "https://" : "http://") + QString::fromUtf8(cookie.Domain) +
                QString::fromUtf8(cookie.Path));
}

QString JsString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

namespace CaptureIdentity {

void Apply(QWebEngineProfile* profile, const TCaptureOptions& options)
{
    if (!options.UserAgent.isEmpty()) profile->setHttpUserAgent(QString::fromUtf8(options.UserAgent));
    if (!options.Headers.isEmpty()) profile->setUrlRequestInterceptor(new HeaderInterceptor(options.Headers, profile));
    for (const TCookie& cookie : options.Cookies)
        profile->cookieStore()->setCookie(ToNetworkCookie(cookie), OriginOf(cookie));
}

QList<QWebEngineScript> PageScripts(const TCaptureOptions& options)
{
    QString css;
    for (const QString& selector : options.HideSelectors)
        css += selector + QStringLiteral("{display:none!important}\n");
    css += QString::fromUtf8(options.StyleSheet);
    if (css.isEmpty()) return {};
    QWebEngineScript style;
    style.setName(QStringLiteral("thumbrix-style"));
    // At DocumentReady the root is there, and the page has not been captured yet.
    style.setInjectionPoint(QWebEngineScript::DocumentReady);
    style.setWorldId(QWebEngineScript::ApplicationWorld);
    style.setRunsOnSubFrames(false);
    style.setSourceCode(QStringLiteral("(()=>{const s=document.createElement('style');s.textContent=%1;"
                                       "(document.head||document.documentElement).appendChild(s)})()")
                            .arg(JsString(css)));
    return {style};
}

} // namespace CaptureIdentity
