#include "enhance/smooth_sharpen.h"

#include "enhance/prefetch.h"
#include "enhance/wide_loops.h"

#include "core/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if ENHANCE_HAVE_AVX2_LOOPS
#include <immintrin.h>
#endif

namespace enhance {

namespace {

struct Kernel {
    int corner;
    int edge;
    int centre;
};

constexpr Kernel makeKernel()
{
    const int corner = 7;
    // Truncated from single precision: 7 * 1.5f = 10.5f gives 10.
    const int edge = int(float(corner) * 1.5f);
    return Kernel { corner, edge, 100 - 4 * corner - 4 * edge };
}

struct Sharpening {
    bool on;
    int threshold;
    int amount;
};

// The channel value that ends up in Dest, from the unfiltered value and the weighted sum.
inline int finish(int original, int sum, const Sharpening &sharpening)
{
    const int smoothed = sum / 100;
    if (!sharpening.on)
        return smoothed;
    const int d = original - smoothed;
    if (d < sharpening.threshold && -d < sharpening.threshold)
        return original;
    const int v = original + sharpening.amount * d;
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// One pixel whose left and right neighbours start at byte offsets `left` and `right`: used for
// the first and last column, where a neighbour outside the row is replaced by the pixel itself.
void filterPixel(std::uint8_t *out, const std::uint8_t *up, const std::uint8_t *mid,
    const std::uint8_t *down, std::size_t at, std::size_t left, std::size_t right,
    const Kernel &kernel, const Sharpening &sharpening)
{
    for (std::size_t c = 0; c < 3; ++c) {
        const std::size_t l = left + c, m = at + c, r = right + c;
        const int sum = kernel.corner * (up[l] + up[r] + down[l] + down[r])
            + kernel.edge * (up[m] + down[m] + mid[l] + mid[r]) + kernel.centre * mid[m];
        out[m] = std::uint8_t(finish(mid[m], sum, sharpening));
    }
}

// Bytes per block of the portable loops. A fixed trip count lets the compiler vectorise them
// at -O2; all intermediates fit 16-bit lanes (sums up to 25,500, sharpened values -1020..1275).
constexpr std::ptrdiff_t blockBytes = 32;

// vertical[i] = up[i] + down[i] over a whole row: the four corner taps and two of the edge
// taps of every pixel then come from three reads of this row.
// `nextDown`, when not null, is the row the next call will read as `down`: it is fetched a row
// ahead.
void sumAboveAndBelow(std::uint16_t *vertical, const std::uint8_t *up, const std::uint8_t *down,
    const std::uint8_t *nextDown, std::size_t count)
{
    std::size_t i = 0;
    for (; i + std::size_t(blockBytes) <= count; i += std::size_t(blockBytes)) {
        if (nextDown)
            prefetchRead(nextDown + i);
        // Summed into a local block: stores through `vertical` could alias the rows otherwise.
        std::uint16_t sums[blockBytes];
        for (std::ptrdiff_t k = 0; k < blockBytes; ++k)
            sums[k] = std::uint16_t(up[i + std::size_t(k)] + down[i + std::size_t(k)]);
        std::memcpy(vertical + i, sums, sizeof sums);
    }
    for (; i < count; ++i)
        vertical[i] = std::uint16_t(up[i] + down[i]);
}

// The interior bytes from..to-1 of one row, all of whose neighbours lie inside the row: no
// clamping. The kernel is fixed, so its weights are constants the compiler can fold.
template <bool sharpen>
void filterInterior(std::uint8_t *out, std::uint8_t *nextOut, const std::uint16_t *vertical,
    const std::uint8_t *mid, std::size_t from, std::size_t to, int threshold, int amount)
{
    const std::int16_t limit = std::int16_t(threshold);
    const std::int16_t gain = std::int16_t(amount);
    std::size_t i = from;
    for (; i + std::size_t(blockBytes) <= to; i += std::size_t(blockBytes)) {
        const std::uint16_t *v = vertical + i;
        const std::uint8_t *m = mid + i;
        if (nextOut)
            prefetchWrite(nextOut + i);
        std::uint8_t result[blockBytes];
        for (std::ptrdiff_t k = 0; k < blockBytes; ++k) {
            const std::uint16_t sum = std::uint16_t(
                7 * (v[k - 3] + v[k + 3]) + 10 * (v[k] + m[k - 3] + m[k + 3]) + 32 * m[k]);
            const std::uint16_t smoothed = std::uint16_t(sum / 100);
            if (sharpen) {
                const std::int16_t o = m[k];
                const std::int16_t diff = std::int16_t(o - smoothed);
                const std::int16_t raised = std::int16_t(o + gain * diff);
                const std::int16_t clamped
                    = std::min(std::max(raised, std::int16_t(0)), std::int16_t(255));
                const std::int16_t magnitude = std::max(diff, std::int16_t(-diff));
                result[k] = std::uint8_t(magnitude < limit ? o : clamped);
            } else {
                result[k] = std::uint8_t(smoothed);
            }
        }
        std::memcpy(out + i, result, sizeof result);
    }
    const Sharpening sharpening { sharpen, threshold, amount };
    for (; i < to; ++i) {
        const int sum = 7 * (vertical[i - 3] + vertical[i + 3])
            + 10 * (vertical[i] + mid[i - 3] + mid[i + 3]) + 32 * mid[i];
        out[i] = std::uint8_t(finish(mid[i], sum, sharpening));
    }
}

#if ENHANCE_HAVE_AVX2_LOOPS
// x / 100 for 0 <= x <= 25,500 as (x * 5243) >> 19: the excess of 5243 / 2^19 over 1 / 100,
// times 25,500, stays below the 1 / 100 that separates x / 100 from the next integer.
constexpr int divideBy100Factor = 5243;
constexpr int divideBy100Shift = 19 - 16;

// Checked for every x the filter can produce, at compile time.
constexpr bool divisionIsExact()
{
    for (int x = 0; x <= 25500; ++x)
        if ((x * divideBy100Factor) >> 19 != x / 100)
            return false;
    return true;
}
static_assert(divisionIsExact(), "the multiply-high division must agree with x / 100");

// Pairs of bytes, one from each of `a` and `b`, side by side in 16-bit lanes: the low or high
// eight of each 16-byte half. maddubs then weighs and adds each pair in one step.
ENHANCE_AVX2 inline __m256i pairs(__m256i a, __m256i b, bool high)
{
    return high ? _mm256_unpackhi_epi8(a, b) : _mm256_unpacklo_epi8(a, b);
}

// The filtered bytes of one half of a block, in 16-bit lanes, from the nine taps. `gain` and
// `limit` hold the amount and the threshold in every lane.
template <bool sharpen>
ENHANCE_AVX2 inline __m256i filterLanes(
    const __m256i (&taps)[9], bool high, __m256i gain, __m256i limit)
{
    const __m256i sevens = _mm256_set1_epi8(7);
    const __m256i tens = _mm256_set1_epi8(10);
    // Each product pair is at most 2 * 10 * 255: no saturation.
    const __m256i corners
        = _mm256_add_epi16(_mm256_maddubs_epi16(pairs(taps[0], taps[6], high), sevens),
            _mm256_maddubs_epi16(pairs(taps[2], taps[8], high), sevens));
    const __m256i edges
        = _mm256_add_epi16(_mm256_maddubs_epi16(pairs(taps[1], taps[7], high), tens),
            _mm256_maddubs_epi16(pairs(taps[3], taps[5], high), tens));
    const __m256i centre = pairs(taps[4], _mm256_setzero_si256(), high);
    const __m256i sum
        = _mm256_add_epi16(_mm256_add_epi16(corners, edges), _mm256_slli_epi16(centre, 5));
    const __m256i smoothed = _mm256_srli_epi16(
        _mm256_mulhi_epu16(sum, _mm256_set1_epi16(divideBy100Factor)), divideBy100Shift);
    if (!sharpen)
        return smoothed;
    // Differences -255..255 and pushed values -1020..1275 fit signed lanes; the caller's
    // saturating pack clamps them to 0..255.
    const __m256i diff = _mm256_sub_epi16(centre, smoothed);
    const __m256i push = _mm256_mullo_epi16(diff, gain);
    const __m256i keep = _mm256_cmpgt_epi16(limit, _mm256_abs_epi16(diff));
    return _mm256_add_epi16(centre, _mm256_andnot_si256(keep, push));
}

ENHANCE_AVX2 inline __m256i load(const std::uint8_t *at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
}

// The interior bytes from..to-1 of one row, 32 at a time straight from the three source rows.
// Returns where it stopped; fewer than 32 bytes remain.
template <bool sharpen>
ENHANCE_AVX2 std::size_t filterInteriorAvx2(std::uint8_t *out, std::uint8_t *nextOut,
    const std::uint8_t *up, const std::uint8_t *mid, const std::uint8_t *down,
    const std::uint8_t *nextDown, std::size_t from, std::size_t to, int threshold, int amount)
{
    const __m256i gain = _mm256_set1_epi16(std::int16_t(amount));
    const __m256i limit = _mm256_set1_epi16(std::int16_t(threshold));
    std::size_t i = from;
    for (; i + 32 <= to; i += 32) {
        if (nextDown)
            prefetchRead(nextDown + i);
        if (nextOut)
            prefetchWrite(nextOut + i);
        // Bytes i - 3 .. i + 34 of each row: all inside the row, since to + 3 <= the row's end.
        const __m256i taps[9]
            = { load(up + i - 3), load(up + i), load(up + i + 3), load(mid + i - 3), load(mid + i),
                  load(mid + i + 3), load(down + i - 3), load(down + i), load(down + i + 3) };
        // The unpacking and the pack both work within 16-byte halves, so the bytes come back
        // in order.
        const __m256i low = filterLanes<sharpen>(taps, false, gain, limit);
        const __m256i high = filterLanes<sharpen>(taps, true, gain, limit);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), _mm256_packus_epi16(low, high));
    }
    return i;
}

#if ENHANCE_HAVE_AVX512_LOOPS
// The AVX2 weighing and division on 64-byte registers, lane for lane: the same smoothed values.
ENHANCE_AVX512 inline __m512i pairs512(__m512i a, __m512i b, bool high)
{
    return high ? _mm512_unpackhi_epi8(a, b) : _mm512_unpacklo_epi8(a, b);
}

// The smoothed values of one half of a block, in 16-bit lanes, from the nine taps.
ENHANCE_AVX512 inline __m512i smoothLanes512(const __m512i (&taps)[9], bool high)
{
    const __m512i sevens = _mm512_set1_epi8(7);
    const __m512i tens = _mm512_set1_epi8(10);
    const __m512i corners
        = _mm512_add_epi16(_mm512_maddubs_epi16(pairs512(taps[0], taps[6], high), sevens),
            _mm512_maddubs_epi16(pairs512(taps[2], taps[8], high), sevens));
    const __m512i edges
        = _mm512_add_epi16(_mm512_maddubs_epi16(pairs512(taps[1], taps[7], high), tens),
            _mm512_maddubs_epi16(pairs512(taps[3], taps[5], high), tens));
    const __m512i centre = pairs512(taps[4], _mm512_setzero_si512(), high);
    const __m512i sum
        = _mm512_add_epi16(_mm512_add_epi16(corners, edges), _mm512_slli_epi16(centre, 5));
    return _mm512_srli_epi16(
        _mm512_mulhi_epu16(sum, _mm512_set1_epi16(divideBy100Factor)), divideBy100Shift);
}

// The filtered bytes of one block of 64, in order, from its nine taps. `limit` holds the
// threshold in every byte; `amount` is 1..4.
template <bool sharpen>
ENHANCE_AVX512 inline __m512i filterBlock512(const __m512i (&taps)[9], int amount, __m512i limit)
{
    // The unpacking and the pack both work within 16-byte quarters: the bytes come back in order.
    // The smoothed values are 0..255 already, so the pack saturates nothing.
    const __m512i smoothed
        = _mm512_packus_epi16(smoothLanes512(taps, false), smoothLanes512(taps, true));
    if (!sharpen)
        return smoothed;
    // Sharpening on 64 bytes at once: the difference split into its part above and its part
    // below zero (one of them is zero), each multiplied and applied with unsigned saturation,
    // which is the clamp to 0..255. Saturating at every step stays exact: once a product
    // reaches 255 the sum or difference is clamped at 255 or 0 anyway.
    const __m512i original = taps[4];
    const __m512i above = _mm512_subs_epu8(original, smoothed);
    const __m512i below = _mm512_subs_epu8(smoothed, original);
    // |difference| < threshold keeps the original.
    const __mmask64 push = _mm512_cmpge_epu8_mask(_mm512_or_si512(above, below), limit);
    __m512i up = above, down = below;
    for (int k = 1; k < amount; ++k) {
        up = _mm512_adds_epu8(up, above);
        down = _mm512_adds_epu8(down, below);
    }
    const __m512i raised = _mm512_mask_adds_epu8(original, push, original, up);
    return _mm512_mask_subs_epu8(raised, push, raised, down);
}

ENHANCE_AVX512 inline __m512i load512(const std::uint8_t *at)
{
    return _mm512_loadu_si512(at);
}

// The interior bytes from..to-1 of one row, 64 at a time, and the last few in one short block.
template <bool sharpen>
ENHANCE_AVX512 void filterInteriorAvx512(std::uint8_t *out, std::uint8_t *nextOut,
    const std::uint8_t *up, const std::uint8_t *mid, const std::uint8_t *down,
    const std::uint8_t *nextDown, std::size_t from, std::size_t to, int threshold, int amount)
{
    const __m512i limit = _mm512_set1_epi8(char(threshold));
    std::size_t i = from;
    for (; i + 64 <= to; i += 64) {
        if (nextDown)
            prefetchRead(nextDown + i);
        if (nextOut)
            prefetchWrite(nextOut + i);
        // Bytes i - 3 .. i + 66 of each row: all inside the row, since to + 3 <= the row's end.
        const __m512i taps[9] = { load512(up + i - 3), load512(up + i), load512(up + i + 3),
            load512(mid + i - 3), load512(mid + i), load512(mid + i + 3), load512(down + i - 3),
            load512(down + i), load512(down + i + 3) };
        _mm512_storeu_si512(out + i, filterBlock512<sharpen>(taps, amount, limit));
    }
    if (i < to) {
        // Fewer than 64 left: only their bytes are read from each tap and written, so the block
        // stays inside the row like the others.
        const __mmask64 rest = (__mmask64(1) << (to - i)) - 1;
        const __m512i taps[9] = { _mm512_maskz_loadu_epi8(rest, up + i - 3),
            _mm512_maskz_loadu_epi8(rest, up + i), _mm512_maskz_loadu_epi8(rest, up + i + 3),
            _mm512_maskz_loadu_epi8(rest, mid + i - 3), _mm512_maskz_loadu_epi8(rest, mid + i),
            _mm512_maskz_loadu_epi8(rest, mid + i + 3), _mm512_maskz_loadu_epi8(rest, down + i - 3),
            _mm512_maskz_loadu_epi8(rest, down + i), _mm512_maskz_loadu_epi8(rest, down + i + 3) };
        _mm512_mask_storeu_epi8(out + i, rest, filterBlock512<sharpen>(taps, amount, limit));
    }
}
#endif

// The interior bytes from..to-1 of one row straight from the three source rows, one at a time:
// the few left over after the last whole block.
void filterInteriorTail(std::uint8_t *out, const std::uint8_t *up, const std::uint8_t *mid,
    const std::uint8_t *down, std::size_t from, std::size_t to, const Sharpening &sharpening)
{
    for (std::size_t i = from; i < to; ++i) {
        const int sum = 7 * (up[i - 3] + up[i + 3] + down[i - 3] + down[i + 3])
            + 10 * (up[i] + down[i] + mid[i - 3] + mid[i + 3]) + 32 * mid[i];
        out[i] = std::uint8_t(finish(mid[i], sum, sharpening));
    }
}
#endif

} // namespace

void SmoothSharpen(
    image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen, int Threshold, int Amount)
{
    // The filter reads neighbours of pixels it has already written, so it needs two images;
    // and it writes Dest at Source's size.
    if (&Dest == &Source)
        throw core::Error("Smoothing needs separate source and destination images");
    if (Dest.Width() != Source.Width() || Dest.Height() != Source.Height())
        throw core::Error("Smoothing needs source and destination images of the same size");

    const Sharpening sharpening { Sharpen,
        Threshold < 0        ? 0
            : Threshold > 20 ? 20
                             : Threshold,
        Amount < 1       ? 1
            : Amount > 4 ? 4
                         : Amount };
    constexpr Kernel kernel = makeKernel();
    // The interior loop spells the weights out as constants.
    static_assert(kernel.corner == 7 && kernel.edge == 10 && kernel.centre == 32);

    const int width = Source.Width();
    const int height = Source.Height();
    if (width == 0 || height == 0)
        return;

    // Dest first: should the two share a store, only Dest's side is detached, without copying
    // the pixels that every pass below overwrites.
    std::uint8_t *outBits = Dest.BitsForOverwrite();
    const std::uint8_t *inBits = Source.Bits();
    const std::size_t rowBytes = Source.rowBytes();
    const std::size_t last = rowBytes - 3; // first byte of the last pixel

    // The AVX2 and AVX-512 loops read the three rows directly; only the portable loop needs
    // vertical sums.
    const bool widest = avx512Enabled();
    const bool wide = widest || avx2Enabled();
    std::vector<std::uint16_t> vertical(wide ? 0 : rowBytes);
    std::vector<const std::uint8_t *> rows(std::size_t(height) + 2);
    for (int y = 0; y < height; ++y)
        rows[std::size_t(y) + 1] = inBits + std::size_t(y) * rowBytes;
    // The rows above the first and below the last repeat those rows.
    rows[0] = rows[1];
    rows[std::size_t(height) + 1] = rows[std::size_t(height)];

    for (int y = 0; y < height; ++y) {
        const std::uint8_t *up = rows[std::size_t(y)];
        const std::uint8_t *mid = rows[std::size_t(y) + 1];
        const std::uint8_t *down = rows[std::size_t(y) + 2];
        std::uint8_t *out = outBits + std::size_t(y) * rowBytes;
        // The rows the next row will read and write for the first time, fetched a row ahead.
        const bool more = y + 2 < height;
        const std::uint8_t *nextDown = more ? rows[std::size_t(y) + 3] : nullptr;
        std::uint8_t *nextOut = more ? out + rowBytes : nullptr;

        filterPixel(out, up, mid, down, 0, 0, width > 1 ? 3 : 0, kernel, sharpening);
        if (width > 2 && widest) {
#if ENHANCE_HAVE_AVX512_LOOPS
            if (sharpening.on)
                filterInteriorAvx512<true>(out, nextOut, up, mid, down, nextDown, 3, last,
                    sharpening.threshold, sharpening.amount);
            else
                filterInteriorAvx512<false>(out, nextOut, up, mid, down, nextDown, 3, last, 0, 1);
#endif
        } else if (width > 2 && wide) {
#if ENHANCE_HAVE_AVX2_LOOPS
            const std::size_t done = sharpening.on
                ? filterInteriorAvx2<true>(out, nextOut, up, mid, down, nextDown, 3, last,
                    sharpening.threshold, sharpening.amount)
                : filterInteriorAvx2<false>(out, nextOut, up, mid, down, nextDown, 3, last, 0, 1);
            filterInteriorTail(out, up, mid, down, done, last, sharpening);
#endif
        } else if (width > 2) {
            sumAboveAndBelow(vertical.data(), up, down, nextDown, rowBytes);
            if (sharpening.on)
                filterInterior<true>(out, nextOut, vertical.data(), mid, 3, last,
                    sharpening.threshold, sharpening.amount);
            else
                filterInterior<false>(out, nextOut, vertical.data(), mid, 3, last, 0, 1);
        }
        if (width > 1)
            filterPixel(out, up, mid, down, last, last - 3, last, kernel, sharpening);
    }
}

} // namespace enhance
