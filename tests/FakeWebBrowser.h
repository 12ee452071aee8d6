#pragma once

#include "capture/WebBrowser.h"

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

    void Navigate(const QByteArray& url) override { Navigated << url; }
    void Stop() override { ++Stops; }
    void GoBack() override {}
    void GoForward() override {}
    void Refresh() override {}
    bool Busy() const override { return false; }
    int ReadyState() const override { return State; }
    QString LocationURL() const override { return {}; }
    bool HasDocument() const override { return Document; }
    int Width() const override { return View.width(); }
    int Height() const override { return View.height(); }
    void SetWidth(int width) override { Widths << width; }
    void SetHeight(int height) override { Heights << height; }
    QImage Draw() override { return View; }
};
