#pragma once

#include "capture/WebBrowser.h"

#include <QStringList>

// A browser whose view is a picture the test sets; it loads nothing.
class FakeWebBrowser : public WebBrowser
{
public:
    QImage View;
    bool Document = true;
    QList<QByteArray> Navigated;
    QList<int> Widths;
    QList<int> Heights;
    int Stops = 0;
    int State = Complete;
    bool IsBusy = false;
    QString Location;
    QStringList Steps; // "back", "forward", "refresh", "stop", "renew", "options", in the order asked
    QList<TCaptureOptions> Options;

    void Navigate(const QByteArray& url) override { Navigated << url; }
    void Stop() override
    {
        ++Stops;
        Steps << QStringLiteral("stop");
    }
    void GoBack() override { Steps << QStringLiteral("back"); }
    void GoForward() override { Steps << QStringLiteral("forward"); }
    void Refresh() override { Steps << QStringLiteral("refresh"); }
    void RenewRenderer() override { Steps << QStringLiteral("renew"); }
    void SetOptions(const TCaptureOptions& options) override
    {
        Options << options;
        Steps << QStringLiteral("options");
    }
    bool Busy() const override { return IsBusy; }
    int ReadyState() const override { return State; }
    QString LocationURL() const override { return Location; }
    bool HasDocument() const override { return Document; }
    int Width() const override { return View.width(); }
    int Height() const override { return View.height(); }
    void SetWidth(int width) override { Widths << width; }
    void SetHeight(int height) override { Heights << height; }
    QImage Draw() override { return View; }
};
