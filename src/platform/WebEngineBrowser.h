#pragma once

#include "capture/CaptureOptions.h"
#include "capture/WebBrowser.h"

#include <QPointer>
#include <QSize>
#include <QTimer>
#include <QUrl>

class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;
class QuietPage;
class ConditionWatch;
class ConsentWatch;
class FullPageLayout;
class PaintFence;
class SettleWatch;

// WebBrowser over Qt WebEngine.
//
// Capture role: a top-level view that is never put on screen but still renders (a view
// on a hidden tab page paints nothing), without scroll bars.
// Interactive role: an ordinary child view for browsing.
//
// Complete means loaded, settled *and painted*: after the load event a capture view waits
// until the page has settled (SettleWatch), within the options' longest wait, and its consent
// banner is dealt with (ConsentWatch), then until the view shows a frame painted since
// (PaintFence). Each of these waits has a limit of its own; the conditions the options name
// have none but the caller's time-out. A renderer that stops answering, or a page that cannot
// be shown to have painted, ends the load in NavigateError instead, and the view gets a fresh
// page for the next load.
class WebEngineBrowser : public WebBrowser
{
    Q_OBJECT

public:
    enum class Role {
        Capture,
        Interactive,
    };

    explicit WebEngineBrowser(Role role, QWidget* parent = nullptr);
    // The interactive role takes only the identity of the options (IdentityOf).
    WebEngineBrowser(Role role, const TCaptureOptions& options, QWidget* parent = nullptr);
    ~WebEngineBrowser() override;

    // Largest side the view is given; larger requests are clamped.
    static constexpr int kMaxSide = 8192;

    QWidget* Widget() const;

    void Navigate(const QByteArray& url) override;
    void Stop() override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void RenewRenderer() override;
    void SetOptions(const TCaptureOptions& options) override;

    bool Busy() const override;
    int ReadyState() const override { return m_readyState; }
    QString LocationURL() const override;
    int HttpStatus() const override { return m_httpStatus; }
    TSettleReport SettleReport() const override { return m_settleReport; }
    QString AwaitedCondition() const override;
    bool HasDocument() const override;

    int Width() const override;
    int Height() const override;
    void SetWidth(int width) override;
    void SetHeight(int height) override;

    QImage Draw() override;

private:
    void CreateProfile();
    // A new profile, and a page on it: nothing the old one was told carries over.
    void RenewProfile();
    void ApplyIdentity();
    void CreatePage();
    void ReplacePage();
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    // Loads the address a redirect was refused for, if one was; true when it does.
    bool TakeDetour();
    void OnLoadCancelled(const QWebEngineLoadingInfo& info);
    void OnRenderProcessTerminated(int status, int exitCode);
    void OnStartWatchdog();
    void FinishLoad(bool painted);
    void StartSettling();
    void OnConditionsMet();
    void Settle();
    void WatchConsent(const TSettleReport& report);
    void OnSettled(const TSettleReport& report);
    void OnPageMeasured(int height);
    void RestoreViewport();
    void StartPaintFence();
    void CancelPaintFence();
    void OnPainted();
    void FailPaintFence(Failure failure, const QString& reason);
    void SetComplete();

    Role m_role;
    TCaptureOptions m_options;
    SettleWatch* m_settle = nullptr;
    ConsentWatch* m_consent = nullptr;
    ConditionWatch* m_condition = nullptr;
    FullPageLayout* m_fullPage = nullptr;
    PaintFence* m_fence = nullptr;
    bool m_fullHeight = false;  // the view has been made as tall as the page
    QSize m_viewport{800, 600}; // the size pages are laid out in, between full-page captures
    TSettleReport m_settleReport;
    QWebEngineProfile* m_profile = nullptr;
    QString m_engineAgent; // the profile's user agent before the options named one
    QUrl m_rowAddress;     // the address last asked for: credentials go to its origin alone
    QPointer<QWebEngineView> m_view;
    QPointer<QuietPage> m_page;

    int m_readyState = Uninitialized;
    bool m_loading = false;
    bool m_loadSeen = false; // a load started since the last Navigate
    bool m_crashed = false;
    int m_httpStatus = 0;
    QByteArray m_pendingUrl; // reloaded once if the engine never starts it
    QString m_pendingError;  // reported when the stand-in page for a bad address finishes
    QUrl m_detour;           // where a refused redirect would have gone: loaded when the refusal ends

    QTimer m_wait; // the options' fixed wait before the fence
    QTimer m_startWatchdog;
    QTimer m_stopCheck;
};
