#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;
class QToolButton;
class WebBrowser;

// The "Browser" page: an address strip over a second browser in which the user looks for
// pages to capture.
class TBrowserTab : public QWidget
{
    Q_OBJECT

public:
    TBrowserTab(WebBrowser& browser, QWidget* browserView, QWidget* parent = nullptr);

    QString Address() const;

    void btnGoClick();
    void btnBrowserBackClick();
    void btnBrowserFowardClick();
    void btnBrowserRefreshClick();
    void btnBrowserStopClick();
    void EmbeddedWB2NavigateComplete2();

private:
    WebBrowser& m_browser;
    QLineEdit* edtAddress = nullptr;
    QToolButton* btnBrowserBack = nullptr;
    QToolButton* btnBrowserFoward = nullptr;
    QToolButton* btnBrowserStop = nullptr;
    QToolButton* btnBrowserRefresh = nullptr;
    QPushButton* btnGo = nullptr;
};
