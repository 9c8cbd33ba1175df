#include "enhance/clip_points.h"

#include "enhance/prefetch.h"
#include "enhance/wide_loops.h"

#include <array>
#include <cstddef>
#include <cstdint>

#if ENHANCE_HAVE_AVX2_LOOPS
#include <immintrin.h>
#endif

namespace enhance {

namespace {

// The histogram is kept over red + 2 * blue (0..765) and folded into the 256 index bins at the
// end, so the per-pixel work has no division. Neighbouring pixels often share a brightness, and
// an increment waits for the previous one to the same counter; eight interleaved copies keep
// those chains apart.
constexpr int sumLevels = 766;
constexpr std::size_t copies = 8;

using Histogram = std::array<std::int64_t, 256>;

// Hints at the common distance arrive too late for the counting loops; they ask 8 KiB ahead.
constexpr std::size_t countDistance = 8192;

inline void countPrefetch(const std::uint8_t *bytes, std::size_t at, std::size_t size)
{
    if (at + countDistance < size)
        prefetchRead(bytes + at + countDistance);
}

using Counters = std::uint32_t[copies][sumLevels];

// Counts the pixels of whole blocks of 2 * copies into the counters; returns how many it counted.
std::size_t countBlocks(const std::uint8_t *pixels, std::size_t count, Counters &partial)
{
    std::size_t p = 0;
    for (; p + 2 * copies <= count; p += 2 * copies) {
        countPrefetch(pixels, p * 3, count * 3);
        for (std::size_t r = 0; r < 2 * copies; ++r) {
            const std::uint8_t *q = pixels + (p + r) * 3;
            ++partial[r % copies][q[2] + 2 * q[0]];
        }
    }
    return p;
}

#if ENHANCE_HAVE_AVX2_LOOPS
// countBlocks with the sums red + 2 * blue worked out 16 bytes at a time: the counting loop then
// takes one 16-bit sum per pixel instead of loading two bytes. The sum is formed at every byte
// position and the pixel starts, every third position, are the ones counted. Stops where fewer
// than 32 pixels and two bytes remain, since a sum reads two bytes past its position.
ENHANCE_AVX2 std::size_t countBlocksAvx2(
    const std::uint8_t *pixels, std::size_t count, Counters &partial)
{
    constexpr std::size_t blockPixels = 32;
    constexpr std::size_t blockBytes = blockPixels * 3;
    alignas(32) std::uint16_t sums[blockBytes];
    const std::size_t bytes = count * 3;
    std::size_t p = 0;
    for (; (p + blockPixels) * 3 + 2 <= bytes; p += blockPixels) {
        const std::uint8_t *block = pixels + p * 3;
        countPrefetch(pixels, p * 3, bytes);
        countPrefetch(pixels, p * 3 + 64, bytes);
        for (std::size_t k = 0; k < blockBytes; k += 16) {
            const __m256i blue = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + k)));
            const __m256i red = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + k + 2)));
            _mm256_store_si256(reinterpret_cast<__m256i *>(sums + k),
                _mm256_add_epi16(red, _mm256_add_epi16(blue, blue)));
        }
        for (std::size_t q = 0; q < blockPixels; q += copies)
            for (std::size_t c = 0; c < copies; ++c)
                ++partial[c][sums[3 * (q + c)]];
    }
    return p;
}
#endif

void countPixels(const std::uint8_t *pixels, std::size_t count, Histogram &histogram)
{
    // 32-bit counters are flushed into the 64-bit histogram before any can overflow.
    constexpr std::size_t chunkPixels = std::size_t(1) << 30;
    Counters partial;
    while (count > 0) {
        const std::size_t chunk = count < chunkPixels ? count : chunkPixels;
        for (auto &copy : partial)
            for (std::uint32_t &counter : copy)
                counter = 0;
        std::size_t p = 0;
#if ENHANCE_HAVE_AVX2_LOOPS
        if (avx2Enabled())
            p = countBlocksAvx2(pixels, chunk, partial);
#endif
        p += countBlocks(pixels + p * 3, chunk - p, partial);
        for (; p < chunk; ++p)
            ++partial[0][pixels[p * 3 + 2] + 2 * pixels[p * 3]];
        for (int level = 0; level < sumLevels; ++level)
            for (const auto &copy : partial)
                histogram[std::size_t(level / 3)] += copy[level];
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
