#include "platform/WebHtmlView.h"

#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

TWebHtmlView::TWebHtmlView(QWidget* parent) : m_view(new QWebEngineView(parent))
{
    QWebEngineSettings* settings = m_view->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
}

TWebHtmlView::~TWebHtmlView()
{
    delete m_view.data();
}

QWidget* TWebHtmlView::Widget()
{
    return m_view;
}

void TWebHtmlView::SetHtml(const QByteArray& html)
{
    // The document names its own character set, as a page from a server would.
    m_view->page()->setContent(html, QStringLiteral("text/html"));
}
