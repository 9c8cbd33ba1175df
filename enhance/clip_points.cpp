#include "enhance/clip_points.h"

#include "enhance/prefetch.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace enhance {

namespace {

// The histogram is kept over red + 2 * blue (0..765) and folded into the 256 index bins at the
// end, so the per-pixel work has no division. Four interleaved copies keep consecutive pixels
// of equal brightness from waiting on each other's counter.
constexpr int sumLevels = 766;
constexpr int copies = 4;

using Histogram = std::array<std::int64_t, 256>;

void countPixels(const std::uint8_t *pixels, std::size_t count, Histogram &histogram)
{
    // 32-bit counters are flushed into the 64-bit histogram before any can overflow.
    constexpr std::size_t chunkPixels = std::size_t(1) << 30;
    std::uint32_t partial[copies][sumLevels];
    while (count > 0) {
        const std::size_t chunk = count < chunkPixels ? count : chunkPixels;
        for (auto &copy : partial)
            for (std::uint32_t &counter : copy)
                counter = 0;
        std::size_t p = 0;
        for (; p + 4 * copies <= chunk; p += 4 * copies) {
            prefetchAhead(pixels, p * 3, chunk * 3);
            for (std::size_t r = 0; r < 4; ++r) {
                const std::uint8_t *q = pixels + (p + r * copies) * 3;
                ++partial[0][q[2] + 2 * q[0]];
                ++partial[1][q[5] + 2 * q[3]];
                ++partial[2][q[8] + 2 * q[6]];
                ++partial[3][q[11] + 2 * q[9]];
            }
        }
        for (; p < chunk; ++p)
            ++partial[0][pixels[p * 3 + 2] + 2 * pixels[p * 3]];
        for (int level = 0; level < sumLevels; ++level)
            histogram[std::size_t(level / 3)] += std::int64_t(partial[0][level]) + partial[1][level]
                + partial[2][level] + partial[3][level];
        pixels += chunk * 3;
        count -= chunk;
    }
}

} // namespace

std::int64_t clipCount(std::int64_t total, float ClipPercent)
{
    const double product = double(total) * double(ClipPercent) * 0.01;
    // Keeps the conversion defined for any percentage; beyond +-total the result is the same.
    if (!(product == product))
        return 0;
    if (product >= double(total) + 1)
        return total + 1;
    if (product <= -1)
        return -1;
    return std::int64_t(product);
}

void FindClipPoints(const image::TBitmap &Image, int &LowPoint, int &HighPoint, float ClipPercent)
{
    Histogram histogram {};
    if (!Image.Empty())
        countPixels(
            Image.Bits(), std::size_t(Image.Width()) * std::size_t(Image.Height()), histogram);

    std::int64_t total = 0;
    for (std::int64_t counter : histogram)
        total += counter;
    const std::int64_t clip = clipCount(total, ClipPercent);

    LowPoint = 256;
    std::int64_t sum = 0;
    for (int j = 0; j < 256; ++j) {
        sum += histogram[std::size_t(j)];
        if (sum > clip) {
            LowPoint = j;
            break;
        }
    }
    HighPoint = -1;
    sum = 0;
    for (int j = 255; j >= 0; --j) {
        sum += histogram[std::size_t(j)];
        if (sum > clip) {
            HighPoint = j;
            break;
        }
    }
}

} // namespace enhance
