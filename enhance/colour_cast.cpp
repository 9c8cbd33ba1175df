#include "enhance/colour_cast.h"

#include "enhance/prefetch.h"

#include "image/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace enhance {

namespace {

// Bytes per block: 16 pixels, three 16-byte vectors. A fixed trip count lets the compiler
// vectorise the shifting loop at -O2, whose cost model refuses loops that would need a scalar
// remainder.
constexpr std::size_t blockBytes = 48;

struct CastSums {
    std::int64_t redGreen = 0;
    std::int64_t redBlue = 0;
    std::int64_t count = 0;
};

#if defined(__SSE2__)
// Measures whole blocks of 16 pixels and returns the number of bytes it measured; the caller
// measures the rest. Every byte position is read as the start of a blue, green, red window and
// a mask keeps the positions that start a pixel, so no bytes need reordering. Red - green sums
// as the sum of red minus the sum of green, and SAD against zero sums bytes into 64 bits.
std::size_t measureBlocks(
    const std::uint8_t *pixels, std::size_t bytes, std::uint8_t limit, CastSums &sums)
{
    // A block is three 16-byte chunks; pixels start where the position is a multiple of 3.
    alignas(16) std::uint8_t startBytes[blockBytes] = {};
    for (std::size_t k = 0; k < blockBytes; k += 3)
        startBytes[k] = 0xff;
    __m128i starts[3];
    for (int c = 0; c < 3; ++c)
        starts[c] = _mm_load_si128(reinterpret_cast<const __m128i *>(startBytes + 16 * c));

    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(1);
    const __m128i limits = _mm_set1_epi8(char(limit));
    __m128i red = zero, green = zero, blue = zero, hits = zero;
    std::size_t i = 0;
    // A window reads two bytes past its start, so the last block must end two bytes early.
    for (; i + blockBytes + 2 <= bytes; i += blockBytes) {
        prefetchAhead(pixels, i, bytes);
        for (int c = 0; c < 3; ++c) {
            const std::uint8_t *chunk = pixels + i + 16 * std::size_t(c);
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chunk));
            const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chunk + 1));
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chunk + 2));
            const __m128i high = _mm_max_epu8(_mm_max_epu8(b, g), r);
            const __m128i low = _mm_min_epu8(_mm_min_epu8(b, g), r);
            const __m128i spread = _mm_sub_epi8(high, low);
            const __m128i near = _mm_cmpeq_epi8(_mm_min_epu8(spread, limits), spread);
            const __m128i mask = _mm_and_si128(near, starts[c]);
            red = _mm_add_epi64(red, _mm_sad_epu8(_mm_and_si128(r, mask), zero));
            green = _mm_add_epi64(green, _mm_sad_epu8(_mm_and_si128(g, mask), zero));
            blue = _mm_add_epi64(blue, _mm_sad_epu8(_mm_and_si128(b, mask), zero));
            hits = _mm_add_epi64(hits, _mm_sad_epu8(_mm_and_si128(mask, ones), zero));
        }
    }
    const auto total = [](__m128i lanes) {
        std::uint64_t halves[2];
        _mm_storeu_si128(reinterpret_cast<__m128i *>(halves), lanes);
        return std::int64_t(halves[0] + halves[1]);
    };
    const std::int64_t redSum = total(red);
    sums.redGreen += redSum - total(green);
    sums.redBlue += redSum - total(blue);
    sums.count += total(hits);
    return i;
}
#else
std::size_t measureBlocks(const std::uint8_t *, std::size_t, std::uint8_t, CastSums &)
{
    return 0;
}
#endif

// Adds the near-grey pixels among `count` consecutive pixels to the sums. A pixel is near-grey
// when its largest channel exceeds its smallest by at most `tolerance`, which is the same as
// every pairwise difference lying within +-tolerance.
void measureRun(const std::uint8_t *pixels, std::size_t count, int tolerance, CastSums &sums)
{
    if (tolerance < 0)
        return; // not even a grey pixel comes within a negative tolerance
    const std::size_t bytes = count * 3;
    std::size_t i
        = measureBlocks(pixels, bytes, std::uint8_t(tolerance > 255 ? 255 : tolerance), sums);
    for (; i < bytes; i += 3) {
        const int b = pixels[i], g = pixels[i + 1], r = pixels[i + 2];
        const int high = std::max(std::max(b, g), r);
        const int low = std::min(std::min(b, g), r);
        if (high - low <= tolerance) {
            sums.redGreen += r - g;
            sums.redBlue += r - b;
            ++sums.count;
        }
    }
}

// Beyond +-255 a shift saturates every channel anyway; clamped, it fits the byte arithmetic.
int limitShift(int shift)
{
    return shift < -255 ? -255 : shift > 255 ? 255 : shift;
}

} // namespace

void RemoveColourCast(image::TBitmap &Dest, const image::TBitmap &Source, int Tolerance)
{
    if (Source.Width() < Dest.Width() || Source.Height() < Dest.Height())
        throw image::Error("Colour cast correction needs a source image at least as large as "
                           "the destination image");
    if (Dest.Empty())
        return;

    const std::size_t width = std::size_t(Dest.Width());
    CastSums sums;
    if (Source.Width() == Dest.Width()) {
        measureRun(Source.Bits(), width * std::size_t(Dest.Height()), Tolerance, sums);
    } else {
        for (int y = 0; y < Dest.Height(); ++y)
            measureRun(Source.ScanLine(y), width, Tolerance, sums);
    }
    // Without a near-grey pixel there is nothing to measure the cast on.
    if (sums.count == 0)
        return;

    // Truncating division; each average lies within +-Tolerance and +-255, so it fits an int.
    const int rg = int(sums.redGreen / sums.count);
    const int rb = int(sums.redBlue / sums.count);

    int redShift = 0, greenShift = 0, blueShift = 0;
    if ((rg >= 0) != (rb >= 0)) {
        // Red lies between green and blue: move those two onto red.
        greenShift = rg;
        blueShift = rb;
    } else if (rg >= rb) {
        // Blue has the highest mean of green and blue: everything meets at blue.
        redShift = -rb;
        greenShift = rg - rb;
    } else {
        redShift = -rg;
        blueShift = rb - rg;
    }
    ShiftChannels(Dest, redShift, greenShift, blueShift);
}

void ShiftChannels(image::TBitmap &Image, int RedShift, int GreenShift, int BlueShift)
{
    // A zero shift leaves every byte as it is; skipping it spares the store a detaching copy.
    if (Image.Empty() || (RedShift == 0 && GreenShift == 0 && BlueShift == 0))
        return;

    // Per byte of a block: clamp into lower..upper first, then add the shift modulo 256. For a
    // rise s that is min(v, 255 - s) + s, for a fall max(v, -s) - (-s): the same as adding and
    // then clamping to 0..255, in byte arithmetic that vectorises.
    std::uint8_t lower[blockBytes], upper[blockBytes], add[blockBytes];
    const int shifts[3] = { limitShift(BlueShift), limitShift(GreenShift), limitShift(RedShift) };
    for (std::size_t k = 0; k < blockBytes; ++k) {
        const int shift = shifts[k % 3];
        lower[k] = std::uint8_t(shift < 0 ? -shift : 0);
        upper[k] = std::uint8_t(shift > 0 ? 255 - shift : 255);
        add[k] = std::uint8_t(shift & 0xff);
    }

    std::uint8_t *bytes = Image.Bits();
    const std::size_t total = Image.rowBytes() * std::size_t(Image.Height());
    std::size_t i = 0;
    for (; i + blockBytes <= total; i += blockBytes) {
        prefetchAhead(bytes, i, total);
        std::uint8_t *block = bytes + i;
        for (std::size_t k = 0; k < blockBytes; ++k) {
            const std::uint8_t v = std::min(std::max(block[k], lower[k]), upper[k]);
            block[k] = std::uint8_t(v + add[k]);
        }
    }
    // The block length is a whole number of pixels, so the tail starts on a blue byte.
    for (std::size_t k = 0; i < total; ++i, ++k) {
        const std::uint8_t v = std::min(std::max(bytes[i], lower[k]), upper[k]);
        bytes[i] = std::uint8_t(v + add[k]);
    }
}

} // namespace enhance
