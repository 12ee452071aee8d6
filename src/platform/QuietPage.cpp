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
    // Credentials are offered once a page: asked again, they were wrong.
    connect(this, &QWebEnginePage::authenticationRequired, this, [this](const QUrl&, QAuthenticator* auth) {
        if (!m_options.HasCredentials || m_credentialsOffered) {
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
    Q_EMIT NavigationRequested();
    return true;
}
