#include "capture/BrowserTab.h"

#include "capture/WebBrowser.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* PictureButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(20, 20));
    button->setFixedSize(32, 32);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    return button;
}

} // namespace

TBrowserTab::TBrowserTab(WebBrowser& browser, QWidget* browserView, QWidget* parent)
    : QWidget(parent), m_browser(browser)
{
    auto* strip = new QWidget(this);
    strip->setFixedHeight(48);
    btnBrowserBack = PictureButton(strip, "btnBrowserBack", QStyle::SP_ArrowBack, QStringLiteral("Back"));
    btnBrowserFoward = PictureButton(strip, "btnBrowserFoward", QStyle::SP_ArrowForward, QStringLiteral("Forward"));
    btnBrowserStop = PictureButton(strip, "btnBrowserStop", QStyle::SP_BrowserStop, QStringLiteral("Stop"));
    btnBrowserRefresh = PictureButton(strip, "btnBrowserRefresh", QStyle::SP_BrowserReload, QStringLiteral("Refresh"));
    auto* label = new QLabel(QStringLiteral("&Address:"), strip);
    edtAddress = new QLineEdit(strip);
    edtAddress->setObjectName(QStringLiteral("edtAddress"));
    label->setBuddy(edtAddress);
    btnGo = new QPushButton(QStringLiteral("Go"), strip);
    btnGo->setObjectName(QStringLiteral("btnGo"));

    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 4, 6, 4);
    for (QWidget* w : {static_cast<QWidget*>(btnBrowserBack), static_cast<QWidget*>(btnBrowserFoward),
                       static_cast<QWidget*>(btnBrowserStop), static_cast<QWidget*>(btnBrowserRefresh)})
        row->addWidget(w);
    row->addSpacing(6);
    row->addWidget(label);
    row->addWidget(edtAddress, 1);
    row->addWidget(btnGo);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(strip);
    browserView->setParent(this);
    column->addWidget(browserView, 1);

    connect(btnGo, &QPushButton::clicked, this, &TBrowserTab::btnGoClick);
    connect(edtAddress, &QLineEdit::returnPressed, this, &TBrowserTab::btnGoClick);
    connect(btnBrowserBack, &QToolButton::clicked, this, &TBrowserTab::btnBrowserBackClick);
    connect(btnBrowserFoward, &QToolButton::clicked, this, &TBrowserTab::btnBrowserFowardClick);
    connect(btnBrowserRefresh, &QToolButton::clicked, this, &TBrowserTab::btnBrowserRefreshClick);
    connect(btnBrowserStop, &QToolButton::clicked, this, &TBrowserTab::btnBrowserStopClick);
    connect(&m_browser, &WebBrowser::NavigateComplete2, this, &TBrowserTab::EmbeddedWB2NavigateComplete2);
}

QString TBrowserTab::Address() const
{
    return edtAddress->text();
}

void TBrowserTab::btnGoClick()
{
    // Exactly as typed: no scheme added, nothing trimmed.
    m_browser.Navigate(edtAddress->text().toUtf8());
}

void TBrowserTab::btnBrowserBackClick()
{
    if (m_browser.Busy()) m_browser.Stop();
    m_browser.GoBack();
}

void TBrowserTab::btnBrowserFowardClick()
{
    if (m_browser.Busy()) m_browser.Stop();
    m_browser.GoForward();
}

void TBrowserTab::btnBrowserRefreshClick()
{
    if (m_browser.Busy()) m_browser.Stop();
    m_browser.Refresh();
}

void TBrowserTab::btnBrowserStopClick()
{
    m_browser.Stop();
}

void TBrowserTab::EmbeddedWB2NavigateComplete2()
{
    edtAddress->setText(m_browser.LocationURL());
}
