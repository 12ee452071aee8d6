// The gallery page: hostile list text shown as text, rows in their order, thumbnails found
// from wherever the page lies, and on the real engine a page that shows them and loads
// nothing else.

#include "CaptureRows.h"
#include "WebEngineTestMain.h"

#include "batch/GalleryPage.h"
#include "capture/CaptureSettings.h"
#include "common/ByteFile.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <csignal>
#include <ftw.h>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

TGalleryRow Row(const QByteArray& number, const QByteArray& id, const QByteArray& url, const QByteArray& status,
                const QByteArray& file = {})
{
    TGalleryRow row;
    row.Job.Number = number;
    row.Job.Id = id;
    row.Job.Url = url;
    row.Job.Status = status;
    row.Result.Status = status;
    row.Result.File = file;
    return row;
}

QByteArray Png(QRgb colour, int width = 40, int height = 30)
{
    return SolidPng(colour, width, height);
}

bool WriteFile(const QByteArray& path, const QByteArray& data)
{
    return ByteFile::WriteReplacing(path, data, nullptr);
}

QByteArray ReadFile(const QByteArray& path)
{
    QByteArray data;
    ByteFile::ReadAll(path, &data, nullptr);
    return data;
}

// The first group of every match, in page order.
QByteArrayList Captures(const QByteArray& page, const QString& pattern)
{
    QByteArrayList found;
    auto it = QRegularExpression(pattern).globalMatch(QString::fromUtf8(page));
    while (it.hasNext())
        found << it.next().captured(1).toUtf8();
    return found;
}

QStringList TreeOf(const QString& root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << it.next();
    names.sort();
    return names;
}

// QTemporaryDir cannot remove names that are not UTF-8.
void RemoveTree(const QByteArray& root)
{
    ::nftw(
        root.constData(), [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

class RequestLog : public QWebEngineUrlRequestInterceptor
{
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override { Urls << info.requestUrl(); }
    QList<QUrl> Urls;
};

} // namespace

class TestGalleryPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void listTextIsShownAsText_data();
    void listTextIsShownAsText();
    void failuresFirstThenListOrder();
    void thumbnailOrPlaceholder_data();
    void thumbnailOrPlaceholder();
    void thumbnailPathsResolve_data();
    void thumbnailPathsResolve();
    void unwritableGalleryLeavesNothing_data();
    void unwritableGalleryLeavesNothing();
    void engineShowsThumbnailsAndLoadsNothingElse();

private:
    QByteArray Path(const char* relative) const { return QFile::encodeName(m_dir->path()) + '/' + relative; }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestGalleryPage::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestGalleryPage::cleanup()
{
    RemoveTree(QFile::encodeName(m_dir->path()));
}

void TestGalleryPage::listTextIsShownAsText_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("shownId");
    QTest::addColumn<QByteArray>("shownUrl");
    QTest::addColumn<QByteArray>("href"); // empty: no link at all

    QTest::newRow("script-in-id-and-url")
        << QByteArray("<script>alert(1)</script>") << QByteArray("http://example.com/?q=<script>alert(1)</script>")
        << QByteArray("&lt;script&gt;alert(1)&lt;/script&gt;")
        << QByteArray("http://example.com/?q=&lt;script&gt;alert(1)&lt;/script&gt;")
        << QByteArray("http://example.com/?q=%3Cscript%3Ealert(1)%3C/script%3E");
    QTest::newRow("quotes-and-ampersand")
        << QByteArray("a\"b' onerror='alert(1)&amp;") << QByteArray("https://example.com/a?x=1&y=\"2\"'")
        << QByteArray("a&quot;b&#39; onerror=&#39;alert(1)&amp;amp;")
        << QByteArray("https://example.com/a?x=1&amp;y=&quot;2&quot;&#39;")
        << QByteArray("https://example.com/a?x=1&amp;y=%222%22&#39;");
    QTest::newRow("not-utf8-and-control-id")
        << QByteArray("caf\xe9\x1b[2J\\x") << QByteArray("http://example.com/") << QByteArray("caf\\xe9\\x1b[2J\\\\x")
        << QByteArray("http://example.com/") << QByteArray("http://example.com/");
    QTest::newRow("javascript-url") << QByteArray("js") << QByteArray("javascript:alert(document.cookie)")
                                    << QByteArray("js") << QByteArray("javascript:alert(document.cookie)")
                                    << QByteArray();
    QTest::newRow("javascript-url-spaced-mixed-case")
        << QByteArray("js") << QByteArray(" JavaScript:alert('x')") << QByteArray("js")
        << QByteArray(" JavaScript:alert(&#39;x&#39;)") << QByteArray();
    QTest::newRow("data-url") << QByteArray("data") << QByteArray("data:text/html,<script>alert(1)</script>")
                              << QByteArray("data")
                              << QByteArray("data:text/html,&lt;script&gt;alert(1)&lt;/script&gt;") << QByteArray();
    QTest::newRow("ftp-url") << QByteArray("f") << QByteArray("ftp://example.com/") << QByteArray("f")
                             << QByteArray("ftp://example.com/") << QByteArray();
    QTest::newRow("file-url") << QByteArray("f") << QByteArray("file:///etc/passwd") << QByteArray("f")
                              << QByteArray("file:///etc/passwd") << QByteArray();
    // The capture loads a bare host as http, so the link goes where the capture went.
    QTest::newRow("address-without-scheme") << QByteArray("bare") << QByteArray("example.com/a b") << QByteArray("bare")
                                            << QByteArray("example.com/a b") << QByteArray("http://example.com/a%20b");
}

void TestGalleryPage::listTextIsShownAsText()
{
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, shownId);
    QFETCH(QByteArray, shownUrl);
    QFETCH(QByteArray, href);

    const QByteArray thumb = Path("out/thumb.png");
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("out")));
    QVERIFY(WriteFile(thumb, Png(qRgb(255, 0, 0))));
    TGalleryRow row = Row("1", id, url, JobStatus::Success, thumb);
    row.Result.Reason = QString::fromUtf8("<script>alert(2)</script>");
    const QByteArray gallery = Path("gallery.html");
    QString error;
    QVERIFY2(GalleryPage::Write(gallery, {row}, {}, &error), qPrintable(error));
    const QByteArray page = ReadFile(gallery);

    QVERIFY(page.startsWith("<!DOCTYPE html>"));
    QVERIFY(!page.toLower().contains("<script"));
    QCOMPARE(Captures(page, QStringLiteral("<span class=\"id\">(.*?)</span>")), QByteArrayList{shownId});
    QCOMPARE(Captures(page, QStringLiteral("alt=\"(.*?)\"")), QByteArrayList{shownId});
    QCOMPARE(Captures(page, QStringLiteral("<p class=\"url\">(?:<a [^>]*>)?(.*?)(?:</a>)?</p>")),
             QByteArrayList{shownUrl});
    QCOMPARE(Captures(page, QStringLiteral("<span class=\"reason\">(.*?)</span>")),
             QByteArrayList{"&lt;script&gt;alert(2)&lt;/script&gt;"});
    if (href.isEmpty()) {
        QVERIFY(!page.contains("<a "));
        QVERIFY(!page.contains("href="));
    } else {
        QCOMPARE(Captures(page, QStringLiteral("(<a [^>]*>)")),
                 QByteArrayList{"<a href=\"" + href + "\" rel=\"noopener noreferrer\" target=\"_blank\">"});
    }
}

void TestGalleryPage::failuresFirstThenListOrder()
{
    TGalleryRow notReached = Row("6", "f", "http://f.example/", JobStatus::Pending);
    notReached.Result = TRowResult();
    const QList<TGalleryRow> rows{
        Row("1", "a", "http://a.example/", JobStatus::Success), Row("2", "b", "http://b.example/", JobStatus::Error),
        Row("3", "c", "http://c.example/", JobStatus::Skipped), Row("4", "d", "http://d.example/", JobStatus::Error),
        Row("5", "e", "http://e.example/", JobStatus::Success), notReached,
    };
    const QByteArray page = GalleryPage::Html(Path("gallery.html"), rows, {});
    QCOMPARE(Captures(page, QStringLiteral("<span class=\"num\">(.*?)</span>")),
             (QByteArrayList{"2", "4", "1", "3", "5", "6"}));
    QCOMPARE(Captures(page, QStringLiteral("<span class=\"status\">(.*?)</span>")),
             (QByteArrayList{"Error", "Error", "Success", "Skipped", "Success", "Pending"}));
    QCOMPARE(Captures(page, QStringLiteral("<p class=\"counts\">(.*?)</p>")),
             QByteArrayList{"Total: 6 &middot; Success: 2 &middot; Error: 2 &middot; Skipped: 1 &middot; Not done: 1"});
}

void TestGalleryPage::thumbnailOrPlaceholder_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("inResult"); // the row's result names the file
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("img"); // the tag after src; empty: a placeholder

    const QByteArray lazy = "loading=\"lazy\" decoding=\"async\">";
    QTest::newRow("success-with-size") << JobStatus::Success << QByteArray("a") << true << 200
                                       << "alt=\"a\" width=\"200\" height=\"150\" " + lazy;
    QTest::newRow("success-size-unknown") << JobStatus::Success << QByteArray("a") << true << 0 << "alt=\"a\" " + lazy;
    // Skipped because its file is there from an earlier run: the thumbnail the list has.
    QTest::newRow("skipped-file-there") << JobStatus::Skipped << QByteArray("a") << false << 0 << "alt=\"a\" " + lazy;
    QTest::newRow("error-older-file-there") << JobStatus::Error << QByteArray("a") << false << 0 << QByteArray();
    QTest::newRow("not-reached-file-there") << JobStatus::Pending << QByteArray("a") << false << 0 << QByteArray();
    QTest::newRow("skipped-file-gone") << JobStatus::Skipped << QByteArray("gone") << false << 0 << QByteArray();
    QTest::newRow("skipped-id-leaves-folder") << JobStatus::Skipped << QByteArray("../a") << false << 0 << QByteArray();
}

void TestGalleryPage::thumbnailOrPlaceholder()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, id);
    QFETCH(bool, inResult);
    QFETCH(int, width);
    QFETCH(QByteArray, img);

    // Skipped rows are looked for in out/sub; "../a" would name out/a.png, which is there too.
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("out/sub")));
    QVERIFY(WriteFile(Path("out/a.png"), Png(qRgb(255, 0, 0))));
    QVERIFY(WriteFile(Path("out/sub/a.png"), Png(qRgb(255, 0, 0))));
    const TGalleryFiles files{QFile::decodeName(Path("out/sub")), QStringLiteral("png")};
    TGalleryRow row = Row("1", id, "http://example.com/", status, inResult ? Path("out/a.png") : QByteArray());
    row.Result.Width = width;
    row.Result.Height = width * 3 / 4;

    const QByteArray page = GalleryPage::Html(Path("out/sub/gallery.html"), {row}, files);
    if (img.isEmpty()) {
        QVERIFY(!page.contains("<img"));
        QCOMPARE(page.count("<div class=\"none\">"), 1);
    } else {
        QCOMPARE(Captures(page, QStringLiteral("(<img [^>]*>)")),
                 QByteArrayList{"<img src=\"" + QByteArray(inResult ? "../a.png" : "a.png") + "\" " + img});
        QVERIFY(!page.contains("<div class=\"none\">"));
    }
}

void TestGalleryPage::thumbnailPathsResolve_data()
{
    QTest::addColumn<QByteArray>("gallery");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("file");      // where the thumbnail is, as the system finds it
    QTest::addColumn<bool>("galleryRelative"); // named from the working folder, not from the root
    QTest::addColumn<bool>("folderRelative");

    const QByteArray awkward("a#b?c%41 d\xff\\e");
    QTest::newRow("gallery-in-output-folder") << QByteArray("out/g.html") << QByteArray("out") << QByteArray("red")
                                              << QByteArray("out/red.png") << false << false;
    QTest::newRow("gallery-in-parent") << QByteArray("g.html") << QByteArray("out") << QByteArray("red")
                                       << QByteArray("out/red.png") << false << false;
    QTest::newRow("gallery-in-sibling") << QByteArray("pages/g.html") << QByteArray("out") << QByteArray("red")
                                        << QByteArray("out/red.png") << false << false;
    QTest::newRow("awkward-name-below") << QByteArray("g.html") << QByteArray("out") << awkward
                                        << "out/" + awkward + ".png" << false << false;
    // A ':' in the first segment would read as a scheme.
    QTest::newRow("awkward-name-first-segment") << QByteArray("out/g.html") << QByteArray("out") << "x:" + awkward
                                                << "out/x:" + awkward + ".png" << false << false;
    QTest::newRow("gallery-named-from-working-folder")
        << QByteArray("pages/g.html") << QByteArray("out") << awkward << "out/" + awkward + ".png" << true << false;
    QTest::newRow("output-named-from-working-folder")
        << QByteArray("pages/g.html") << QByteArray("./out") << awkward << "out/" + awkward + ".png" << false << true;
    // "link/.." is where the link's target steps back to, not the folder holding the link.
    QTest::newRow("dotdot-after-link") << QByteArray("g.html") << QByteArray("link/../out") << QByteArray("red")
                                       << QByteArray("deep/out/red.png") << false << false;
}

void TestGalleryPage::thumbnailPathsResolve()
{
    QFETCH(QByteArray, gallery);
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, file);
    QFETCH(bool, galleryRelative);
    QFETCH(bool, folderRelative);

    const QByteArray root = QFile::encodeName(m_dir->path());
    for (const char* sub : {"out", "pages", "deep/inner", "deep/out"})
        QVERIFY(QDir(m_dir->path()).mkpath(QString::fromLatin1(sub)));
    QCOMPARE(::symlink("deep/inner", Path("link").constData()), 0);
    const QByteArray galleryPrefix = galleryRelative ? QByteArray() : root + '/';
    const QByteArray folderPrefix = folderRelative ? QByteArray() : root + '/';
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const auto back = qScopeGuard([&home] { QDir::setCurrent(home); });

    const QByteArray written = ThumbnailPath(QFile::decodeName(folderPrefix + folder), id, QStringLiteral("png"));
    QVERIFY(WriteFile(written, Png(qRgb(255, 0, 0))));
    const QByteArray page = GalleryPage::Html(galleryPrefix + gallery,
                                              {Row("1", id, "http://example.com/", JobStatus::Success, written)}, {});
    const QByteArrayList sources = Captures(page, QStringLiteral("<img src=\"([^\"]*)\""));
    QCOMPARE(sources.size(), 1);
    QVERIFY2(!sources.first().startsWith('/'), sources.first().constData());

    const QUrl base = QUrl::fromLocalFile(QFile::decodeName(root + '/' + gallery));
    const QUrl resolved = base.resolved(QUrl::fromEncoded(QByteArray(sources.first()).replace("&amp;", "&")));
    QCOMPARE(resolved.scheme(), QStringLiteral("file"));
    QVERIFY(!resolved.hasQuery() && !resolved.hasFragment());
    const QByteArray resolvedPath = QByteArray::fromPercentEncoding(resolved.path(QUrl::FullyEncoded).toLatin1());
    QCOMPARE(resolvedPath, root + '/' + file);
    QVERIFY(ByteFile::FileExists(resolvedPath));
}

void TestGalleryPage::unwritableGalleryLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("gallery");
    QTest::addColumn<int>("sizeLimit"); // bytes a process may write to a file; 0: none

    QTest::newRow("no-such-folder") << QByteArray("missing/g.html") << 0;
    QTest::newRow("folder-is-a-file") << QByteArray("out/red.png/g.html") << 0;
    QTest::newRow("path-is-a-folder") << QByteArray("out") << 0;
    QTest::newRow("empty-path") << QByteArray() << 0;
    // The disk fills up halfway through the page: the older page stays whole.
    QTest::newRow("cut-short-keeps-older-page") << QByteArray("g.html") << 256;
}

void TestGalleryPage::unwritableGalleryLeavesNothing()
{
    QFETCH(QByteArray, gallery);
    QFETCH(int, sizeLimit);

    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("out")));
    QVERIFY(WriteFile(Path("out/red.png"), Png(qRgb(255, 0, 0))));
    const QByteArray older = "<!DOCTYPE html><title>older</title>";
    QVERIFY(WriteFile(Path("g.html"), older));
    const QStringList before = TreeOf(m_dir->path());
    const QByteArray path = gallery.isEmpty() ? QByteArray() : Path(gallery.constData());
    const QList<TGalleryRow> rows{Row("1", "red", "http://a.example/", JobStatus::Success, Path("out/red.png"))};
    QString error;
    bool written = false;
    if (sizeLimit > 0) {
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit original = limit;
        limit.rlim_cur = rlim_t(sizeLimit);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        written = GalleryPage::Write(path, rows, {}, &error);
        ::setrlimit(RLIMIT_FSIZE, &original);
        std::signal(SIGXFSZ, oldHandler);
    } else {
        written = GalleryPage::Write(path, rows, {}, &error);
    }
    QVERIFY(!written);
    QVERIFY2(error.contains(QFile::decodeName(path)) && error.size() > path.size() + 20, qPrintable(error));
    QCOMPARE(TreeOf(m_dir->path()), before);
    QCOMPARE(ReadFile(Path("g.html")), older);
}

void TestGalleryPage::engineShowsThumbnailsAndLoadsNothingElse()
{
    QTcpServer listener; // a link target: nothing may connect to it, not even to look ahead
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("out")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("pages")));
    const QByteArray id("r #?%\xff");
    const QByteArray thumb = ThumbnailPath(m_dir->filePath(QStringLiteral("out")), id, QStringLiteral("png"));
    QVERIFY(WriteFile(thumb, Png(qRgb(255, 0, 0), 120, 90)));
    const QByteArray site = "http://127.0.0.1:" + QByteArray::number(listener.serverPort()) + "/page";
    TGalleryRow shown = Row("2", id, site, JobStatus::Success, thumb);
    shown.Result.Width = 120;
    shown.Result.Height = 90;
    const QByteArray gallery = Path("pages/gallery.html");
    QString error;
    QVERIFY2(GalleryPage::Write(gallery, {Row("1", "x", "javascript:alert(1)", JobStatus::Error), shown}, {}, &error),
             qPrintable(error));

    RequestLog log;
    QWebEngineProfile profile;
    profile.setUrlRequestInterceptor(&log);
    QWebEnginePage page(&profile);
    // As in an ordinary browser, where a page from disk may load from the web: only the page
    // itself keeps it from doing so.
    page.settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    QWebEngineView view;
    view.setPage(&page);
    view.resize(800, 600);
    view.show();
    page.load(QUrl::fromLocalFile(QFile::decodeName(gallery)));

    const auto evaluate = [&page](const QString& script) {
        auto result = std::make_shared<std::optional<QVariant>>();
        page.runJavaScript(script, [result](const QVariant& value) { *result = value; });
        return QTest::qWaitFor([result] { return result->has_value(); }, 5000) ? **result : QVariant();
    };
    // Not loadFinished: a page that reached out would wait on the listener, which never answers.
    QTRY_COMPARE_WITH_TIMEOUT(
        evaluate(QStringLiteral("document.images.length&&document.images[0].naturalWidth")).toInt(), 120, 20000);
    const QVariantList box =
        evaluate(QStringLiteral("(r=>[r.x+r.width/2,r.y+r.height/2])(document.images[0].getBoundingClientRect())"))
            .toList();
    QCOMPARE(box.size(), 2);
    const QPoint centre(box.at(0).toInt(), box.at(1).toInt());
    QTRY_COMPARE_WITH_TIMEOUT(view.grab().toImage().pixelColor(centre), QColor(Qt::red), 10000);
    // The page's own style is let through by its hash: the background is not the default white.
    QCOMPARE(view.grab().toImage().pixelColor(2, 2), QColor(0xf2, 0xf2, 0xf2));

    QVERIFY(!log.Urls.isEmpty()); // the log sees local loads too, so an empty one means it saw nothing
    for (const QUrl& url : log.Urls)
        QVERIFY2(url.isLocalFile(), qPrintable(url.toString()));
    QVERIFY(!listener.hasPendingConnections());
    QVERIFY(!listener.waitForNewConnection(200));
}

THUMBRIX_WEBENGINE_TEST_MAIN(TestGalleryPage)

#include "TestGalleryPage.moc"
