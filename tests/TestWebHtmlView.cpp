// The HTML view on the real engine: documents of any size, in their own character set,
// each replacing the last.

#include "WebEngineTestMain.h"

#include "platform/WebHtmlView.h"

#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>

class TestWebHtmlView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheWholeDocument_data();
    void showsTheWholeDocument();
    void relativeLinkLeadsToABlankPage_data();
    void relativeLinkLeadsToABlankPage();

private:
    QVariant Evaluate(QWebEngineView* view, const QString& script);
};

QVariant TestWebHtmlView::Evaluate(QWebEngineView* view, const QString& script)
{
    auto result = std::make_shared<QVariant>();
    auto done = std::make_shared<bool>(false);
    view->page()->runJavaScript(script, [result, done](const QVariant& value) {
        *result = value;
        *done = true;
    });
    if (!QTest::qWaitFor([done] { return *done; }, 10000)) return {};
    return *result;
}

void TestWebHtmlView::showsTheWholeDocument_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("text");

    const QByteArray filler = QByteArray("<p hidden>0123456789abcdef</p>").repeated(120000); // 3.6 MB
    QTest::newRow("small") << QByteArray("<html><body><p id=end>small</p></body></html>") << QStringLiteral("small");
    QTest::newRow("over-2-mb") << "<html><body>" + filler + "<p id=end>big</p></body></html>" << QStringLiteral("big");
    QTest::newRow("own-charset") << QByteArray("<html><head><meta charset=windows-1252></head><body><p id=end>"
                                               "caf\xe9</p></body></html>")
                                 << QStringLiteral("caf\u00e9");
}

void TestWebHtmlView::showsTheWholeDocument()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, text);
    TWebHtmlView view;
    auto* web = qobject_cast<QWebEngineView*>(view.Widget());
    QVERIFY(web);
    web->resize(400, 300);
    web->show();
    // Something else first: the document must replace it.
    QSignalSpy loaded(web, &QWebEngineView::loadFinished);
    view.SetHtml("<html><body><p id=end>before</p></body></html>");
    QVERIFY(loaded.wait(10000));
    QCOMPARE(loaded.takeFirst().at(0).toBool(), true);
    view.SetHtml(html);
    QVERIFY(loaded.wait(20000));
    QCOMPARE(loaded.takeFirst().at(0).toBool(), true);
    QCOMPARE(Evaluate(web, QStringLiteral("document.getElementById('end').textContent")).toString(), text);
}

void TestWebHtmlView::relativeLinkLeadsToABlankPage_data()
{
    QTest::addColumn<QByteArray>("href");
    QTest::newRow("file-name") << QByteArray("news.html");
    QTest::newRow("path") << QByteArray("/news/42");
    QTest::newRow("query") << QByteArray("?id=42");
}

void TestWebHtmlView::relativeLinkLeadsToABlankPage()
{
    QFETCH(QByteArray, href);
    TWebHtmlView view;
    auto* web = qobject_cast<QWebEngineView*>(view.Widget());
    QVERIFY(web);
    web->resize(400, 300);
    web->show();
    QSignalSpy loaded(web, &QWebEngineView::loadFinished);
    view.SetHtml("<html><body><a id=link href=\"" + href + "\">more</a></body></html>");
    QVERIFY(loaded.wait(10000));
    loaded.clear();
    Evaluate(web, QStringLiteral("document.getElementById('link').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(QStringLiteral("about:blank")), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 10000);
    QCOMPARE(Evaluate(web, QStringLiteral("document.body ? document.body.innerText : ''")).toString(), QString());
}

int main(int argc, char** argv)
{
    PrepareHeadlessWebEngine();
    TWebHtmlView::RegisterScheme();
    QApplication app(argc, argv);
    TestWebHtmlView test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestWebHtmlView.moc"
