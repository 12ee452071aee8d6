// What the reseller's profile shows in the main window and the About window.

#include "MainWindowFixture.h"

#include "brand/FAbout.h"
#include "capture/ManipulateBitmaps.h"
#include "capture/ThumbnailWriters.h"
#include "common/UUtils.h"
#include "platform/LinkLabel.h"
#include "platform/SkinFile.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>

#include <zlib.h>

namespace {

QByteArray Tag(const char* name, const QByteArray& value)
{
    return "<%%" + QByteArray(name) + "%%>" + value + "<%%/" + QByteArray(name) + "%%>\r\n";
}

QByteArray Picture(const char* format, QSize size, QColor colour)
{
    if (qstrcmp(format, "gif") == 0) { // Qt reads GIF but cannot write it: our thumbnail writer can
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QString error;
        return WriteGif(TBitmap32(size.width(), size.height(), colour.rgb() & 0xFFFFFF), &buffer, &error)
                   ? data
                   : QByteArray();
    }
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    return writer.write(image) ? data : QByteArray();
}

QByteArray Zlib(const QByteArray& text)
{
    uLongf size = compressBound(uLong(text.size()));
    QByteArray out(qsizetype(size), '\0');
    if (compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.constData()),
                 uLong(text.size())) != Z_OK)
        return {};
    out.resize(qsizetype(size));
    return out;
}

} // namespace

class TestPresentation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void withoutProfile();
    void minimalProfile();
    void profileThatDoesNotDecrypt();
    void iconFile();
    void fullProfile();
    void profileTextIsPlain();
    void enterLeavesTheWelcomePage();
    void bannerViews_data();
    void bannerViews();
    void bannerThatCannotLoad();
    void skinFile_data();
    void skinFile();

private:
    void WriteProfile(MainWindowFixture& f, const QByteArray& plain);
    void WriteFile(MainWindowFixture& f, const char* name, const QByteArray& data);
};

void TestPresentation::cleanup()
{
    qApp->setStyleSheet(QString());
}

void TestPresentation::WriteProfile(MainWindowFixture& f, const QByteArray& plain)
{
    QString error;
    QVERIFY2(EncryptBytesToFile(plain, f.ProgramFolder.filePath(QStringLiteral("dbsettings.dat")), &error),
             qPrintable(error));
}

void TestPresentation::WriteFile(MainWindowFixture& f, const char* name, const QByteArray& data)
{
    QFile file(f.ProgramFolder.filePath(QString::fromLatin1(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

void TestPresentation::withoutProfile()
{
    MainWindowFixture f;
    TfrmMain& window = f.Open();
    QCOMPARE(window.windowTitle(), QStringLiteral("Thumbrix"));
    QCOMPARE(f.Find<QPushButton>("btnMakeMoney")->text(), QStringLiteral("Make Money"));
    QVERIFY(f.Find<QToolButton>("btnNews")->isVisible());
    QVERIFY(f.Find<QWidget>("panBanner")->isVisible());
    QCOMPARE(f.Find<QWidget>("panBanner")->height(), 65);
    QVERIFY(f.Find<QWidget>("panLinks")->isVisible());
    QVERIFY(!f.Find<TLinkLabel>("lblLink1URL")->text().isEmpty());
    QCOMPARE(f.Find<QStackedWidget>("pgcPrinc")->count(), 1);
    QVERIFY(window.NewsTimer().isActive());

    f.Find<QPushButton>("btnMakeMoney")->click();
    f.Find<QToolButton>("btnHelp")->click();
    QCOMPARE(f.Shell.Browser, (QList<QByteArray>{QByteArray(), QByteArray()}));

    TfrmAbout about(window.Profile());
    QCOMPARE(about.windowTitle(), QStringLiteral("About ..."));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblProductName"))->text(), QString());
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblProductVersion"))->text(),
             QStringLiteral("Product Version: 2.0"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblCopyright"))->text(), QStringLiteral("Copyright \u00a9  "));
    QCOMPARE(about.size(), QSize(368, 211));
}

void TestPresentation::minimalProfile()
{
    MainWindowFixture f;
    WriteProfile(f, Tag("ApplicationName", "Sample"));
    TfrmMain& window = f.Open();
    QCOMPARE(window.windowTitle(), QStringLiteral("Sample v2.0"));
    QCOMPARE(f.Find<QPushButton>("btnMakeMoney")->text(), QStringLiteral("Make Money"));
    QVERIFY(!f.Find<QToolButton>("btnNews")->isVisible());
    QVERIFY(!f.Find<QWidget>("panBanner")->isVisible());
    QVERIFY(!f.Find<QWidget>("panLinks")->isVisible());
    QCOMPARE(f.Find<QStackedWidget>("pgcPrinc")->count(), 1);
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestPresentation::profileThatDoesNotDecrypt()
{
    MainWindowFixture f;
    WriteFile(f, "dbsettings.dat", QByteArray(64, 'x'));
    TfrmMain& window = f.Open();
    QCOMPARE(window.windowTitle(), QStringLiteral(" v2.0"));
    QVERIFY(!f.Find<QToolButton>("btnNews")->isVisible());
    QVERIFY(!f.Find<QWidget>("panBanner")->isVisible());
    QVERIFY(!f.Find<QWidget>("panLinks")->isVisible());
    QCOMPARE(f.Find<QPushButton>("btnMakeMoney")->text(), QStringLiteral("Make Money"));
}

void TestPresentation::profileTextIsPlain()
{
    // Markup in the profile is shown as written: a label that took it for rich text would be
    // narrower than the literal text, and could show a link of the profile's own.
    MainWindowFixture f;
    const QByteArray name = "<b>Snap</b>";
    const QByteArray company = "<a href='http://evil.example/'>Co</a>";
    const QByteArray caption = "<i>Home</i>";
    WriteProfile(f, Tag("ApplicationName", name) + Tag("CopyrightYears", "2026") + Tag("CopyrightCompany", company) +
                        Tag("Link1", caption + "^http://one.example/"));
    TfrmMain& window = f.Open();
    TfrmAbout about(window.Profile());
    const QList<QPair<QLabel*, QString>> shown = {
        {about.findChild<QLabel*>(QStringLiteral("lblProductName")), QString::fromLatin1(name)},
        {about.findChild<QLabel*>(QStringLiteral("lblCopyright")),
         QStringLiteral("Copyright \u00a9 2026 ") + QString::fromLatin1(company)},
        {f.Find<TLinkLabel>("lblLink1URL"), QString::fromLatin1(caption)},
    };
    for (const auto& [label, text] : shown) {
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QVERIFY2(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(text), qPrintable(text));
        QVERIFY(!label->openExternalLinks());
    }
}

void TestPresentation::enterLeavesTheWelcomePage()
{
    MainWindowFixture f;
    WriteProfile(f, Tag("ApplicationName", "W") + Tag("Welcome1", "<html><body>Hi</body></html>"));
    TfrmMain& window = f.Open();
    auto* pages = f.Find<QStackedWidget>("pgcPrinc");
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("stsWelcome"));
    // Focus inside the welcome view, as when the user clicked into the page.
    auto* inPage = new QLineEdit(f.Welcome.View);
    inPage->show();
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    inPage->setFocus();
    QTRY_VERIFY(inPage->hasFocus());
    QTest::keyClick(inPage, Qt::Key_Return);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("stsMain"));
    QVERIFY(window.NewsTimer().isActive());
}

void TestPresentation::iconFile()
{
    MainWindowFixture f;
    WriteProfile(f, Tag("ApplicationName", "I"));
    WriteFile(f, "main.ico", Picture("ico", QSize(32, 32), Qt::blue));
    TfrmMain& window = f.Open();
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.windowIcon().pixmap(32, 32).toImage().pixel(16, 16), qRgb(0, 0, 255));
}

void TestPresentation::fullProfile()
{
    MainWindowFixture f;
    WriteProfile(f, Tag("ApplicationName", "Snapper") + Tag("BranderCode", "SN1") + Tag("BranderType", "Master") +
                        Tag("AffiliateURL", "http://aff.example/?id=%%AFFILIATEID%%") + Tag("AffiliateID", "77") +
                        Tag("MasterNewsBaseURL", "http://news.example/") + Tag("MasterPublID", "9") +
                        Tag("MakeMoneyButton", "Earn") + Tag("AppHelpURL", "http://help.example/") +
                        Tag("CopyrightYears", "2001-2026") + Tag("CopyrightCompany", "Snap Ltd") +
                        Tag("AboutText", "Line one\r\nLine two") + Tag("Welcome1", "<html><body>Hi</body></html>") +
                        Tag("Banner1", "top.jpg^http://banner.example/") + Tag("Link1", "First^http://one.example/") +
                        Tag("Link2", "Second^http://two.example/"));
    WriteFile(f, "banner1.dat", Picture("jpeg", QSize(300, 40), Qt::red));
    TfrmMain& window = f.Open();

    QCOMPARE(window.windowTitle(), QStringLiteral("Snapper v2.0"));
    QCOMPARE(f.Find<QPushButton>("btnMakeMoney")->text(), QStringLiteral("Earn"));
    // The welcome page comes first and holds the news check back.
    QCOMPARE(f.Welcome.Html, QByteArray("<html><body>Hi</body></html>"));
    auto* pages = f.Find<QStackedWidget>("pgcPrinc");
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("stsWelcome"));
    QVERIFY(!window.NewsTimer().isActive());
    f.Find<QPushButton>("bsSkinButton1")->click();
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("stsMain"));
    QVERIFY(window.NewsTimer().isActive());
    QVERIFY(f.Find<QToolButton>("btnNews")->isVisible());

    // A 40-pixel banner makes a 50-pixel panel, the picture centred in it, on show and resize.
    auto* panel = f.Find<QWidget>("panBanner");
    auto* banner = f.Find<QLabel>("imgBanner");
    QCOMPARE(panel->height(), 50);
    QCOMPARE(banner->size(), QSize(300, 40));
    QCOMPARE(banner->pos(), QPoint(panel->width() / 2 - 150, 5));
    window.resize(900, 600);
    QCOMPARE(banner->pos(), QPoint(panel->width() / 2 - 150, 5));
    QVERIFY(QFile::exists(f.ProgramFolder.filePath(QStringLiteral("banner1.dat"))));
    QVERIFY(!QFile::exists(f.ProgramFolder.filePath(QStringLiteral("top.jpg"))));

    QTest::mouseClick(banner, Qt::LeftButton);
    f.Find<QPushButton>("btnMakeMoney")->click();
    f.Find<QToolButton>("btnHelp")->click();
    QCOMPARE(f.Shell.Browser,
             (QList<QByteArray>{"http://banner.example/", "http://aff.example/?id=77", "http://help.example/"}));

    // Random index 0 each time: Link1 first, then the remaining Link2.
    auto* left = f.Find<TLinkLabel>("lblLink1URL");
    auto* right = f.Find<TLinkLabel>("lblLink2URL");
    QCOMPARE(left->text(), QStringLiteral("First"));
    QCOMPARE(right->text(), QStringLiteral("Second"));
    QTest::mouseClick(right, Qt::LeftButton);
    QCOMPARE(f.Shell.Links, QList<QByteArray>{"http://two.example/"});

    TfrmAbout about(window.Profile());
    QCOMPARE(about.windowTitle(), QStringLiteral("About Snapper..."));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblProductName"))->text(), QStringLiteral("Snapper"));
    QVERIFY(about.findChild<QLabel*>(QStringLiteral("lblProductName"))->font().bold());
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblCopyright"))->text(),
             QStringLiteral("Copyright \u00a9 2001-2026 Snap Ltd"));
    QCOMPARE(about.findChild<QPlainTextEdit*>(QStringLiteral("memAbout"))->toPlainText(),
             QStringLiteral("Line one\nLine two"));
    QVERIFY(about.findChild<QPlainTextEdit*>(QStringLiteral("memAbout"))->isReadOnly());
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

void TestPresentation::bannerViews_data()
{
    QTest::addColumn<QByteArray>("imageName");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("animated");

    QTest::newRow("upper-case-GIF") << QByteArray("PROMO.GIF") << QByteArray("gif") << true;
    QTest::newRow("gif-anywhere") << QByteArray("promo.gif.jpg") << QByteArray("gif") << true;
    QTest::newRow("bmp-with-folder") << QByteArray("art/side.bmp") << QByteArray("bmp") << false;
    QTest::newRow("jpeg") << QByteArray("wide.jpeg") << QByteArray("jpeg") << false;
}

void TestPresentation::bannerViews()
{
    QFETCH(QByteArray, imageName);
    QFETCH(QByteArray, format);
    QFETCH(bool, animated);
    MainWindowFixture f;
    WriteProfile(f, Tag("ApplicationName", "B") + Tag("Banner1", imageName + "^"));
    WriteFile(f, "banner1.dat", Picture(format.constData(), QSize(120, 30), Qt::green));
    // A file that already bears the display name is left alone.
    const QByteArray fileName = imageName.mid(imageName.lastIndexOf('/') + 1);
    WriteFile(f, fileName.constData(), "keep me");
    f.Open();
    auto* gif = f.Find<QLabel>("gifBanner");
    auto* still = f.Find<QLabel>("imgBanner");
    QCOMPARE(gif->isVisible(), animated);
    QCOMPARE(still->isVisible(), !animated);
    QCOMPARE(animated ? gif->movie() != nullptr : !still->pixmap().isNull(), true);
    QCOMPARE(f.Find<QWidget>("panBanner")->height(), 40);
    QFile kept(f.ProgramFolder.filePath(QString::fromUtf8(fileName)));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));
    QVERIFY(QFile::exists(f.ProgramFolder.filePath(QStringLiteral("banner1.dat"))));
}

void TestPresentation::bannerThatCannotLoad()
{
    MainWindowFixture f;
    WriteProfile(f, Tag("ApplicationName", "B") + Tag("Banner1", "broken.jpg^http://b.example/") +
                        Tag("Link1", "Only^http://one.example/"));
    WriteFile(f, "banner1.dat", "not a picture");
    f.Open();
    QVERIFY(!f.Find<QWidget>("panBanner")->isVisible());
    QCOMPARE(f.Dialogs.Errors.size(), 1);
    QVERIFY2(f.Dialogs.Errors.first().contains(QLatin1String("banner1.dat")), qPrintable(f.Dialogs.Errors.first()));
    // The rest of the profile still applies; one link leaves the right label blank.
    QVERIFY(f.Find<QWidget>("panLinks")->isVisible());
    QCOMPARE(f.Find<TLinkLabel>("lblLink1URL")->text(), QStringLiteral("Only"));
    QCOMPARE(f.Find<TLinkLabel>("lblLink2URL")->text(), QString());
    QVERIFY(QFile::exists(f.ProgramFolder.filePath(QStringLiteral("banner1.dat"))));
}

void TestPresentation::skinFile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("applied");

    QTest::newRow("style-sheet") << Zlib("QPushButton { color: rgb(1, 2, 3); }") << true;
    QTest::newRow("empty-sheet") << Zlib("  ") << false;
    QTest::newRow("not-zlib") << QByteArray("QPushButton { color: red; }") << false;
    QTest::newRow("truncated") << Zlib("QPushButton { color: rgb(1, 2, 3); }").left(10) << false;
}

void TestPresentation::skinFile()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, applied);
    MainWindowFixture f;
    WriteProfile(f, Tag("ApplicationName", "S"));
    WriteFile(f, "mainskin.dat", data);
    f.Open();
    QCOMPARE(qApp->styleSheet().contains(QLatin1String("rgb(1, 2, 3)")), applied);
    QVERIFY(f.Dialogs.Errors.isEmpty());
}

QTEST_MAIN(TestPresentation)
#include "TestPresentation.moc"
