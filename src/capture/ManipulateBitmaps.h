#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A top-down array of 32-bit pixels: bits 0-7 blue, 8-15 green, 16-23 red; bits 24-31
// carry no colour. Width or height 0 is an empty bitmap.
class TBitmap32
{
public:
    TBitmap32() = default;
    // A negative size gives an empty bitmap; see TryCreate for sizes that come from the user.
    TBitmap32(int width, int height, uint32_t fill = 0);

    // Allocates only sizes that are not negative and stay within kMaxBytes, so a mistyped
    // size gives a clear refusal instead of a failed or fatal allocation.
    static bool TryCreate(int width, int height, TBitmap32* bitmap);
    static constexpr uint64_t kMaxBytes = uint64_t(1) << 28; // 8192 x 8192

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool IsEmpty() const { return m_width <= 0 || m_height <= 0; }

    uint32_t* Row(int y) { return m_pixels.data() + std::size_t(y) * std::size_t(m_width); }
    const uint32_t* Row(int y) const { return m_pixels.data() + std::size_t(y) * std::size_t(m_width); }
    uint32_t Pixel(int x, int y) const { return Row(y)[x]; }
    void SetPixel(int x, int y, uint32_t value) { Row(y)[x] = value; }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint32_t> m_pixels;
};

// Which source pixels one destination pixel covers along one axis, and how much of the
// first and last of them.
struct TSourceSpan
{
    int32_t first = 0;
    int32_t last = 0;
    double firstWeight = 0.0;
    double lastWeight = 0.0;
};

// Both lengths must be positive; otherwise the span is all zeros.
TSourceSpan ComputeSourceSpan(int32_t destLength, int32_t sourceLength, int32_t index);

// Area-averages `source` into `dest` (which keeps its size): reduces, enlarges or copies.
// Returns false, leaving `dest` untouched, when `dest` has pixels but `source` has none
// to average.
bool ResampleBitmap(const TBitmap32& source, TBitmap32& dest);
