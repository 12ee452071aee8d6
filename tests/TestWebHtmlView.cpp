// The HTML view on the real engine: documents of any size, in their own character set,
// each replacing the last.

#include "WebEngineTestMain.h"

#include "platform/WebEngineBrowser.h"
#include "platform/WebHtmlView.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

// Stands in for Qt's own opener, which would start a program with this process's environment.
class QtOpenerSpy : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void Open(const QUrl& url) { Urls << url; }

public:
    QList<QUrl> Urls;
};

class TestWebHtmlView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheWholeDocument_data();
    void showsTheWholeDocument();
    void relativeLinkLeadsToABlankPage_data();
    void relativeLinkLeadsToABlankPage();
    void otherProgramsLinkGoesThroughTheShell_data();
    void otherProgramsLinkGoesThroughTheShell();

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

void TestWebHtmlView::otherProgramsLinkGoesThroughTheShell_data()
{
    QTest::addColumn<bool>("browserTab");
    QTest::newRow("news-and-welcome-view") << false;
    QTest::newRow("browser-tab") << true;
}

void TestWebHtmlView::otherProgramsLinkGoesThroughTheShell()
{
    QFETCH(bool, browserTab);
    QtOpenerSpy qtOpener;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &qtOpener, "Open");
    // The desktop as the shell finds it: no handler named, and an xdg-open that records.
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
    const QString record = dir.filePath(QStringLiteral("opened.txt"));
    QFile opener(dir.filePath(QStringLiteral("bin/xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nprintf '%s\\n' \"$1\" > \"" + QFile::encodeName(record) + "\"\n");
    opener.close();
    QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.filePath(QStringLiteral("bin"))));
    // Read once by GIO, at its first question: no other case of this program asks it.
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
        qputenv(name, QFile::encodeName(dir.path()));

    const QByteArray html = "<html><body style='margin:0'><a href='mailto:someone@example.com' style='display:block;"
                            "width:400px;height:300px'>write</a></body></html>";
    TWebHtmlView view;
    WebEngineBrowser browser(WebEngineBrowser::Role::Interactive);
    auto* web = qobject_cast<QWebEngineView*>(browserTab ? browser.Widget() : view.Widget());
    QVERIFY(web);
    web->resize(400, 300);
    web->show();
    QSignalSpy loaded(web, &QWebEngineView::loadFinished);
    if (browserTab) {
        QFile page(dir.filePath(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(html);
        page.close();
        browser.Navigate(QUrl::fromLocalFile(page.fileName()).toEncoded());
    } else {
        view.SetHtml(html);
    }
    QVERIFY(loaded.wait(10000));
    QTRY_VERIFY_WITH_TIMEOUT(web->focusProxy(), 10000);
    QTest::mouseClick(web->focusProxy(), Qt::LeftButton, {}, QPoint(200, 150));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record) || !qtOpener.Urls.isEmpty(), 10000);
    qputenv("PATH", path);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    QVERIFY2(qtOpener.Urls.isEmpty(), "Qt's own opener was asked");
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("mailto:someone@example.com\n"));
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
