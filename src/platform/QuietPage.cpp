#include "platform/QuietPage.h"

#include "platform/ExternalLinks.h"

#include <QAuthenticator>
#include <QWebEngineCertificateError>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineSettings>

QuietPage::QuietPage(QWebEngineProfile* profile, bool capture, const TCaptureOptions& options, QObject* parent)
    : QWebEnginePage(profile, parent), m_options(options), m_capture(capture)
{
    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::ShowScrollBars, !capture);
    // An icon is one more request to every site, and a thumbnail has no use for it.
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, !capture);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);

    connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl& origin, Feature feature) {
        setFeaturePermission(origin, feature, PermissionDeniedByUser);
    });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::quotaRequested, this, [](QWebEngineQuotaRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::selectClientCertificate, this,
            [](QWebEngineClientCertificateSelection selection) { selection.selectNone(); });
    // Credentials are offered once a page: asked again, they were wrong. A frame, an image or
    // a redirect of another origin asking is someone else.
    connect(this, &QWebEnginePage::authenticationRequired, this, [this](const QUrl& asking, QAuthenticator* auth) {
        if (!m_options.HasCredentials || m_credentialsOffered || !m_origin.Holds(asking)) {
            *auth = QAuthenticator();
            return;
        }
        m_credentialsOffered = true;
        auth->setUser(m_options.User);
        auth->setPassword(m_options.Password);
    });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl&, QAuthenticator* auth, const QString&) {
                if (m_options.ProxyUser.isEmpty() || m_proxyCredentialsOffered) {
                    *auth = QAuthenticator();
                    return;
                }
                m_proxyCredentialsOffered = true;
                auth->setUser(m_options.ProxyUser);
                auth->setPassword(m_options.ProxyPassword);
            });
    if (options.IgnoreCertificateErrors) {
        connect(this, &QWebEnginePage::certificateError, this, [](const QWebEngineCertificateError& error) {
            QWebEngineCertificateError accepted = error;
            accepted.acceptCertificate();
        });
    }
}

bool QuietPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    // A capture has no one to click a link, and its views never open other programs.
    if (!m_capture && !ExternalLinks::Accept(url, type)) return false;
    if (isMainFrame) {
        m_credentialsOffered = false;
        m_proxyCredentialsOffered = false;
    }
    // The engine sends a redirected request with the headers of the first, and a request to
    // the row's origin carries its private headers: they must not follow it elsewhere. A frame
    // that would take them along stays empty; the page goes there afresh, without them.
    if (type == NavigationTypeRedirect && !m_origin.Holds(url) && SendsPrivateHeaders()) {
        if (!isMainFrame) return false;
        if (m_secretsInTow) {
            m_secretsInTow = false;
            Q_EMIT LeftOrigin(url);
            return false;
        }
    } else if (isMainFrame && type != NavigationTypeRedirect) {
        m_secretsInTow = m_origin.Holds(url);
    }
    Q_EMIT NavigationRequested();
    return true;
}

bool QuietPage::SendsPrivateHeaders() const
{
    for (const auto& header : m_options.Headers) {
        if (RowOrigin::IsPrivateHeader(header.first)) return true;
    }
    return false;
}
