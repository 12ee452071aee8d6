#pragma once

#include "capture/CaptureOptions.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>

// What became of the wait for a page to settle, and of its consent banner.
struct TSettleReport
{
    bool Settled = false; // false: captured at once, or at the cap
    int SettleMs = 0;     // from the load event to the end of the wait
    QString Consent;      // "opted-out", "hidden", or empty when nothing was done
};

// What the program needs of an embeddable web browser. The capture batch and the
// browsing tab talk to this; the Qt WebEngine adapter lives in platform/, tests hand
// in fakes.
class WebBrowser : public QObject
{
    Q_OBJECT

public:
    // Values of ReadyState(), as the document's loading states are numbered.
    enum : int {
        Uninitialized = 0,
        Loading = 1,
        Interactive = 3,
        Complete = 4,
    };

    // Why a load ended in NavigateError; it decides whether another attempt can help.
    enum class Failure {
        HttpStatus,  // the server answered 400 or more
        Certificate, // the TLS certificate was refused
        Address,     // the address cannot be loaded (the engine refuses it every time), or gives no page
        Network,     // no answer, a refused, reset or lost connection, a failed name look-up
        Renderer,    // the page's render process died or stopped answering
        Paint,       // no frame of the page could be shown to be painted
    };
    Q_ENUM(Failure)

    using QObject::QObject;
    ~WebBrowser() override = default;

    // Starts loading `url` (the bytes as the list stores them); returns at once.
    virtual void Navigate(const QByteArray& url) = 0;
    // Cancels the current load; the next Navigate works even if the page's script hangs.
    virtual void Stop() = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Refresh() = 0;
    // Drops the page and its render process: the next Navigate starts on a fresh one.
    virtual void RenewRenderer() = 0;
    // How pages are treated from the next Navigate on, in place of the options before: a
    // capture browser takes them all and starts on a fresh page, a browsing one takes only
    // who it says it is (IdentityOf) and stays where it is.
    virtual void SetOptions(const TCaptureOptions& options) = 0;

    virtual bool Busy() const = 0;
    // Complete only once the page has finished loading, has settled where the browser waits
    // for that, and a frame of it has been painted.
    virtual int ReadyState() const = 0;
    virtual QString LocationURL() const = 0;
    // The HTTP status of the last main document loaded; 0 when there was none (a file, an
    // error before any answer) or the browser cannot tell.
    virtual int HttpStatus() const { return 0; }
    // What the page is waited for while it loads ("the selector \"#main\""); empty when it
    // is waited for nothing the user named, or no longer.
    virtual QString AwaitedCondition() const { return {}; }
    // The last page's wait to settle; empty until a page has completed.
    virtual TSettleReport SettleReport() const { return {}; }
    // Whether a document is loaded that can be drawn.
    virtual bool HasDocument() const = 0;

    // The viewport the page is laid out in.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;

    // The current view, Width() x Height() times the device pixel ratio; a null image when
    // nothing can be drawn.
    virtual QImage Draw() = 0;

Q_SIGNALS:
    // Every navigation, the page's frames included.
    void BeforeNavigate2();
    // The load failed: an HTTP status of 400 or more, an unknown host, a refused
    // connection, a render process that died or hung, a frame that could not be shown to
    // be the page's own. The page still reaches Complete.
    void NavigateError(const QString& reason, WebBrowser::Failure failure);
    void ProgressChange(int progress, int progressMax);
    // A top-level navigation has committed (the address bar may follow it).
    void NavigateComplete2();
    // ReadyState() has become Complete.
    void DocumentComplete();
    // The page has loaded and met the conditions the options name; what is left before
    // Complete (settling, the fixed wait, painting) ends within the browser's own limits.
    void Loaded();
    // A page that had Loaded began loading again by itself (a script or a refresh).
    void LoadingAgain();
};
