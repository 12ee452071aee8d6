// Pages that leave the font to the browser look as they do in Chromium: thumbrix-batch's
// thumbnail against Chromium's screenshot of the same page, shrunk by our own downscaler.

#include "ImageCompare.h"

#include "capture/ManipulateBitmaps.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <cstring>

namespace {

QImage Shrink(const QImage& screenshot, int width, int height)
{
    const QImage rgb = screenshot.convertToFormat(QImage::Format_RGB32);
    TBitmap32 source(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(source.Row(y), rgb.constScanLine(y), std::size_t(rgb.width()) * 4);
    TBitmap32 thumb(width, height);
    if (!ResampleBitmap(source, thumb)) return {};
    QImage out(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.scanLine(y), thumb.Row(y), std::size_t(width) * 4);
    return out;
}

} // namespace

class TestFontsMatchChromium : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void defaultFontsMatch_data();
    void defaultFontsMatch();

private:
    QString m_chromium;
    QTemporaryDir m_dir;
};

void TestFontsMatchChromium::initTestCase()
{
    m_chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (m_chromium.isEmpty()) QSKIP("Chromium is not installed (apt-get install chromium)");
    QVERIFY(m_dir.isValid());
}

void TestFontsMatchChromium::defaultFontsMatch_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("unstyled") << QStringLiteral("unstyled");
    QTest::newRow("font-family-serif") << QStringLiteral("serif");
}

void TestFontsMatchChromium::defaultFontsMatch()
{
    QFETCH(QString, page);
    const QString url =
        QUrl::fromLocalFile(QStringLiteral(THUMBRIX_TEST_DATA "/fonts/") + page + QStringLiteral(".html")).toString();
    const QString screenshot = m_dir.filePath(page + QStringLiteral("-chromium.png"));

    QProcess chromium;
    chromium.start(m_chromium,
                   {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                    QStringLiteral("--hide-scrollbars"), QStringLiteral("--window-size=800,600"),
                    QStringLiteral("--screenshot=") + screenshot, url});
    QVERIFY(chromium.waitForFinished(60000));
    const QImage shot(screenshot);
    QCOMPARE(shot.size(), QSize(800, 600));

    QProcess batch;
    batch.start(QStringLiteral(THUMBRIX_BATCH_BIN),
                {QStringLiteral("--list-format"), QStringLiteral("pipe"), QStringLiteral("--image"),
                 QStringLiteral("png"), QStringLiteral("--no-skip"), QStringLiteral("--out"), m_dir.path(),
                 QStringLiteral("-")});
    QVERIFY(batch.waitForStarted(10000));
    batch.write((page + QStringLiteral("|") + url + QStringLiteral("\n")).toUtf8());
    batch.closeWriteChannel();
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), 0);
    const QImage thumb(m_dir.filePath(page + QStringLiteral(".png")));
    QCOMPARE(thumb.size(), QSize(200, 150));

    const double psnr = Psnr(Shrink(shot, 200, 150), thumb.convertToFormat(QImage::Format_RGB32));
    qInfo("%s: %.1f dB", qPrintable(page), psnr);
    QVERIFY2(psnr >= 35.0, qPrintable(QString::number(psnr)));
}

QTEST_GUILESS_MAIN(TestFontsMatchChromium)
#include "TestFontsMatchChromium.moc"
