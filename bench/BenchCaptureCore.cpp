// Times the downscaler and the three thumbnail writers on the sizes a batch uses.

#include "capture/ManipulateBitmaps.h"
#include "capture/ThumbnailWriters.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct TTimes
{
    double median;
    double min;
};

template <typename Work> TTimes Measure(int runs, Work work)
{
    std::vector<double> ms;
    ms.reserve(std::size_t(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

// A page-like picture: smooth areas with some noise, so the encoders see realistic data.
TBitmap32 PageBitmap(int width, int height)
{
    std::mt19937 random(42);
    TBitmap32 bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t noise = random() % 16;
            const uint32_t red = (x * 255 / width + noise) & 0xFF;
            const uint32_t green = (y * 255 / height + noise) & 0xFF;
            const uint32_t blue = ((x / 16 + y / 16) % 2 ? 230 : 40) + noise;
            bitmap.SetPixel(x, y, red << 16 | green << 8 | blue);
        }
    }
    return bitmap;
}

bool BenchResample(int sourceWidth, int sourceHeight, int destWidth, int destHeight)
{
    const TBitmap32 source = PageBitmap(sourceWidth, sourceHeight);
    TBitmap32 dest(destWidth, destHeight);
    bool ok = true;
    const TTimes times = Measure(200, [&] { ok = ResampleBitmap(source, dest) && ok; });
    std::printf("resample %dx%d->%dx%d: median %.3f ms, min %.3f ms\n", sourceWidth, sourceHeight, destWidth,
                destHeight, times.median, times.min);
    return ok;
}

bool BenchWriter(const char* name, ThumbnailWriter writer, const TBitmap32& bitmap)
{
    bool ok = true;
    qsizetype bytes = 0;
    QString error;
    const TTimes times = Measure(200, [&] {
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        ok = writer(bitmap, &buffer, &error, kDefaultQuality) && ok;
        bytes = data.size();
    });
    std::printf("write %s %dx%d: median %.3f ms, min %.3f ms, %lld bytes\n", name, bitmap.Width(), bitmap.Height(),
                times.median, times.min, static_cast<long long>(bytes));
    if (!ok) std::printf("  failed: %s\n", error.toLocal8Bit().constData());
    return ok;
}

} // namespace

int main()
{
    bool ok = BenchResample(800, 600, 200, 150);
    ok = BenchResample(1920, 1080, 320, 180) && ok;

    TBitmap32 thumbnail(200, 150);
    ResampleBitmap(PageBitmap(800, 600), thumbnail);
    ok = BenchWriter("bmp", WriteBmp, thumbnail) && ok;
    ok = BenchWriter("jpg", WriteJpeg, thumbnail) && ok;
    ok = BenchWriter("gif", WriteGif, thumbnail) && ok;
    return ok ? 0 : 1;
}
