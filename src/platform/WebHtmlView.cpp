#include "platform/WebHtmlView.h"

#include "platform/ExternalLinks.h"

#include <QBuffer>
#include <QHash>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

namespace {

const QByteArray kScheme = QByteArrayLiteral("thumbrix-html");

// Serves each view's current document at thumbrix-html:<key>.
class DocumentServer : public QWebEngineUrlSchemeHandler
{
public:
    static DocumentServer& Instance()
    {
        static auto* server = [] {
            auto* s = new DocumentServer;
            QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(kScheme, s);
            return s;
        }();
        return *server;
    }

    struct Document
    {
        QString Version; // the query of the address the view was last sent to
        QByteArray Html;
    };
    QHash<quint64, Document> Documents;
    quint64 LastKey = 0;

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        bool ok = false;
        const QUrl url = job->requestUrl();
        const quint64 key = url.path().toULongLong(&ok);
        if (!ok || !Documents.contains(key) || Documents.value(key).Version != url.query()) {
            // A link relative to the document: it has nowhere to go, as in a page written
            // into about:blank.
            job->redirect(QUrl(QStringLiteral("about:blank")));
            return;
        }
        // The job owns the buffer: the engine reads it after we return.
        auto* body = new QBuffer(job);
        body->setData(Documents.value(key).Html);
        body->open(QIODevice::ReadOnly);
        job->reply("text/html", body);
    }
};

// Links to other programs' schemes go to the desktop our way, not Qt's.
class LinkPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override
    {
        return ExternalLinks::Accept(url, type);
    }
};

} // namespace

void TWebHtmlView::RegisterScheme()
{
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}

TWebHtmlView::TWebHtmlView(QWidget* parent) : m_view(new QWebEngineView(parent))
{
    m_view->setPage(new LinkPage(m_view));
    QWebEngineSettings* settings = m_view->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    m_document = ++DocumentServer::Instance().LastKey;
}

TWebHtmlView::~TWebHtmlView()
{
    delete m_view.data();
    DocumentServer::Instance().Documents.remove(m_document);
}

QWidget* TWebHtmlView::Widget()
{
    return m_view;
}

void TWebHtmlView::SetHtml(const QByteArray& html)
{
    DocumentServer& server = DocumentServer::Instance();
    // The document names its own character set, as a page from a server would. A new
    // address each time, so the engine never shows an earlier copy.
    const QString version = QStringLiteral("v=") + QString::number(++server.LastKey);
    server.Documents.insert(m_document, {version, html});
    m_view->setUrl(QUrl(QString::fromLatin1(kScheme) + QLatin1Char(':') + QString::number(m_document) +
                        QLatin1Char('?') + version));
}
