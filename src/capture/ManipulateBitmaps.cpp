#include "capture/ManipulateBitmaps.h"

#include <algorithm>
#include <cmath>
#include <new>

TBitmap32::TBitmap32(int width, int height, uint32_t fill)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)),
      m_pixels(std::size_t(m_width) * std::size_t(m_height), fill)
{
}

bool TBitmap32::TryCreate(int width, int height, TBitmap32* bitmap)
{
    if (width < 0 || height < 0) return false;
    if (4 * uint64_t(width) * uint64_t(height) > kMaxBytes) return false;
    try {
        *bitmap = TBitmap32(width, height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

TSourceSpan ComputeSourceSpan(int32_t destLength, int32_t sourceLength, int32_t index)
{
    TSourceSpan span;
    if (destLength <= 0 || sourceLength <= 0) return span;

    const double x = (double(index) / destLength) * sourceLength;
    span.first = int32_t(x);
    span.firstWeight = 1.0 - (x - span.first);

    const double y = ((double(index) + 1.0) / destLength) * sourceLength;
    if (y == std::trunc(y)) {
        span.last = int32_t(y) - 1;
        span.lastWeight = 1.0;
    } else {
        span.last = int32_t(y);
        span.lastWeight = y - span.last;
    }

    if (span.first == span.last) {
        span.firstWeight = span.firstWeight - (1.0 - span.lastWeight);
        span.lastWeight = span.firstWeight;
    }
    return span;
}

namespace {

// Rounding can only put an index one pixel outside the source, but a bitmap read must never
// depend on that.
TSourceSpan ClampedSpan(int32_t destLength, int32_t sourceLength, int32_t index)
{
    TSourceSpan span = ComputeSourceSpan(destLength, sourceLength, index);
    span.first = std::clamp(span.first, 0, sourceLength - 1);
    span.last = std::clamp(span.last, span.first, sourceLength - 1);
    return span;
}

double EdgeWeight(const TSourceSpan& span, int32_t i)
{
    if (i == span.first) return span.firstWeight;
    if (i == span.last) return span.lastWeight;
    return 1.0;
}

struct TColumn
{
    int32_t first;
    int32_t count;
    std::size_t weights; // offset into the shared weight list
};

struct TSums
{
    double blue;
    double green;
    double red;
    double weight;
};

uint32_t Average(double sum, double weight)
{
    const double value = std::nearbyint(sum / weight);
    return uint32_t(std::clamp(value, 0.0, 255.0));
}

} // namespace

bool ResampleBitmap(const TBitmap32& source, TBitmap32& dest)
{
    if (dest.IsEmpty()) return true;
    if (source.IsEmpty()) return false;

    const int32_t destWidth = dest.Width();
    const int32_t destHeight = dest.Height();
    const int32_t sourceWidth = source.Width();
    const int32_t sourceHeight = source.Height();

    std::vector<TColumn> columns(static_cast<std::size_t>(destWidth));
    std::vector<double> columnWeights;
    for (int32_t k = 0; k < destWidth; ++k) {
        const TSourceSpan span = ClampedSpan(destWidth, sourceWidth, k);
        columns[k] = {span.first, span.last - span.first + 1, columnWeights.size()};
        for (int32_t t = span.first; t <= span.last; ++t)
            columnWeights.push_back(EdgeWeight(span, t));
    }

    // Source rows run in the outer loop so each is read once, in order, while every
    // destination pixel still adds its terms row by row, column by column.
    std::vector<TSums> sums(static_cast<std::size_t>(destWidth));
    for (int32_t r = 0; r < destHeight; ++r) {
        const TSourceSpan rowSpan = ClampedSpan(destHeight, sourceHeight, r);
        std::fill(sums.begin(), sums.end(), TSums{0.0, 0.0, 0.0, 0.0});

        for (int32_t s = rowSpan.first; s <= rowSpan.last; ++s) {
            const double wy = EdgeWeight(rowSpan, s);
            const uint32_t* sourceRow = source.Row(s);
            for (int32_t k = 0; k < destWidth; ++k) {
                const TColumn& column = columns[k];
                const uint32_t* pixel = sourceRow + column.first;
                const double* wxs = columnWeights.data() + column.weights;
                TSums acc = sums[k];
                for (int32_t i = 0; i < column.count; ++i) {
                    const uint32_t p = pixel[i];
                    const double wx = wxs[i];
                    acc.blue += double(p & 0xFF) * wx * wy;
                    acc.green += double((p >> 8) & 0xFF) * wx * wy;
                    acc.red += double((p >> 16) & 0xFF) * wx * wy;
                    acc.weight += wx * wy;
                }
                sums[k] = acc;
            }
        }

        uint32_t* destRow = dest.Row(r);
        for (int32_t k = 0; k < destWidth; ++k) {
            const TSums& acc = sums[k];
            destRow[k] = Average(acc.red, acc.weight) * 65536 + Average(acc.green, acc.weight) * 256 +
                         Average(acc.blue, acc.weight);
        }
    }
    return true;
}
