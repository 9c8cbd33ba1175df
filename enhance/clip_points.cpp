#include "enhance/clip_points.h"

#include "enhance/pixel_starts.h"
#include "enhance/prefetch.h"
#include "enhance/wide_loops.h"

#include <array>
#include <cstddef>
#include <cstdint>

#if ENHANCE_HAVE_AVX2_LOOPS
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
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

// Tail counting. With a clip count far below the pixel count, the clip points lie in the
// picture's darkest and brightest few pixels, and the many pixels in between need not be counted
// one by one: a pixel whose red and blue both lie in low..high has its index in low..high as
// well, since the index is their weighted average rounded down. Pixels outside that band are
// counted exactly, so every bin below low and above high holds its true count; when those bins
// alone reach past the clip count at both ends, they fix both clip points. Otherwise the caller
// counts everything.
struct Band {
    int low;
    int high;
};

// Below this many pixels a full count is cheap enough, and a sample of rows too small.
constexpr std::int64_t tailCountingPixels = std::int64_t(1) << 16;

#if defined(__SSE2__)
constexpr int sampleRowStep = 32;

// Picks the band from every sampleRowStep-th row: each end keeps about twice the clip count's
// share of the sample, plus a margin against the sample's chance variation. False when no band
// of 1..254 would leave enough pixels outside.
bool chooseBand(const image::TBitmap &image, std::int64_t clip, std::int64_t total, Band &band)
{
    std::int64_t levels[sumLevels] = {};
    std::int64_t sampled = 0;
    const int first = image.Height() > sampleRowStep / 2 ? sampleRowStep / 2 : 0;
    for (int y = first; y < image.Height(); y += sampleRowStep) {
        const std::uint8_t *row = image.ScanLine(y);
        for (std::size_t i = 0; i < image.rowBytes(); i += 3)
            ++levels[row[i + 2] + 2 * row[i]];
        sampled += image.Width();
    }
    std::int64_t sample[256] = {};
    for (int level = 0; level < sumLevels; ++level)
        sample[level / 3] += levels[level];
    const double wanted = 2.0 * double(clip) * double(sampled) / double(total) + 32.0;
    band.low = 256;
    std::int64_t sum = 0;
    for (int j = 0; j < 256; ++j) {
        sum += sample[j];
        if (double(sum) >= wanted) {
            band.low = j + 1;
            break;
        }
    }
    band.high = -1;
    sum = 0;
    for (int j = 255; j >= 0; --j) {
        sum += sample[j];
        if (double(sum) >= wanted) {
            band.high = j - 1;
            break;
        }
    }
    return band.low <= band.high && band.low >= 1 && band.high <= 254;
}
#endif

using Levels = std::int64_t[sumLevels];

#if defined(__SSE2__)
// Counts into `levels` the pixels of whole 16-pixel blocks whose red or blue lies outside the
// band; returns how many pixels it went through. Windows start at every byte, as in the colour
// cast measuring, and a mask keeps the pixel starts.
std::size_t countTails(const std::uint8_t *pixels, std::size_t count, Band band, Levels &levels)
{
    constexpr std::size_t blockBytes = 48;
    __m128i starts[3];
    loadPixelStartMasks(starts);
    const __m128i low = _mm_set1_epi8(char(band.low));
    const __m128i high = _mm_set1_epi8(char(band.high));
    const __m128i zero = _mm_setzero_si128();

    const std::size_t bytes = count * 3;
    std::size_t i = 0;
    // A window reads two bytes past its start, so the last block must end two bytes early.
    for (; i + blockBytes + 2 <= bytes; i += blockBytes) {
        countPrefetch(pixels, i, bytes);
        const std::uint8_t *block = pixels + i;
        int masks[3];
        for (int c = 0; c < 3; ++c) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * c));
            const __m128i r
                = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * c + 2));
            // Non-zero exactly where min(b, r) < low or max(b, r) > high.
            const __m128i beyond = _mm_or_si128(
                _mm_subs_epu8(low, _mm_min_epu8(b, r)), _mm_subs_epu8(_mm_max_epu8(b, r), high));
            masks[c] = _mm_movemask_epi8(_mm_andnot_si128(_mm_cmpeq_epi8(beyond, zero), starts[c]));
        }
        if ((masks[0] | masks[1] | masks[2]) == 0)
            continue;
        for (int c = 0; c < 3; ++c) {
            for (unsigned mask = unsigned(masks[c]); mask != 0; mask &= mask - 1) {
                const std::uint8_t *pixel = block + 16 * c + unsigned(__builtin_ctz(mask));
                ++levels[pixel[2] + 2 * pixel[0]];
            }
        }
    }
    return i / 3;
}
#endif

#if ENHANCE_HAVE_AVX2_LOOPS && defined(__SSE2__)
// Counts into `levels` the pixels of whole 32-pixel blocks whose red or blue lies outside the
// band; returns how many pixels it went through. Windows start at every byte, as in the colour
// cast measuring, and a mask keeps the pixel starts.
ENHANCE_AVX2 std::size_t countTailsAvx2(
    const std::uint8_t *pixels, std::size_t count, Band band, Levels &levels)
{
    constexpr std::size_t blockBytes = 96;
    alignas(32) std::uint8_t startBytes[blockBytes] = {};
    for (std::size_t k = 0; k < blockBytes; k += 3)
        startBytes[k] = 0xff;
    __m256i starts[3];
    for (int c = 0; c < 3; ++c)
        starts[c] = _mm256_load_si256(reinterpret_cast<const __m256i *>(startBytes + 32 * c));
    const __m256i low = _mm256_set1_epi8(char(band.low));
    const __m256i high = _mm256_set1_epi8(char(band.high));
    const __m256i zero = _mm256_setzero_si256();

    const std::size_t bytes = count * 3;
    std::size_t i = 0;
    // A window reads two bytes past its start, so the last block must end two bytes early.
    for (; i + blockBytes + 2 <= bytes; i += blockBytes) {
        countPrefetch(pixels, i, bytes);
        countPrefetch(pixels, i + 64, bytes);
        const std::uint8_t *block = pixels + i;
        __m256i outside[3];
        for (int c = 0; c < 3; ++c) {
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 32 * c));
            const __m256i r
                = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 32 * c + 2));
            // Non-zero exactly where min(b, r) < low or max(b, r) > high.
            const __m256i beyond = _mm256_or_si256(_mm256_subs_epu8(low, _mm256_min_epu8(b, r)),
                _mm256_subs_epu8(_mm256_max_epu8(b, r), high));
            outside[c] = _mm256_andnot_si256(_mm256_cmpeq_epi8(beyond, zero), starts[c]);
        }
        const __m256i any = _mm256_or_si256(_mm256_or_si256(outside[0], outside[1]), outside[2]);
        if (_mm256_testz_si256(any, any))
            continue;
        for (int c = 0; c < 3; ++c) {
            std::uint32_t mask = std::uint32_t(_mm256_movemask_epi8(outside[c]));
            while (mask != 0) {
                const std::uint8_t *pixel = block + 32 * c + unsigned(__builtin_ctz(mask));
                ++levels[pixel[2] + 2 * pixel[0]];
                mask &= mask - 1;
            }
        }
    }
    return i / 3;
}
#endif

// Finds both clip points from the tails alone (see Band); false when the band was no good and
// everything must be counted.
bool findFromTails(const image::TBitmap &image, std::int64_t clip, std::int64_t total,
    int &lowPoint, int &highPoint)
{
#if defined(__SSE2__)
    Band band {};
    if (!chooseBand(image, clip, total, band))
        return false;
    Levels levels = {};
    const std::uint8_t *pixels = image.Bits();
    const std::size_t count = std::size_t(total);
    const bool wide = avx2Enabled();
    const auto countRun = [&](std::size_t from, std::size_t to) {
#if ENHANCE_HAVE_AVX2_LOOPS
        if (wide)
            return from + countTailsAvx2(pixels + from * 3, to - from, band, levels);
#else
        (void)wide;
#endif
        return from + countTails(pixels + from * 3, to - from, band, levels);
    };
    // Where red or blue strays outside the band in many pixels that lie inside it (strongly
    // coloured pictures), counting them one by one costs more than counting everything; a first
    // eighth of the picture tells.
    std::size_t p = countRun(0, count / 8);
    std::int64_t counted = 0;
    for (std::int64_t counter : levels)
        counted += counter;
    if (counted > std::int64_t(p / 4))
        return false;
    p = countRun(p, count);
    for (; p < count; ++p)
        ++levels[pixels[p * 3 + 2] + 2 * pixels[p * 3]];
    Histogram tails {};
    for (int level = 0; level < sumLevels; ++level)
        tails[std::size_t(level / 3)] += levels[level];

    // Only the bins outside the band are complete; the crossings must lie among them.
    int low = -1, high = -1;
    std::int64_t sum = 0;
    for (int j = 0; j < band.low && low < 0; ++j)
        if ((sum += tails[std::size_t(j)]) > clip)
            low = j;
    sum = 0;
    for (int j = 255; j > band.high && high < 0; --j)
        if ((sum += tails[std::size_t(j)]) > clip)
            high = j;
    if (low < 0 || high < 0)
        return false;
    lowPoint = low;
    highPoint = high;
    return true;
#else
    (void)image, (void)clip, (void)total, (void)lowPoint, (void)highPoint;
    return false;
#endif
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
    const std::int64_t total
        = Image.Empty() ? 0 : std::int64_t(Image.Width()) * std::int64_t(Image.Height());
    const std::int64_t clip = clipCount(total, ClipPercent);
    if (total >= tailCountingPixels && findFromTails(Image, clip, total, LowPoint, HighPoint))
        return;

    Histogram histogram {};
    if (!Image.Empty())
        countPixels(Image.Bits(), std::size_t(total), histogram);

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
