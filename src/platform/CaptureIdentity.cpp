#include "platform/CaptureIdentity.h"

#include "platform/RowOrigin.h"

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

const QString kInterceptorName = QStringLiteral("thumbrix-headers");

// One a profile, made when headers are first asked for; later options change its list.
class HeaderInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    explicit HeaderInterceptor(QObject* parent) : QWebEngineUrlRequestInterceptor(parent)
    {
        setObjectName(kInterceptorName);
    }

    void SetHeaders(const QList<QPair<QByteArray, QByteArray>>& headers) { m_headers = headers; }
    void SetOrigin(const RowOrigin& origin) { m_origin = origin; }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const bool own = m_origin.Holds(info.requestUrl());
        for (const auto& header : m_headers) {
            if (own || !RowOrigin::IsPrivateHeader(header.first)) info.setHttpHeader(header.first, header.second);
        }
    }

private:
    QList<QPair<QByteArray, QByteArray>> m_headers;
    RowOrigin m_origin;
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

HeaderInterceptor* InterceptorOf(QWebEngineProfile* profile)
{
    return static_cast<HeaderInterceptor*>(
        profile->findChild<QWebEngineUrlRequestInterceptor*>(kInterceptorName, Qt::FindDirectChildrenOnly));
}

} // namespace

namespace CaptureIdentity {

void Apply(QWebEngineProfile* profile, const TCaptureOptions& options, const QString& engineAgent)
{
    profile->setHttpUserAgent(options.UserAgent.isEmpty() ? engineAgent : QString::fromUtf8(options.UserAgent));
    HeaderInterceptor* headers = InterceptorOf(profile);
    if (!headers && !options.Headers.isEmpty()) {
        headers = new HeaderInterceptor(profile);
        profile->setUrlRequestInterceptor(headers);
    }
    if (headers) headers->SetHeaders(options.Headers);
    // Queued before the cookies below, so it takes only those set earlier.
    profile->cookieStore()->deleteAllCookies();
    for (const TCookie& cookie : options.Cookies)
        profile->cookieStore()->setCookie(ToNetworkCookie(cookie), OriginOf(cookie));
}

void SetRowAddress(QWebEngineProfile* profile, const QUrl& address)
{
    if (HeaderInterceptor* headers = InterceptorOf(profile)) headers->SetOrigin(RowOrigin(address));
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
