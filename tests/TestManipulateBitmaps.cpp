#include "capture/ManipulateBitmaps.h"

#include <QTest>

#include <cmath>
#include <initializer_list>
#include <random>

Q_DECLARE_METATYPE(TBitmap32)

namespace {

TBitmap32 MakeBitmap(int width, int height, std::initializer_list<uint32_t> pixels)
{
    TBitmap32 bitmap(width, height);
    auto it = pixels.begin();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            bitmap.SetPixel(x, y, *it++);
    }
    return bitmap;
}

TBitmap32 RandomBitmap(int width, int height, std::mt19937& random)
{
    TBitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            bitmap.SetPixel(x, y, uint32_t(random()));
    }
    return bitmap;
}

uint32_t Channel(uint32_t pixel, int shift)
{
    return (pixel >> shift) & 0xFF;
}

// The averaging rule written out pixel by pixel, the way it reads on paper.
TBitmap32 ReferenceResample(const TBitmap32& source, int destWidth, int destHeight)
{
    TBitmap32 dest(destWidth, destHeight);
    for (int r = 0; r < destHeight; ++r) {
        const TSourceSpan rows = ComputeSourceSpan(destHeight, source.Height(), r);
        for (int k = 0; k < destWidth; ++k) {
            const TSourceSpan cols = ComputeSourceSpan(destWidth, source.Width(), k);
            double blue = 0, green = 0, red = 0, weight = 0;
            for (int s = rows.first; s <= rows.last; ++s) {
                const double wy = s == rows.first ? rows.firstWeight : s == rows.last ? rows.lastWeight : 1.0;
                for (int t = cols.first; t <= cols.last; ++t) {
                    const double wx = t == cols.first ? cols.firstWeight : t == cols.last ? cols.lastWeight : 1.0;
                    const uint32_t p = source.Pixel(t, s);
                    blue += Channel(p, 0) * wx * wy;
                    green += Channel(p, 8) * wx * wy;
                    red += Channel(p, 16) * wx * wy;
                    weight += wx * wy;
                }
            }
            const auto average = [weight](double sum) { return uint32_t(std::nearbyint(sum / weight)); };
            dest.SetPixel(k, r, average(red) * 65536 + average(green) * 256 + average(blue));
        }
    }
    return dest;
}

} // namespace

class TestManipulateBitmaps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void computeSourceSpan_data();
    void computeSourceSpan();
    void resample_data();
    void resample();
    void resampleMatchesReference_data();
    void resampleMatchesReference();
    void emptySourceIsRefused();
    void emptyDestinationIsANoOp();
    void tryCreate_data();
    void tryCreate();
};

void TestManipulateBitmaps::computeSourceSpan_data()
{
    QTest::addColumn<int>("destLength");
    QTest::addColumn<int>("sourceLength");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<double>("firstWeight");
    QTest::addColumn<double>("lastWeight");

    QTest::newRow("five-to-two-first") << 2 << 5 << 0 << 0 << 2 << 1.0 << 0.5;
    QTest::newRow("five-to-two-second") << 2 << 5 << 1 << 2 << 4 << 0.5 << 1.0;
    QTest::newRow("four-to-one-block") << 4 << 16 << 1 << 4 << 7 << 1.0 << 1.0;
    QTest::newRow("same-size") << 5 << 5 << 3 << 3 << 3 << 1.0 << 1.0;
    QTest::newRow("one-to-two-first") << 2 << 1 << 0 << 0 << 0 << 0.5 << 0.5;
    QTest::newRow("one-to-two-second") << 2 << 1 << 1 << 0 << 0 << 0.5 << 0.5;
    QTest::newRow("inside-one-pixel") << 4 << 3 << 0 << 0 << 0 << 0.75 << 0.75;
    QTest::newRow("across-a-border") << 4 << 3 << 1 << 0 << 1 << 0.25 << 0.5;
    // 1/49 rounds down, so its product with 49 falls just short of 1 and is not whole.
    QTest::newRow("division-first-short-end") << 49 << 49 << 0 << 0 << 0 << 1.0 - 0x1p-53 << 1.0 - 0x1p-53;
    // 7/200 rounds up: the default 800-pixel page's column 28 is not quite covered whole.
    QTest::newRow("division-first-late-start") << 200 << 800 << 7 << 28 << 31 << 1.0 - 0x1p-48 << 1.0;
}

void TestManipulateBitmaps::computeSourceSpan()
{
    QFETCH(int, destLength);
    QFETCH(int, sourceLength);
    QFETCH(int, index);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(double, firstWeight);
    QFETCH(double, lastWeight);

    const TSourceSpan span = ComputeSourceSpan(destLength, sourceLength, index);
    QCOMPARE(span.first, first);
    QCOMPARE(span.last, last);
    // Exact: QCOMPARE on doubles would forgive the last-bit differences these rows are about.
    QVERIFY2(span.firstWeight == firstWeight, qPrintable(QString::number(span.firstWeight, 'g', 17)));
    QVERIFY2(span.lastWeight == lastWeight, qPrintable(QString::number(span.lastWeight, 'g', 17)));
}

void TestManipulateBitmaps::resample_data()
{
    QTest::addColumn<TBitmap32>("source");
    QTest::addColumn<TBitmap32>("expected");

    {
        // Expected from integer sums. Block sums with remainder 8 (an exact half) are
        // nudged away: spans such as column 7's start a hair past pixel 28, which may tip a
        // half either way.
        std::mt19937 random(800600);
        TBitmap32 source = RandomBitmap(800, 600, random);
        TBitmap32 expected(200, 150);
        for (int r = 0; r < 150; ++r) {
            for (int k = 0; k < 200; ++k) {
                uint32_t result = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    uint32_t sum = 0;
                    for (int s = 4 * r; s < 4 * r + 4; ++s) {
                        for (int t = 4 * k; t < 4 * k + 4; ++t)
                            sum += Channel(source.Pixel(t, s), shift);
                    }
                    if (sum % 16 == 8) {
                        const uint32_t corner = source.Pixel(4 * k, 4 * r);
                        const int32_t step = Channel(corner, shift) == 255 ? -1 : 1;
                        source.SetPixel(4 * k, 4 * r, uint32_t(int64_t(corner) + step * (int64_t(1) << shift)));
                        sum = uint32_t(int32_t(sum) + step);
                    }
                    result |= ((sum + 8) / 16) << shift;
                }
                expected.SetPixel(k, r, result);
            }
        }
        QTest::newRow("800x600-to-200x150-block-averages") << source << expected;
    }
    QTest::newRow("five-to-two") << MakeBitmap(5, 1, {10, 20, 30, 40, 50}) << MakeBitmap(2, 1, {18, 42});
    QTest::newRow("halves-to-even-down") << MakeBitmap(2, 1, {10, 11}) << MakeBitmap(1, 1, {10});
    QTest::newRow("halves-to-even-up") << MakeBitmap(2, 1, {11, 12}) << MakeBitmap(1, 1, {12});
    QTest::newRow("halves-to-even-per-channel")
        << MakeBitmap(1, 2, {0x0A0B0C, 0x0B0C0D}) << MakeBitmap(1, 1, {0x0A0C0C});
    QTest::newRow("same-size-copy") << MakeBitmap(2, 2, {0xFF123456, 0x80FEDCBA, 0x01000000, 0x7F00FF00})
                                    << MakeBitmap(2, 2, {0x123456, 0xFEDCBA, 0x000000, 0x00FF00});
    QTest::newRow("one-to-two") << MakeBitmap(1, 1, {0x123456}) << MakeBitmap(2, 1, {0x123456, 0x123456});
    QTest::newRow("one-to-two-by-two") << MakeBitmap(1, 1, {0xC0FFEE})
                                       << MakeBitmap(2, 2, {0xC0FFEE, 0xC0FFEE, 0xC0FFEE, 0xC0FFEE});
    QTest::newRow("zero-ninety-to-three") << MakeBitmap(2, 1, {0, 90}) << MakeBitmap(3, 1, {0, 45, 90});
    // Read as signed bytes, 0xFF would count as -1 and the average would come out near 0.
    QTest::newRow("top-byte-and-channels-unsigned")
        << MakeBitmap(2, 1, {0xFFFFFFFF, 0xFF000000}) << MakeBitmap(1, 1, {0x808080});
}

void TestManipulateBitmaps::resample()
{
    QFETCH(TBitmap32, source);
    QFETCH(TBitmap32, expected);

    TBitmap32 dest(expected.Width(), expected.Height(), 0xDEADBEEF);
    QVERIFY(ResampleBitmap(source, dest));
    QCOMPARE(dest.Width(), expected.Width());
    QCOMPARE(dest.Height(), expected.Height());
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            if (dest.Pixel(x, y) != expected.Pixel(x, y)) {
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2): got %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(dest.Pixel(x, y), 8, 16, QLatin1Char('0'))
                                     .arg(expected.Pixel(x, y), 8, 16, QLatin1Char('0'))));
            }
        }
    }
}

void TestManipulateBitmaps::resampleMatchesReference_data()
{
    QTest::addColumn<int>("sourceWidth");
    QTest::addColumn<int>("sourceHeight");
    QTest::addColumn<int>("destWidth");
    QTest::addColumn<int>("destHeight");

    QTest::newRow("default-page") << 800 << 600 << 200 << 150;
    QTest::newRow("odd-reduction") << 641 << 479 << 199 << 151;
    QTest::newRow("wide-to-tall") << 97 << 13 << 6 << 40;
    QTest::newRow("enlarge") << 5 << 3 << 13 << 9;
    QTest::newRow("same-size") << 17 << 11 << 17 << 11;
    QTest::newRow("one-column") << 1 << 29 << 4 << 3;
    QTest::newRow("to-one-pixel") << 23 << 19 << 1 << 1;
}

void TestManipulateBitmaps::resampleMatchesReference()
{
    QFETCH(int, sourceWidth);
    QFETCH(int, sourceHeight);
    QFETCH(int, destWidth);
    QFETCH(int, destHeight);

    std::mt19937 random(uint32_t(sourceWidth * 7919 + destWidth));
    const TBitmap32 source = RandomBitmap(sourceWidth, sourceHeight, random);
    const TBitmap32 expected = ReferenceResample(source, destWidth, destHeight);
    TBitmap32 dest(destWidth, destHeight);
    QVERIFY(ResampleBitmap(source, dest));
    for (int y = 0; y < destHeight; ++y) {
        for (int x = 0; x < destWidth; ++x) {
            if (dest.Pixel(x, y) != expected.Pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) differs").arg(x).arg(y)));
        }
    }
}

void TestManipulateBitmaps::emptySourceIsRefused()
{
    for (const TBitmap32& source : {TBitmap32(0, 5), TBitmap32(5, 0), TBitmap32()}) {
        TBitmap32 dest(2, 2, 0x00ABCDEF);
        QVERIFY(!ResampleBitmap(source, dest));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 2; ++x)
                QCOMPARE(dest.Pixel(x, y), uint32_t(0x00ABCDEF));
        }
    }
}

void TestManipulateBitmaps::emptyDestinationIsANoOp()
{
    const TBitmap32 source(3, 3, 0x123456);
    for (const TBitmap32& empty : {TBitmap32(0, 4), TBitmap32(4, 0)}) {
        TBitmap32 dest = empty;
        QVERIFY(ResampleBitmap(source, dest));
        QCOMPARE(dest.Width(), empty.Width());
        QCOMPARE(dest.Height(), empty.Height());
    }
    TBitmap32 dest(0, 0);
    QVERIFY(ResampleBitmap(TBitmap32(), dest));
}

void TestManipulateBitmaps::tryCreate_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("created");

    QTest::newRow("thumbnail") << 200 << 150 << true;
    QTest::newRow("empty") << 0 << 7 << true;
    QTest::newRow("negative-width") << -1 << 10 << false;
    QTest::newRow("negative-height") << 10 << -200 << false;
    QTest::newRow("ten-gigapixels") << 100000 << 100000 << false;
    QTest::newRow("at-limit") << 8192 << 8192 << true;
    QTest::newRow("one-row-past-limit") << 8192 << 8193 << false;
    QTest::newRow("int-overflow-if-32-bit") << 65536 << 65536 << false;
}

void TestManipulateBitmaps::tryCreate()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, created);

    TBitmap32 bitmap(3, 2, 0x42);
    QCOMPARE(TBitmap32::TryCreate(width, height, &bitmap), created);
    if (created) {
        QCOMPARE(bitmap.Width(), width);
        QCOMPARE(bitmap.Height(), height);
        if (!bitmap.IsEmpty()) QCOMPARE(bitmap.Pixel(width - 1, height - 1), uint32_t(0));
    } else {
        QCOMPARE(bitmap.Width(), 3);
        QCOMPARE(bitmap.Height(), 2);
        QCOMPARE(bitmap.Pixel(2, 1), uint32_t(0x42));
    }
}

QTEST_APPLESS_MAIN(TestManipulateBitmaps)
#include "TestManipulateBitmaps.moc"
