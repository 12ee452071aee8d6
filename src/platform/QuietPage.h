#pragma once

#include "capture/CaptureOptions.h"

#include <QWebEnginePage>

// A page that never waits for a person: script dialogs, new windows, permission,
// authentication and certificate prompts are all answered "no" at once, but for the
// credentials and certificate errors the options accept. It reads the browser's options as
// they are when a prompt comes.
class QuietPage : public QWebEnginePage
{
    Q_OBJECT

public:
    // `options` must outlive the page.
    QuietPage(QWebEngineProfile* profile, bool capture, const TCaptureOptions& options, QObject* parent);

Q_SIGNALS:
    void NavigationRequested();

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }

private:
    const TCaptureOptions& m_options;
    bool m_capture = false;
    bool m_credentialsOffered = false;
    bool m_proxyCredentialsOffered = false;
};
