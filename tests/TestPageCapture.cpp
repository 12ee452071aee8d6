// CapturePageToFile and the settings rules it relies on, on a fake browser.

#include "FakeWebBrowser.h"

#include "capture/CaptureSettings.h"
#include "capture/PageCapture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage SolidView(Qt::GlobalColor colour)
{
    QImage view(800, 600, QImage::Format_RGB32);
    view.fill(colour);
    return view;
}

} // namespace

class TestPageCapture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aspectHeight_data();
    void aspectHeight();
    void writesThumbnail_data();
    void writesThumbnail();
    void writesNothing_data();
    void writesNothing();
    void refusesUnusableSizes_data();
    void refusesUnusableSizes();
    void reportsUnwritablePath();
    void replacesExistingFile();
};

void TestPageCapture::aspectHeight_data()
{
    QTest::addColumn<int>("thumbX");
    QTest::addColumn<int>("browserX");
    QTest::addColumn<int>("browserY");
    QTest::addColumn<int>("expected"); // -1: cannot be computed, the height stays

    QTest::newRow("defaults") << 200 << 800 << 600 << 150;
    QTest::newRow("333-truncates-249.75") << 333 << 800 << 600 << 249;
    QTest::newRow("quotient-first") << 29 << 100 << 100 << 28; // 0.29 * 100 is 28.999... in doubles
    QTest::newRow("browser-width-zero") << 200 << 0 << 600 << -1;
    QTest::newRow("negative-truncates-toward-zero") << -333 << 800 << 600 << -249;
    QTest::newRow("too-large-for-int") << 2000000000 << 1 << 2 << -1;
}

void TestPageCapture::aspectHeight()
{
    QFETCH(int, thumbX);
    QFETCH(int, browserX);
    QFETCH(int, browserY);
    QFETCH(int, expected);
    QCOMPARE(AspectThumbHeight(thumbX, browserX, browserY).value_or(-1), expected);
}

void TestPageCapture::writesThumbnail_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QSize>("thumb");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("bmp-reduced") << QStringLiteral("bmp") << QSize(200, 150) << 0;
    QTest::newRow("jpg-reduced") << QStringLiteral("jpg") << QSize(200, 150) << 12;
    QTest::newRow("gif-reduced") << QStringLiteral("gif") << QSize(200, 150) << 0;
    QTest::newRow("png-reduced") << QStringLiteral("png") << QSize(200, 150) << 0;
    QTest::newRow("bmp-enlarged") << QStringLiteral("bmp") << QSize(1600, 1200) << 0;
}

void TestPageCapture::writesThumbnail()
{
    QFETCH(QString, extension);
    QFETCH(QSize, thumb);
    QFETCH(int, tolerance);

    // Left half red, right half blue: a thumbnail keeps the halves where they were.
    FakeWebBrowser browser;
    browser.View = SolidView(Qt::blue);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 400; ++x)
            browser.View.setPixel(x, y, qRgb(255, 0, 0));

    QTemporaryDir dir;
    // A folder given with a trailing separator still receives the file.
    const QString folder = dir.path() + QLatin1Char('/');
    const QByteArray path = ThumbnailPath(folder, "page", extension);
    QVERIFY(path.contains("//page."));
    QString error;
    QVERIFY2(CapturePageToFile(browser, {800, 600, thumb.width(), thumb.height()}, path, &error), qPrintable(error));

    const QImage written(dir.filePath(QStringLiteral("page.") + extension));
    QCOMPARE(written.size(), thumb);
    auto near = [tolerance](QRgb a, QRgb b) {
        return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
               qAbs(qBlue(a) - qBlue(b)) <= tolerance;
    };
    QVERIFY(near(written.pixel(thumb.width() / 4, thumb.height() / 2), qRgb(255, 0, 0)));
    QVERIFY(near(written.pixel(thumb.width() * 3 / 4, thumb.height() / 2), qRgb(0, 0, 255)));
}

void TestPageCapture::writesNothing_data()
{
    QTest::addColumn<bool>("document");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("no-document") << false << QStringLiteral("page.jpg");
    QTest::newRow("tif-unknown") << true << QStringLiteral("page.tif");
    QTest::newRow("upper-case-JPG") << true << QStringLiteral("page.JPG");
    QTest::newRow("no-extension") << true << QStringLiteral("page");
}

void TestPageCapture::writesNothing()
{
    QFETCH(bool, document);
    QFETCH(QString, fileName);
    FakeWebBrowser browser;
    browser.Document = document;
    browser.View = QImage(800, 600, QImage::Format_RGB32);
    browser.View.fill(Qt::green);
    QTemporaryDir dir;
    QString error;
    QVERIFY(CapturePageToFile(browser, {}, QFile::encodeName(dir.filePath(fileName)), &error));
    QVERIFY(error.isEmpty());
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestPageCapture::refusesUnusableSizes_data()
{
    QTest::addColumn<QSize>("browserSize");
    QTest::addColumn<QSize>("thumb");
    QTest::addColumn<QString>("message");

    QTest::newRow("browser-zero-width") << QSize(0, 600) << QSize(200, 150) << QStringLiteral("Cannot reduce");
    QTest::newRow("negative-thumb") << QSize(800, 600) << QSize(-200, 150)
                                    << QStringLiteral("thumbnail bitmap of -200 x 150");
    QTest::newRow("huge-browser") << QSize(100000, 100000) << QSize(200, 150)
                                  << QStringLiteral("page bitmap of 100000 x 100000");
    QTest::newRow("huge-thumb") << QSize(800, 600) << QSize(100000, 100000)
                                << QStringLiteral("thumbnail bitmap of 100000 x 100000");
}

void TestPageCapture::refusesUnusableSizes()
{
    QFETCH(QSize, browserSize);
    QFETCH(QSize, thumb);
    QFETCH(QString, message);
    FakeWebBrowser browser;
    browser.View = SolidView(Qt::green);
    QTemporaryDir dir;
    QString error;
    const TCaptureSizes sizes{browserSize.width(), browserSize.height(), thumb.width(), thumb.height()};
    QVERIFY(!CapturePageToFile(browser, sizes, QFile::encodeName(dir.filePath(QStringLiteral("page.jpg"))), &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestPageCapture::reportsUnwritablePath()
{
    FakeWebBrowser browser;
    browser.View = SolidView(Qt::green);
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("missing/page.jpg")));
    QString error;
    QVERIFY(!CapturePageToFile(browser, {}, path, &error));
    QVERIFY2(error.contains(QString::fromUtf8(path)) && error.contains(QLatin1String("No such file")),
             qPrintable(error));
}

void TestPageCapture::replacesExistingFile()
{
    FakeWebBrowser browser;
    browser.View = SolidView(Qt::green);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("page.bmp"));
    {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older, longer file that must not survive in part");
    }
    QString error;
    QVERIFY(CapturePageToFile(browser, {800, 600, 20, 15}, QFile::encodeName(file), &error));
    QCOMPARE(QFileInfo(file).size(), qint64(54 + 4 * 20 * 15));
    QCOMPARE(QImage(file).pixel(5, 5), qRgb(0, 255, 0));
}

QTEST_MAIN(TestPageCapture)
#include "TestPageCapture.moc"
