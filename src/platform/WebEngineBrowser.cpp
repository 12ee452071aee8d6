#include "platform/WebEngineBrowser.h"

#include "common/ByteFile.h"
#include "platform/CaptureIdentity.h"
#include "platform/ConditionWatch.h"
#include "platform/ConsentScripts.h"
#include "platform/ConsentWatch.h"
#include "platform/FullPageLayout.h"
#include "platform/NetErrors.h"
#include "platform/PaintFence.h"
#include "platform/QuietPage.h"
#include "platform/SettleWatch.h"

#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// A hung renderer ignores Stop and swallows the next same-site load; these bound how
// long we wait before giving the view a fresh page.
constexpr int kStopCheckMs = 500;
constexpr int kStartWatchdogMs = 3000;
// ERR_ABORTED: the load was cancelled (by Stop or by the next navigation), not failed.
constexpr int kNetErrorAborted = -3;

constexpr int kOffScreen = -32000;
// Taller surfaces repeat or break in Chromium.
constexpr int kMaxFullPageDevicePixels = 16384;

QUrl ToQUrl(const QByteArray& bytes)
{
    return QUrl::fromUserInput(DisplayText(bytes));
}

QString DescribeFailure(const QWebEngineLoadingInfo& info)
{
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
        return QStringLiteral("HTTP status %1").arg(info.errorCode());
    QString text = info.errorString().trimmed();
    if (text.isEmpty() || text.size() > 120 || text.contains(QLatin1Char('<'))) text = QStringLiteral("network error");
    return QStringLiteral("%1 (%2)").arg(text).arg(info.errorCode());
}

// The engine reports the main document's HTTP status in the same place as a failure's.
int HttpStatusOf(const QWebEngineLoadingInfo& info)
{
    const QString scheme = info.url().scheme();
    const bool http = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    return http && info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain ? info.errorCode() : 0;
}

WebBrowser::Failure ClassifyFailure(const QWebEngineLoadingInfo& info)
{
    switch (info.errorDomain()) {
    case QWebEngineLoadingInfo::HttpStatusCodeDomain:
        return WebBrowser::Failure::HttpStatus;
    case QWebEngineLoadingInfo::CertificateErrorDomain:
        return WebBrowser::Failure::Certificate;
    default:
        return NetErrorMayPass(info.errorCode()) ? WebBrowser::Failure::Network : WebBrowser::Failure::Address;
    }
}

} // namespace

WebEngineBrowser::WebEngineBrowser(Role role, QWidget* parent) : WebEngineBrowser(role, TCaptureOptions(), parent) {}

WebEngineBrowser::WebEngineBrowser(Role role, const TCaptureOptions& options, QWidget* parent)
    : WebBrowser(parent), m_role(role), m_options(options)
{
    if (m_role != Role::Capture) m_options = IdentityOf(options);
    m_settle = new SettleWatch(m_options, this);
    connect(m_settle, &SettleWatch::Finished, this, &WebEngineBrowser::WatchConsent);
    m_consent = new ConsentWatch(this);
    connect(m_consent, &ConsentWatch::Finished, this, &WebEngineBrowser::OnSettled);
    m_fullPage = new FullPageLayout(this);
    connect(m_fullPage, &FullPageLayout::Measured, this, &WebEngineBrowser::OnPageMeasured);
    m_condition = new ConditionWatch(this);
    connect(m_condition, &ConditionWatch::Met, this, &WebEngineBrowser::OnConditionsMet);
    m_fence = new PaintFence(this);
    CreateProfile();

    if (m_role == Role::Capture) {
        m_view = new QWebEngineView();
        m_view->setAttribute(Qt::WA_DontShowOnScreen);
        // On X11 the engine still maps a window for the view; keep it out of sight, out of
        // the task bar and away from input.
        m_view->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
        m_view->setGeometry(kOffScreen, kOffScreen, 800, 600);
    } else {
        m_view = new QWebEngineView(parent);
    }
    CreatePage();
    m_view->setPage(m_page);
    if (m_role == Role::Capture) m_view->show();

    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, &WebEngineBrowser::StartPaintFence);
    connect(m_fence, &PaintFence::Painted, this, &WebEngineBrowser::OnPainted);
    connect(m_fence, &PaintFence::Failed, this, &WebEngineBrowser::FailPaintFence);
    m_startWatchdog.setSingleShot(true);
    connect(&m_startWatchdog, &QTimer::timeout, this, &WebEngineBrowser::OnStartWatchdog);
    m_stopCheck.setSingleShot(true);
    connect(&m_stopCheck, &QTimer::timeout, this, [this] {
        if (m_loading) ReplacePage();
    });
}

WebEngineBrowser::~WebEngineBrowser()
{
    // Pages must go before the profile they use, and the view before its page.
    delete m_view.data();
    delete m_page.data();
}

QWidget* WebEngineBrowser::Widget() const
{
    return m_view;
}

void WebEngineBrowser::CreateProfile()
{
    // No storage name: an in-memory profile, so nothing of a run is kept on disk.
    m_profile = new QWebEngineProfile(this);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });
    // A batch loads each address once: a cache would only hold memory, and could answer
    // with an older copy of a page.
    if (m_role == Role::Capture) m_profile->setHttpCacheType(QWebEngineProfile::NoCache);
    // The families a current Chromium names by default, so that a page that leaves the font
    // to the browser looks as it does in the user's browser; fontconfig finds their metric
    // twins (Liberation) where the originals are not installed.
    m_engineAgent = m_profile->httpUserAgent();
    ApplyIdentity();
    QWebEngineSettings* fonts = m_profile->settings();
    fonts->setFontFamily(QWebEngineSettings::StandardFont, QStringLiteral("Times New Roman"));
    fonts->setFontFamily(QWebEngineSettings::SerifFont, QStringLiteral("Times New Roman"));
    fonts->setFontFamily(QWebEngineSettings::SansSerifFont, QStringLiteral("Arial"));
    fonts->setFontFamily(QWebEngineSettings::FixedFont, QStringLiteral("Courier New"));
}

void WebEngineBrowser::RenewProfile()
{
    // Pages go before their profile.
    QuietPage* old = m_page;
    QWebEngineProfile* oldProfile = m_profile;
    CreateProfile();
    CreatePage();
    m_view->setPage(m_page);
    delete old;
    delete oldProfile;
    m_loading = false;
    m_crashed = false;
    m_readyState = Uninitialized;
}

void WebEngineBrowser::ApplyIdentity()
{
    CaptureIdentity::Apply(m_profile, m_options, m_engineAgent);
    CaptureIdentity::SetRowAddress(m_profile, m_rowAddress);
}

void WebEngineBrowser::CreatePage()
{
    auto* page = new QuietPage(m_profile, m_role == Role::Capture, m_options, this);
    m_page = page;
    page->SetRowOrigin(RowOrigin(m_rowAddress));
    page->scripts().insert(CaptureIdentity::PageScripts(m_options));
    if (m_options.Settle) page->scripts().insert(SettleWatch::ProbeScript());
    if (m_options.HideConsent) page->scripts().insert(ConsentScripts::Scripts());
    connect(page, &QuietPage::NavigationRequested, this, &WebBrowser::BeforeNavigate2);
    connect(page, &QuietPage::LeftOrigin, this, [this](const QUrl& url) { m_detour = url; });
    connect(page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::OnLoadingChanged);
    connect(page, &QWebEnginePage::loadProgress, this, [this](int progress) { Q_EMIT ProgressChange(progress, 100); });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                OnRenderProcessTerminated(int(status), exitCode);
            });
    connect(page, &QWebEnginePage::urlChanged, this, [this] {
        // Same-document moves (anchors, history.pushState) load nothing.
        if (!m_loading) Q_EMIT NavigateComplete2();
    });
}

void WebEngineBrowser::ReplacePage()
{
    QuietPage* old = m_page;
    CreatePage();
    m_view->setPage(m_page);
    if (old) {
        old->disconnect(this);
        old->deleteLater();
    }
    m_loading = false;
    m_crashed = false;
    CancelPaintFence();
    m_readyState = Uninitialized;
}

void WebEngineBrowser::Navigate(const QByteArray& url)
{
    if (m_stopCheck.isActive() || m_fence->IsActive() || m_settle->IsActive() || m_consent->IsActive() ||
        m_wait.isActive() || m_condition->IsActive() || m_fullPage->IsActive()) {
        // Stop has not taken yet, or a fence is still waiting: the renderer may be stuck in
        // a script, and a stuck renderer swallows the next load.
        m_stopCheck.stop();
        ReplacePage();
    }
    m_loadSeen = false;
    m_crashed = false;
    m_detour.clear();
    m_httpStatus = 0;
    m_settleReport = {};
    RestoreViewport();
    m_pendingError.clear();
    m_readyState = Loading;

    QUrl target = ToQUrl(url);
    if (!target.isValid() || target.isEmpty()) {
        m_pendingError = QStringLiteral("not a valid address");
        target = QUrl(QStringLiteral("about:blank"));
    } else if (target.scheme().compare(QLatin1String("javascript"), Qt::CaseInsensitive) == 0) {
        // It would run in the page before, and nothing would ever load.
        m_pendingError = QStringLiteral("a javascript: address is not a page");
        target = QUrl(QStringLiteral("about:blank"));
    }
    m_pendingUrl = target.toEncoded();
    m_rowAddress = target;
    m_page->SetRowOrigin(RowOrigin(target));
    CaptureIdentity::SetRowAddress(m_profile, target);
    m_page->load(target);
    m_startWatchdog.start(kStartWatchdogMs);
}

void WebEngineBrowser::OnStartWatchdog()
{
    if (m_loadSeen || m_readyState != Loading) return;
    const QByteArray url = m_pendingUrl;
    const QString pendingError = m_pendingError;
    ReplacePage();
    m_readyState = Loading;
    m_pendingError = pendingError;
    m_page->load(QUrl::fromEncoded(url));
}

void WebEngineBrowser::Stop()
{
    m_startWatchdog.stop();
    if (m_role == Role::Capture && (m_readyState == Loading || m_loading)) {
        // A load given up on may be a renderer that no longer answers: start the next one
        // afresh rather than wait to find out.
        m_stopCheck.stop();
        ReplacePage();
        m_readyState = Interactive;
        return;
    }
    CancelPaintFence();
    if (m_readyState == Loading || m_loading) {
        m_readyState = Interactive;
        m_page->triggerAction(QWebEnginePage::Stop);
        if (m_loading) m_stopCheck.start(kStopCheckMs);
    }
}

void WebEngineBrowser::SetOptions(const TCaptureOptions& options)
{
    if (m_role != Role::Capture) {
        // The page the person is on stays; what it loads next goes out under the new identity.
        m_options = IdentityOf(options);
        ApplyIdentity();
        return;
    }
    m_startWatchdog.stop();
    m_stopCheck.stop();
    CancelPaintFence();
    RestoreViewport();
    // The profile keeps the certificates it was told to accept, whatever its pages say.
    const bool forgetCertificates = m_options.IgnoreCertificateErrors && !options.IgnoreCertificateErrors;
    m_options = options;
    m_settle->SetOptions(m_options);
    if (forgetCertificates) {
        RenewProfile();
        return;
    }
    ApplyIdentity();
    // The page scripts go into a page when it is made.
    ReplacePage();
}

void WebEngineBrowser::RenewRenderer()
{
    m_startWatchdog.stop();
    m_stopCheck.stop();
    ReplacePage();
}

void WebEngineBrowser::GoBack()
{
    m_page->triggerAction(QWebEnginePage::Back);
}

void WebEngineBrowser::GoForward()
{
    m_page->triggerAction(QWebEnginePage::Forward);
}

void WebEngineBrowser::Refresh()
{
    m_page->triggerAction(QWebEnginePage::Reload);
}

bool WebEngineBrowser::Busy() const
{
    return m_loading || m_readyState == Loading;
}

QString WebEngineBrowser::LocationURL() const
{
    return m_page->url().toString();
}

bool WebEngineBrowser::HasDocument() const
{
    return m_page && !m_crashed && m_readyState != Uninitialized;
}

int WebEngineBrowser::Width() const
{
    return m_view->width();
}

int WebEngineBrowser::Height() const
{
    return m_view->height();
}

void WebEngineBrowser::SetWidth(int width)
{
    m_viewport.setWidth(qBound(0, width, kMaxSide));
    m_view->resize(m_viewport.width(), m_fullHeight ? m_view->height() : m_viewport.height());
}

void WebEngineBrowser::SetHeight(int height)
{
    m_viewport.setHeight(qBound(0, height, kMaxSide));
    if (!m_fullHeight) m_view->resize(m_viewport);
}

QImage WebEngineBrowser::Draw()
{
    if (!HasDocument() || m_view->width() <= 0 || m_view->height() <= 0) return {};
    // In device pixels: at a scale above 1 the page is painted denser than it is laid out.
    const QSize pixels = (QSizeF(m_view->size()) * m_view->devicePixelRatioF()).toSize();
    QImage shot = m_view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (!shot.isNull() && shot.size() != pixels)
        shot = shot.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    shot.setDevicePixelRatio(1);
    return shot;
}

void WebEngineBrowser::OnLoadingChanged(const QWebEngineLoadingInfo& info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        m_loading = true;
        m_loadSeen = true;
        m_startWatchdog.stop();
        if (m_fence->IsActive() || m_settle->IsActive() || m_consent->IsActive() || m_wait.isActive() ||
            m_condition->IsActive() || m_fullPage->IsActive() ||
            (m_readyState != Loading && m_readyState != Interactive)) {
            // The page moved on by itself (a script or meta refresh): complete again later.
            CancelPaintFence();
            m_readyState = Loading;
            Q_EMIT LoadingAgain();
        }
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        m_loading = false;
        m_stopCheck.stop();
        if (TakeDetour()) break;
        OnLoadCancelled(info);
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        m_loading = false;
        m_httpStatus = HttpStatusOf(info);
        m_stopCheck.stop();
        Q_EMIT NavigateComplete2();
        if (m_readyState == Loading && m_loadSeen) FinishLoad(true);
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        m_loading = false;
        m_stopCheck.stop();
        if (info.errorCode() == kNetErrorAborted) {
            if (TakeDetour()) break;
            OnLoadCancelled(info);
            break;
        }
        m_httpStatus = HttpStatusOf(info);
        Q_EMIT NavigateComplete2();
        if (m_readyState == Loading && m_loadSeen) {
            Q_EMIT NavigateError(DescribeFailure(info), ClassifyFailure(info));
            FinishLoad(false);
        }
        break;
    }
}

bool WebEngineBrowser::TakeDetour()
{
    if (m_detour.isEmpty()) return false;
    // Not from inside the engine's own signal.
    QTimer::singleShot(0, m_page, [page = m_page, url = m_detour] {
        if (page) page->load(url);
    });
    m_detour.clear();
    return true;
}

void WebEngineBrowser::OnLoadCancelled(const QWebEngineLoadingInfo& info)
{
    // Not our Stop (that leaves Loading first): the engine gave up on the address, a
    // download for one, and the view still shows the previous page.
    if (m_readyState != Loading || !m_loadSeen) return;
    Q_UNUSED(info);
    Q_EMIT NavigateError(QStringLiteral("the address gave no page to show (a download, perhaps)"), Failure::Address);
    FinishLoad(false);
}

void WebEngineBrowser::OnRenderProcessTerminated(int status, int exitCode)
{
    if (status == QWebEnginePage::NormalTerminationStatus) return;
    m_crashed = true;
    m_loading = false;
    CancelPaintFence();
    if (m_readyState == Loading || m_readyState == Interactive) {
        const QString how = status == QWebEnginePage::KilledTerminationStatus ? QStringLiteral("was killed")
                                                                              : QStringLiteral("crashed");
        Q_EMIT NavigateError(QStringLiteral("the page's render process %1 (exit code %2)").arg(how).arg(exitCode),
                             Failure::Renderer);
        SetComplete();
    }
}

void WebEngineBrowser::FinishLoad(bool paintWanted)
{
    if (!m_pendingError.isEmpty()) {
        const QString reason = m_pendingError;
        m_pendingError.clear();
        Q_EMIT NavigateError(reason, Failure::Address);
        paintWanted = false;
    }
    if (paintWanted && m_role == Role::Capture && m_view->width() > 0 && m_view->height() > 0)
        StartSettling();
    else
        SetComplete();
}

void WebEngineBrowser::StartSettling()
{
    // The user's script goes first: what it sets off is waited for like the page's own.
    if (!m_options.Script.isEmpty())
        m_page->runJavaScript(QString::fromUtf8(m_options.Script), QWebEngineScript::MainWorld);
    QStringList conditions;
    if (!m_options.WaitFor.isEmpty()) conditions << QLatin1Char('(') + m_options.WaitFor + QLatin1Char(')');
    if (!m_options.WaitForSelector.isEmpty()) conditions << ConditionWatch::SelectorVisible(m_options.WaitForSelector);
    if (conditions.isEmpty())
        OnConditionsMet();
    else
        m_condition->Start(m_page, conditions.join(QStringLiteral("&&")));
}

void WebEngineBrowser::OnConditionsMet()
{
    Q_EMIT Loaded();
    Settle();
}

void WebEngineBrowser::Settle()
{
    if (m_options.Settle)
        m_settle->Start(m_page);
    else
        WatchConsent({});
}

void WebEngineBrowser::WatchConsent(const TSettleReport& report)
{
    // A banner is dealt with however short the wait for the page was. A page that settled
    // has just said its banner was dealt with: asking again would only cost it the check.
    if (m_options.HideConsent && !report.Settled)
        m_consent->Start(m_page, report);
    else
        OnSettled(report);
}

QString WebEngineBrowser::AwaitedCondition() const
{
    if (!m_condition->IsActive()) return {};
    QStringList named;
    if (!m_options.WaitFor.isEmpty()) named << QStringLiteral("\"%1\"").arg(m_options.WaitFor);
    if (!m_options.WaitForSelector.isEmpty())
        named << QStringLiteral("the selector \"%1\"").arg(m_options.WaitForSelector);
    return named.join(QStringLiteral(" and "));
}

void WebEngineBrowser::OnSettled(const TSettleReport& report)
{
    if (m_fullHeight) {
        // The second wait, for what the taller view brought into sight.
        m_settleReport.Settled = m_settleReport.Settled && report.Settled;
        m_settleReport.SettleMs += report.SettleMs;
        if (!report.Consent.isEmpty()) m_settleReport.Consent = report.Consent;
    } else {
        m_settleReport = report;
        if (m_options.FullPage) {
            m_fullPage->Start(m_page, m_options.MaxHeight);
            return;
        }
    }
    if (m_options.WaitMs > 0)
        m_wait.start(m_options.WaitMs);
    else
        StartPaintFence();
}

void WebEngineBrowser::OnPageMeasured(int height)
{
    // Chromium paints no taller surface reliably; at a scale, the limit is in device pixels.
    const int limit = int(kMaxFullPageDevicePixels / m_view->devicePixelRatioF());
    const int tall = qBound(m_viewport.height(), height, qMin(m_options.MaxHeight, limit));
    m_fullHeight = true;
    m_view->resize(m_viewport.width(), tall);
    Settle();
}

void WebEngineBrowser::RestoreViewport()
{
    // A browsing view is sized by its window.
    if (m_role != Role::Capture || !m_fullHeight) return;
    m_fullHeight = false;
    m_view->resize(m_viewport);
}

void WebEngineBrowser::StartPaintFence()
{
    m_fence->Start(m_page, m_view);
}

void WebEngineBrowser::CancelPaintFence()
{
    m_fullPage->Cancel();
    m_condition->Cancel();
    m_settle->Cancel();
    m_consent->Cancel();
    m_wait.stop();
    m_fence->Cancel();
}

void WebEngineBrowser::OnPainted()
{
    CancelPaintFence();
    SetComplete();
}

void WebEngineBrowser::FailPaintFence(Failure failure, const QString& reason)
{
    // Whatever the view shows now may be an earlier page's frame: nothing of it is used, and
    // the next page gets a renderer of its own.
    CancelPaintFence();
    Q_EMIT NavigateError(reason, failure);
    ReplacePage();
    SetComplete();
}

void WebEngineBrowser::SetComplete()
{
    m_readyState = Complete;
    Q_EMIT DocumentComplete();
}
