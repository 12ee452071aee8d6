#pragma once

#include "FakeHttpClient.h"
#include "FakeUserDialogs.h"
#include "FakeWebBrowser.h"

#include "capture/FMain.h"
#include "common/HtmlView.h"
#include "common/Shell.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// Records the addresses the window would have opened.
struct FakeShell : TShell
{
    QList<QByteArray> Browser;
    QList<QByteArray> Links;
    bool OpenUrlInBrowser(const QByteArray& url) override
    {
        Browser << url;
        return true;
    }
    bool OpenLink(const QByteArray& url) override
    {
        Links << url;
        return true;
    }
    QList<QByteArray> Files;
    bool OpenFile(const QByteArray& path) override
    {
        Files << path;
        return true;
    }
};

// Keeps the HTML it is given.
struct FakeHtmlView : THtmlView
{
    QWidget* View = new QWidget;
    QByteArray Html;
    QWidget* Widget() override { return View; }
    void SetHtml(const QByteArray& html) override { Html = html; }
};

// A main window over fake browsers and answered dialogs, in a program folder of its own.
struct MainWindowFixture
{
    QTemporaryDir ProgramFolder;
    TUserFolders UserFolders; // empty: a portable copy
    FakeUserDialogs Dialogs;
    FakeWebBrowser Capture;
    FakeWebBrowser Browsing;
    QWidget* BrowsingView = new QWidget;
    FakeShell Shell;
    FakeHtmlView Welcome;
    TRandomIndex Random = [](int) { return 0; };
    FakeHttpClient Http;
    QList<FakeHtmlView*> NewsViews; // owned by the window while it is open
    QStringList Launched;
    TMonotonicClock Clock; // empty: the system's
    // Capture views for a run of several pages at once; empty: the window has none.
    std::function<std::unique_ptr<WebBrowser>()> NewCaptureBrowser;
    std::unique_ptr<TfrmMain> Window;

    void WriteConfig(const QByteArray& text)
    {
        QFile file(ProgramFolder.filePath(QStringLiteral("config.ini")));
        if (file.open(QIODevice::WriteOnly)) file.write(text);
    }

    // Over the fake browsers unless others are given; a browsing browser comes with its view.
    TfrmMain& Open(WebBrowser* capture = nullptr, WebBrowser* browsing = nullptr, QWidget* browsingView = nullptr)
    {
        TMainParts parts;
        parts.ProgramFolder = ProgramFolder.path();
        parts.UserFolders = UserFolders;
        parts.Dialogs = &Dialogs;
        parts.Shell = &Shell;
        parts.WelcomeView = &Welcome;
        parts.Random = Random;
        parts.Http = &Http;
        parts.NewHtmlView = [this] {
            auto view = std::make_unique<FakeHtmlView>();
            NewsViews << view.get();
            return view;
        };
        parts.Launcher = [this](const QString& program, const QStringList& arguments) {
            Launched << program << arguments;
            return true;
        };
        parts.Clock = Clock;
        parts.NewCaptureBrowser = NewCaptureBrowser;
        parts.CaptureBrowser = capture ? capture : &Capture;
        parts.BrowsingBrowser = browsing ? browsing : &Browsing;
        parts.BrowsingView = browsing ? browsingView : BrowsingView;
        Window = std::make_unique<TfrmMain>(parts);
        Window->show();
        return *Window;
    }

    template <typename T> T* Find(const char* name) const { return Window->findChild<T*>(QLatin1String(name)); }
};

// Runs `act` on the next modal dialog once it is up (exec() blocks the caller meanwhile).
inline void WhenModalOpens(std::function<void(QDialog*)> act, int attempts = 500)
{
    QTimer::singleShot(10, [act, attempts] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            act(dialog);
        else if (attempts > 0)
            WhenModalOpens(act, attempts - 1);
    });
}
