#pragma once

#include "capture/CaptureOptions.h"
#include "platform/RowOrigin.h"

#include <QWebEnginePage>

// A page that never waits for a person: script dialogs, new windows, permission,
// authentication and certificate prompts are all answered "no" at once, but for the
// credentials and certificate errors the options accept. It reads the browser's options as
// they are when a prompt comes. Credentials go to the row's own origin alone.
class QuietPage : public QWebEnginePage
{
    Q_OBJECT

public:
    // `options` must outlive the page.
    QuietPage(QWebEngineProfile* profile, bool capture, const TCaptureOptions& options, QObject* parent);

    // Where the credentials may go from now on.
    void SetRowOrigin(const RowOrigin& origin) { m_origin = origin; }

Q_SIGNALS:
    void NavigationRequested();
    // The page was redirected away from the row's origin with its private headers in tow; the
    // redirect was refused, and the page's owner should load `url` afresh.
    void LeftOrigin(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }

private:
    bool SendsPrivateHeaders() const;

    const TCaptureOptions& m_options;
    bool m_capture = false;
    RowOrigin m_origin;
    bool m_secretsInTow = false; // the main frame's request went to the row's origin
    bool m_credentialsOffered = false;
    bool m_proxyCredentialsOffered = false;
};
