#include "capture/ManipulateBitmaps.h"
#include "capture/ThumbnailWriters.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

extern "C" {
#include <jpeglib.h>
}
#include <webp/decode.h>
#include <webp/encode.h>

Q_DECLARE_METATYPE(TBitmap32)

namespace {

// Accepts `budget` bytes, then refuses every write the way a full disk would.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 budget) : m_budget(budget) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override
    {
        if (length > m_budget) {
            setErrorString(QStringLiteral("disk full"));
            return -1;
        }
        m_budget -= length;
        return length;
    }

private:
    qint64 m_budget;
};

ThumbnailWriter WriterNamed(const QString& name)
{
    if (name == QLatin1String("bmp")) return WriteBmp;
    if (name == QLatin1String("jpg")) return WriteJpeg;
    if (name == QLatin1String("gif")) return WriteGif;
    if (name == QLatin1String("png")) return WritePng;
    if (name == QLatin1String("webp")) return WriteWebp;
    return nullptr;
}

TBitmap32 NoiseBitmap(int width, int height, uint32_t seed)
{
    std::mt19937 random(seed);
    TBitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            bitmap.SetPixel(x, y, uint32_t(random()));
    }
    return bitmap;
}

TBitmap32 GradientBitmap(int width, int height)
{
    TBitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t red = uint32_t(x * 255 / (width - 1));
            const uint32_t green = uint32_t(y * 255 / (height - 1));
            const uint32_t blue = uint32_t(255 - (x + y) * 255 / (width + height - 2));
            bitmap.SetPixel(x, y, 0xFF000000 | red << 16 | green << 8 | blue);
        }
    }
    return bitmap;
}

// What the downscaler hands the writers: its pixels leave bits 24-31 clear.
TBitmap32 DownscaledGradient()
{
    TBitmap32 thumb(200, 150);
    ResampleBitmap(GradientBitmap(800, 600), thumb);
    return thumb;
}

QByteArray Encode(ThumbnailWriter writer, const TBitmap32& bitmap)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!writer(bitmap, &buffer, &error, kDefaultQuality)) qWarning("encoding failed: %s", qPrintable(error));
    return data;
}

uint32_t ReadU32(const QByteArray& data, int offset)
{
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

const QByteArray kPngSignature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");

// The chunk types after the signature, in file order.
QByteArrayList PngChunks(const QByteArray& png)
{
    QByteArrayList chunks;
    qsizetype pos = kPngSignature.size();
    while (pos + 12 <= png.size()) {
        chunks << png.mid(pos + 4, 4);
        pos += 12 + qFromBigEndian<quint32>(png.constData() + pos);
    }
    return chunks;
}

// libwebp's own decoder: this Qt has no WebP reader.
QImage DecodeWebp(const QByteArray& webp)
{
    int width = 0;
    int height = 0;
    uint8_t* rgb =
        WebPDecodeRGB(reinterpret_cast<const uint8_t*>(webp.constData()), std::size_t(webp.size()), &width, &height);
    if (!rgb) return QImage();
    const QImage image = QImage(rgb, width, height, 3 * width, QImage::Format_RGB888).copy();
    WebPFree(rgb);
    return image;
}

// Mean absolute difference of each of red, green and blue over two pictures of one size.
QList<double> MeanChannelErrors(const QImage& a, const QImage& b)
{
    double sums[3] = {};
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sums[0] += std::abs(qRed(p) - qRed(q));
            sums[1] += std::abs(qGreen(p) - qGreen(q));
            sums[2] += std::abs(qBlue(p) - qBlue(q));
        }
    }
    const double count = double(a.width()) * a.height();
    return {sums[0] / count, sums[1] / count, sums[2] / count};
}

// A JPEG reader on libjpeg itself, to judge what the writer produced.
struct TDecoderErrors : jpeg_error_mgr
{
    std::jmp_buf jump;
};

[[noreturn]] void DecoderErrorExit(j_common_ptr cinfo)
{
    std::longjmp(static_cast<TDecoderErrors*>(cinfo->err)->jump, 1);
}

struct TJpegFacts
{
    bool jfif = false;
    bool progressive = false;
    int components = 0;
    int width = 0;
    int height = 0;
    int componentTable[3] = {};
    uint16_t tables[2][64] = {};
};

// Holds nothing with a destructor: DecoderErrorExit jumps back into it.
bool DecodeJpeg(const QByteArray& data, TJpegFacts* facts, std::vector<uint8_t>* rgb)
{
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    TDecoderErrors errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = DecoderErrorExit;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    facts->jfif = cinfo.saw_JFIF_marker;
    facts->progressive = cinfo.progressive_mode;
    facts->components = cinfo.num_components;
    facts->width = int(cinfo.image_width);
    facts->height = int(cinfo.image_height);
    for (int c = 0; c < 3 && c < cinfo.num_components; ++c)
        facts->componentTable[c] = cinfo.comp_info[c].quant_tbl_no;
    for (int t = 0; t < 2; ++t) {
        for (int i = 0; i < 64 && cinfo.quant_tbl_ptrs[t]; ++i)
            facts->tables[t][i] = cinfo.quant_tbl_ptrs[t]->quantval[i];
    }

    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    rgb->resize(std::size_t(cinfo.output_width) * cinfo.output_height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb->data() + std::size_t(cinfo.output_scanline) * cinfo.output_width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// The marker codes from SOI up to the first SOS.
QList<int> JpegMarkers(const QByteArray& data)
{
    QList<int> markers;
    int pos = 0;
    while (pos + 1 < data.size() && uchar(data[pos]) == 0xFF) {
        const int marker = uchar(data[pos + 1]);
        markers << marker;
        if (marker == 0xD8) {
            pos += 2;
            continue;
        }
        if (marker == 0xDA || pos + 3 >= data.size()) break;
        pos += 2 + qFromBigEndian<quint16>(data.constData() + pos + 2);
    }
    return markers;
}

// ITU-T T.81 Annex K, tables K.1 (luminance) and K.2 (chrominance), in their 8 x 8 layout.
// clang-format off
constexpr uint16_t kAnnexKLuminance[64] = {
    16, 11, 10, 16,  24,  40,  51,  61,
    12, 12, 14, 19,  26,  58,  60,  55,
    14, 13, 16, 24,  40,  57,  69,  56,
    14, 17, 22, 29,  51,  87,  80,  62,
    18, 22, 37, 56,  68, 109, 103,  77,
    24, 35, 55, 64,  81, 104, 113,  92,
    49, 64, 78, 87, 103, 121, 120, 101,
    72, 92, 95, 98, 112, 100, 103,  99,
};
constexpr uint16_t kAnnexKChrominance[64] = {
    17, 18, 24, 47, 99, 99, 99, 99,
    18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99,
    47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
};
// clang-format on

// The IJG quality rule: quality 90 scales by 200 - 2 * 90 = 20 percent.
uint16_t ScaledForQuality90(uint16_t base)
{
    return uint16_t(qBound(1, (base * 20 + 50) / 100, 255));
}

constexpr int kGifTableOffset = 13 + 10;
constexpr int kGifCodeSizeOffset = kGifTableOffset + 3 * 256;

uint32_t GifTableColour(const QByteArray& gif, int index)
{
    const int at = kGifTableOffset + 3 * index;
    return uint32_t(uchar(gif[at])) << 16 | uint32_t(uchar(gif[at + 1])) << 8 | uchar(gif[at + 2]);
}

uint32_t WebColour(int index)
{
    return uint32_t(51 * (index / 36)) << 16 | uint32_t(51 * (index / 6 % 6)) << 8 | uint32_t(51 * (index % 6));
}

} // namespace

class TestThumbnailWriters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bmpHeader_data();
    void bmpHeader();
    void bmpPixels();
    void jpegHeader();
    void jpegQuantisationTables();
    void jpegPixels_data();
    void jpegPixels();
    void jpegQualitySeenByImageMagick_data();
    void jpegQualitySeenByImageMagick();
    void webpQualityShapesTheFile();
    void gifLayout();
    void gifDecodesToWebPalette();
    void webPalette_data();
    void webPalette();
    void pngLayout();
    void pngPixels_data();
    void pngPixels();
    void webpLayout();
    void webpPixels_data();
    void webpPixels();
    void sizeLimits_data();
    void sizeLimits();
    void emptyBitmap_data();
    void emptyBitmap();
    void failingDevice_data();
    void failingDevice();
    void writerForPath_data();
    void writerForPath();
};

void TestThumbnailWriters::bmpHeader_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    QTest::addColumn<uint>("value");

    // A 3 x 2 bitmap: 24 bytes of pixels.
    QTest::newRow("signature") << 0 << 2 << uint('B' | 'M' << 8);
    QTest::newRow("file-size") << 2 << 4 << 78u;
    QTest::newRow("reserved") << 6 << 4 << 0u;
    QTest::newRow("pixel-offset") << 10 << 4 << 54u;
    QTest::newRow("info-header-size") << 14 << 4 << 40u;
    QTest::newRow("width") << 18 << 4 << 3u;
    QTest::newRow("height-positive-bottom-up") << 22 << 4 << 2u;
    QTest::newRow("planes") << 26 << 2 << 1u;
    QTest::newRow("bits-per-pixel") << 28 << 2 << 32u;
    QTest::newRow("compression-rgb") << 30 << 4 << 0u;
    QTest::newRow("image-size") << 34 << 4 << 24u;
    QTest::newRow("x-resolution") << 38 << 4 << 0u;
    QTest::newRow("y-resolution") << 42 << 4 << 0u;
    QTest::newRow("colours-used-no-table") << 46 << 4 << 0u;
    QTest::newRow("colours-important") << 50 << 4 << 0u;
}

void TestThumbnailWriters::bmpHeader()
{
    QFETCH(int, offset);
    QFETCH(int, size);
    QFETCH(uint, value);

    const QByteArray bmp = Encode(WriteBmp, NoiseBitmap(3, 2, 1));
    QCOMPARE(bmp.size(), 54 + 4 * 3 * 2);
    const uint field = size == 2 ? qFromLittleEndian<quint16>(bmp.constData() + offset) : ReadU32(bmp, offset);
    QCOMPARE(field, value);
}

void TestThumbnailWriters::bmpPixels()
{
    const TBitmap32 bitmap = NoiseBitmap(5, 3, 2);
    const QByteArray bmp = Encode(WriteBmp, bitmap);
    QCOMPARE(bmp.size(), 54 + 4 * 5 * 3);

    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const int at = 54 + 4 * ((2 - y) * 5 + x);
            QCOMPARE(ReadU32(bmp, at), bitmap.Pixel(x, y) & 0x00FFFFFF);
        }
    }

    const QImage decoded = QImage::fromData(bmp, "BMP");
    QCOMPARE(decoded.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            QCOMPARE(decoded.pixel(x, y) & 0x00FFFFFF, bitmap.Pixel(x, y) & 0x00FFFFFF);
    }
}

void TestThumbnailWriters::jpegHeader()
{
    const QByteArray jpeg = Encode(WriteJpeg, GradientBitmap(200, 150));
    TJpegFacts facts;
    std::vector<uint8_t> rgb;
    QVERIFY(DecodeJpeg(jpeg, &facts, &rgb));
    QVERIFY(facts.jfif);
    QCOMPARE(facts.components, 3);
    QVERIFY(!facts.progressive);
    QCOMPARE(facts.width, 200);
    QCOMPARE(facts.height, 150);

    const QList<int> markers = JpegMarkers(jpeg);
    QCOMPARE(markers.value(0), 0xD8);
    QCOMPARE(markers.value(1), 0xE0); // APP0 holds the JFIF header
    QVERIFY(markers.contains(0xC0));  // baseline
    for (int sof : {0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF})
        QVERIFY2(!markers.contains(sof), qPrintable(QString::number(sof, 16)));
    QCOMPARE(markers.last(), 0xDA);
}

void TestThumbnailWriters::jpegQuantisationTables()
{
    const QByteArray jpeg = Encode(WriteJpeg, GradientBitmap(16, 16));
    TJpegFacts facts;
    std::vector<uint8_t> rgb;
    QVERIFY(DecodeJpeg(jpeg, &facts, &rgb));
    QCOMPARE(facts.componentTable[0], 0);
    QCOMPARE(facts.componentTable[1], 1);
    QCOMPARE(facts.componentTable[2], 1);
    for (int i = 0; i < 64; ++i) {
        QCOMPARE(facts.tables[0][i], ScaledForQuality90(kAnnexKLuminance[i]));
        QCOMPARE(facts.tables[1][i], ScaledForQuality90(kAnnexKChrominance[i]));
    }
}

void TestThumbnailWriters::jpegPixels_data()
{
    QTest::addColumn<TBitmap32>("bitmap");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("solid") << TBitmap32(32, 24, 0xFF3C8AD2) << 2;
    QTest::newRow("smooth-gradient") << GradientBitmap(200, 150) << 6;
}

void TestThumbnailWriters::jpegPixels()
{
    QFETCH(TBitmap32, bitmap);
    QFETCH(int, tolerance);

    const QByteArray jpeg = Encode(WriteJpeg, bitmap);
    TJpegFacts facts;
    std::vector<uint8_t> rgb;
    QVERIFY(DecodeJpeg(jpeg, &facts, &rgb));
    QCOMPARE(rgb.size(), std::size_t(bitmap.Width()) * bitmap.Height() * 3);

    int worst = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            const uint8_t* decoded = rgb.data() + 3 * (std::size_t(y) * bitmap.Width() + x);
            const uint32_t pixel = bitmap.Pixel(x, y);
            worst =
                std::max({worst, std::abs(decoded[0] - int((pixel >> 16) & 0xFF)),
                          std::abs(decoded[1] - int((pixel >> 8) & 0xFF)), std::abs(decoded[2] - int(pixel & 0xFF))});
        }
    }
    QVERIFY2(worst <= tolerance, qPrintable(QStringLiteral("largest channel error %1").arg(worst)));
}

void TestThumbnailWriters::jpegQualitySeenByImageMagick_data()
{
    QTest::addColumn<int>("quality");
    QTest::newRow("default") << kDefaultQuality;
    QTest::newRow("lowest") << 1;
    QTest::newRow("low") << 30;
    QTest::newRow("highest") << 100;
}

void TestThumbnailWriters::jpegQualitySeenByImageMagick()
{
    QFETCH(int, quality);
    const QString identify = QStandardPaths::findExecutable(QStringLiteral("identify"));
    if (identify.isEmpty()) QSKIP("ImageMagick's identify is not on PATH; its quality estimate is not checked");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("thumb.jpg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY2(WriteJpeg(GradientBitmap(200, 150), &file, &error, quality), qPrintable(error));
    file.close();

    QProcess process;
    process.start(identify, {QStringLiteral("-format"), QStringLiteral("%m %Q %[interlace]"), path});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), QStringLiteral("JPEG %1 None").arg(quality));
}

// WebP keeps no quality in the file: a lower one shows as fewer bytes and more error.
void TestThumbnailWriters::webpQualityShapesTheFile()
{
    const TBitmap32 bitmap = NoiseBitmap(120, 90, 11);
    QByteArray low;
    QBuffer lowBuffer(&low);
    QVERIFY(lowBuffer.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY2(WriteWebp(bitmap, &lowBuffer, &error, 10), qPrintable(error));
    const QByteArray high = Encode(WriteWebp, bitmap);
    QVERIFY2(low.size() * 2 < high.size(), qPrintable(QStringLiteral("%1 %2").arg(low.size()).arg(high.size())));
}

void TestThumbnailWriters::gifLayout()
{
    // Enough random pixels that the LZW table fills and is cleared at least once.
    const QByteArray gif = Encode(WriteGif, NoiseBitmap(80, 60, 3));
    QVERIFY(gif.size() > kGifCodeSizeOffset + 2);

    QCOMPARE(gif.left(6), QByteArrayLiteral("GIF87a"));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 6), quint16(80));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 8), quint16(60));
    const uchar screenFlags = uchar(gif[10]);
    QCOMPARE(screenFlags & 0x80, 0);   // no global colour table
    QCOMPARE(screenFlags >> 4 & 7, 7); // colour resolution 8 bits

    // No extension (0x21) can sit between the screen and the image: the descriptor is next.
    QCOMPARE(uchar(gif[13]), uchar(0x2C));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 14), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 16), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 18), quint16(80));
    QCOMPARE(qFromLittleEndian<quint16>(gif.constData() + 20), quint16(60));
    QCOMPARE(uchar(gif[22]), uchar(0x87)); // local table of 2^(7+1) entries, not interlaced, unsorted

    for (int i = 0; i < 256; ++i)
        QCOMPARE(GifTableColour(gif, i), i < 216 ? WebColour(i) : 0u);
    QCOMPARE(int(gif[kGifCodeSizeOffset]), 8);

    int pos = kGifCodeSizeOffset + 1;
    while (pos < gif.size() && gif[pos] != 0)
        pos += 1 + uchar(gif[pos]);
    QCOMPARE(pos + 2, gif.size());
    QCOMPARE(uchar(gif[pos + 1]), uchar(0x3B));
}

void TestThumbnailWriters::gifDecodesToWebPalette()
{
    const TBitmap32 bitmap = NoiseBitmap(80, 60, 4);
    const QImage decoded = QImage::fromData(Encode(WriteGif, bitmap), "GIF");
    QCOMPARE(decoded.size(), QSize(80, 60));
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            const uint32_t expected = WebColour(WebPaletteIndex(bitmap.Pixel(x, y)));
            if ((decoded.pixel(x, y) & 0x00FFFFFF) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
        }
    }
}

void TestThumbnailWriters::webPalette_data()
{
    QTest::addColumn<uint>("pixel");
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("shown");

    QTest::newRow("pure-red") << 0xFF0000u << 180 << 0xFF0000u;
    QTest::newRow("mid-grey") << 0x808080u << 86 << 0x666666u;
    QTest::newRow("blue-47-level-0") << 0x00002Fu << 0 << 0x000000u;
    QTest::newRow("blue-48-level-1") << 0x000030u << 1 << 0x000033u;
    QTest::newRow("green-48-level-1") << 0x003000u << 6 << 0x003300u;
    QTest::newRow("red-48-level-1") << 0x300000u << 36 << 0x330000u;
    QTest::newRow("white") << 0xFFFFFFu << 215 << 0xFFFFFFu;
    QTest::newRow("black") << 0x000000u << 0 << 0x000000u;
    QTest::newRow("top-byte-ignored") << 0xFF00FF00u << 30 << 0x00FF00u;
}

void TestThumbnailWriters::webPalette()
{
    QFETCH(uint, pixel);
    QFETCH(int, index);
    QFETCH(uint, shown);

    QCOMPARE(WebPaletteIndex(pixel), index);
    const QByteArray gif = Encode(WriteGif, TBitmap32(1, 1, pixel));
    QCOMPARE(GifTableColour(gif, index), shown);
    const QImage decoded = QImage::fromData(gif, "GIF");
    QCOMPARE(decoded.size(), QSize(1, 1));
    QCOMPARE(decoded.pixel(0, 0) & 0x00FFFFFF, shown);
}

void TestThumbnailWriters::pngLayout()
{
    const QByteArray png = Encode(WritePng, NoiseBitmap(37, 23, 7));
    QCOMPARE(png.left(8), kPngSignature);
    const QByteArrayList chunks = PngChunks(png);
    QCOMPARE(chunks.value(0), QByteArrayLiteral("IHDR"));
    QCOMPARE(chunks.last(), QByteArrayLiteral("IEND"));
    // Nothing else: no palette, no transparency, no colour or text chunks.
    for (qsizetype i = 1; i + 1 < chunks.size(); ++i)
        QCOMPARE(chunks[i], QByteArrayLiteral("IDAT"));
    QCOMPARE(qFromBigEndian<quint32>(png.constData() + 16), quint32(37));
    QCOMPARE(qFromBigEndian<quint32>(png.constData() + 20), quint32(23));
    QCOMPARE(int(png[24]), 8); // bits per channel
    QCOMPARE(int(png[25]), 2); // RGB, no alpha
    QCOMPARE(int(png[28]), 0); // not interlaced
}

void TestThumbnailWriters::pngPixels_data()
{
    QTest::addColumn<TBitmap32>("bitmap");

    // Noise fills bits 24-31 too, which must not reach the file.
    QTest::newRow("noise-37x23") << NoiseBitmap(37, 23, 8);
    QTest::newRow("downscaler-output") << DownscaledGradient();
    QTest::newRow("one-pixel") << TBitmap32(1, 1, 0x00C0FFEE);
}

void TestThumbnailWriters::pngPixels()
{
    QFETCH(TBitmap32, bitmap);

    const QImage decoded = QImage::fromData(Encode(WritePng, bitmap), "PNG");
    QCOMPARE(decoded.size(), QSize(bitmap.Width(), bitmap.Height()));
    QVERIFY(!decoded.hasAlphaChannel());
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            if ((decoded.pixel(x, y) & 0x00FFFFFF) != (bitmap.Pixel(x, y) & 0x00FFFFFF))
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
        }
    }
}

void TestThumbnailWriters::webpLayout()
{
    const TBitmap32 bitmap = DownscaledGradient();
    const QByteArray webp = Encode(WriteWebp, bitmap);
    QVERIFY(webp.size() > 20);
    QCOMPARE(webp.left(4), QByteArrayLiteral("RIFF"));
    QCOMPARE(ReadU32(webp, 4), uint32_t(webp.size() - 8));
    // A plain lossy stream: an alpha channel or extras would need the extended "VP8X" form.
    QCOMPARE(webp.mid(8, 8), QByteArrayLiteral("WEBPVP8 "));
    QCOMPARE(ReadU32(webp, 16), uint32_t(webp.size() - 20));

    // The same bytes libwebp's one-call encoder makes from these colours at quality 90.
    std::vector<uint8_t> bgr;
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            const uint32_t pixel = bitmap.Pixel(x, y);
            bgr.insert(bgr.end(), {uint8_t(pixel), uint8_t(pixel >> 8), uint8_t(pixel >> 16)});
        }
    }
    uint8_t* reference = nullptr;
    const std::size_t size =
        WebPEncodeBGR(bgr.data(), bitmap.Width(), bitmap.Height(), 3 * bitmap.Width(), 90, &reference);
    const QByteArray expected(reinterpret_cast<const char*>(reference), qsizetype(size));
    WebPFree(reference);
    QVERIFY(size > 0);
    QCOMPARE(webp, expected);
}

void TestThumbnailWriters::webpPixels_data()
{
    QTest::addColumn<TBitmap32>("bitmap");
    QTest::addColumn<double>("bound");

    // Measured with libwebp 1.2.4 at quality 90: mean errors of 1.03, 0.76 and 1.17 for red,
    // green and blue on both; quality 75 gives 2.0, 1.2 and 2.7.
    QTest::newRow("smooth-gradient") << GradientBitmap(200, 150) << 1.5;
    QTest::newRow("downscaler-output") << DownscaledGradient() << 1.5;
}

void TestThumbnailWriters::webpPixels()
{
    QFETCH(TBitmap32, bitmap);
    QFETCH(double, bound);

    const QImage lossless = QImage::fromData(Encode(WritePng, bitmap), "PNG");
    const QImage decoded = DecodeWebp(Encode(WriteWebp, bitmap));
    QCOMPARE(decoded.size(), lossless.size());
    const QList<double> errors = MeanChannelErrors(decoded, lossless);
    for (double error : errors) {
        QVERIFY2(error < bound, qPrintable(QStringLiteral("mean errors of red, green, blue: %1 %2 %3")
                                               .arg(errors[0])
                                               .arg(errors[1])
                                               .arg(errors[2])));
    }
}

void TestThumbnailWriters::sizeLimits_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("reason"); // empty: the image is written

    QTest::newRow("webp-widest") << QStringLiteral("webp") << 16383 << 1 << QString();
    QTest::newRow("webp-too-wide") << QStringLiteral("webp") << 16384 << 1 << QStringLiteral("16383");
    QTest::newRow("webp-too-tall") << QStringLiteral("webp") << 1 << 16384 << QStringLiteral("16383");
    QTest::newRow("png-past-webp-limit") << QStringLiteral("png") << 16384 << 1 << QString();
    // libpng's own guard; the refusal comes back through its error handler.
    QTest::newRow("png-past-libpng-limit") << QStringLiteral("png") << 1000001 << 1 << QStringLiteral("PNG encoder");
}

void TestThumbnailWriters::sizeLimits()
{
    QFETCH(QString, writer);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, reason);

    QByteArray data;
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QString error;
    const bool written = WriterNamed(writer)(TBitmap32(width, height, 0x00336699), &buffer, &error, kDefaultQuality);
    if (reason.isEmpty()) {
        QVERIFY2(written, qPrintable(error));
        const QSize size =
            writer == QLatin1String("png") ? QImage::fromData(data, "PNG").size() : DecodeWebp(data).size();
        QCOMPARE(size, QSize(width, height));
    } else {
        QVERIFY(!written);
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
}

void TestThumbnailWriters::emptyBitmap_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<bool>("written");

    QTest::newRow("bmp-headers-only") << QStringLiteral("bmp") << true;
    QTest::newRow("jpg-refused-by-libjpeg") << QStringLiteral("jpg") << false;
    QTest::newRow("gif-refused") << QStringLiteral("gif") << false;
    QTest::newRow("png-refused") << QStringLiteral("png") << false;
    QTest::newRow("webp-refused") << QStringLiteral("webp") << false;
}

void TestThumbnailWriters::emptyBitmap()
{
    QFETCH(QString, writer);
    QFETCH(bool, written);

    QByteArray data;
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QString error;
    QCOMPARE(WriterNamed(writer)(TBitmap32(0, 10), &buffer, &error, kDefaultQuality), written);
    if (written) {
        QCOMPARE(data.size(), 54);
    } else {
        QVERIFY(!error.isEmpty());
        QCOMPARE(data.size(), 0);
    }
}

void TestThumbnailWriters::failingDevice_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<TBitmap32>("bitmap");
    QTest::addColumn<int>("budget"); // negative: that many bytes short of the whole file

    const TBitmap32 small = NoiseBitmap(4, 4, 5);
    const TBitmap32 thumbnail = NoiseBitmap(200, 150, 6);
    QTest::newRow("bmp-header") << QStringLiteral("bmp") << small << 0;
    QTest::newRow("bmp-last-row") << QStringLiteral("bmp") << small << -1;
    QTest::newRow("jpg-only-buffer") << QStringLiteral("jpg") << small << 0;
    QTest::newRow("jpg-mid-stream") << QStringLiteral("jpg") << thumbnail << 5000;
    QTest::newRow("jpg-last-bytes") << QStringLiteral("jpg") << thumbnail << -1;
    QTest::newRow("gif-header") << QStringLiteral("gif") << small << 0;
    QTest::newRow("gif-image-data") << QStringLiteral("gif") << thumbnail << 2000;
    QTest::newRow("gif-trailer") << QStringLiteral("gif") << small << -1;
    QTest::newRow("png-signature") << QStringLiteral("png") << small << 0;
    QTest::newRow("png-image-data") << QStringLiteral("png") << thumbnail << 5000;
    QTest::newRow("png-end-chunk") << QStringLiteral("png") << small << -1;
    QTest::newRow("webp-header") << QStringLiteral("webp") << small << 0;
    QTest::newRow("webp-image-data") << QStringLiteral("webp") << thumbnail << 5000;
    QTest::newRow("webp-last-bytes") << QStringLiteral("webp") << small << -1;
}

void TestThumbnailWriters::failingDevice()
{
    QFETCH(QString, writer);
    QFETCH(TBitmap32, bitmap);
    QFETCH(int, budget);

    const ThumbnailWriter write = WriterNamed(writer);
    if (budget < 0) budget += int(Encode(write, bitmap).size());
    FailingDevice device(budget);
    QString error;
    QVERIFY(!write(bitmap, &device, &error, kDefaultQuality));
    QVERIFY2(error.contains(QLatin1String("disk full")), qPrintable(error));
}

void TestThumbnailWriters::writerForPath_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("writer");

    QTest::newRow("jpg") << QByteArrayLiteral("/shots/0001.jpg") << QStringLiteral("jpg");
    QTest::newRow("gif") << QByteArrayLiteral("shots.v2/0002.gif") << QStringLiteral("gif");
    QTest::newRow("bmp") << QByteArrayLiteral("0003.bmp") << QStringLiteral("bmp");
    QTest::newRow("png") << QByteArrayLiteral("/shots/0007.png") << QStringLiteral("png");
    QTest::newRow("webp") << QByteArrayLiteral("/shots/0008.webp") << QStringLiteral("webp");
    QTest::newRow("doubled-separator") << QByteArrayLiteral("/shots//0004.jpg") << QStringLiteral("jpg");
    QTest::newRow("last-dot-wins") << QByteArrayLiteral("a.bmp.gif") << QStringLiteral("gif");
    QTest::newRow("upper-case") << QByteArrayLiteral("0005.JPG") << QString();
    QTest::newRow("jpeg") << QByteArrayLiteral("0006.jpeg") << QString();
    QTest::newRow("other-after-jpg") << QByteArrayLiteral("x.jpg.tif") << QString();
    QTest::newRow("no-extension") << QByteArrayLiteral("noext") << QString();
    QTest::newRow("dot-only-in-folder") << QByteArrayLiteral("dir.jpg/file") << QString();
    QTest::newRow("trailing-dot") << QByteArrayLiteral("x.jpg.") << QString();
}

void TestThumbnailWriters::writerForPath()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, writer);

    QVERIFY(WriterForPath(path) == WriterNamed(writer));
}

QTEST_MAIN(TestThumbnailWriters)
#include "TestThumbnailWriters.moc"
