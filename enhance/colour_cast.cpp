#include "enhance/colour_cast.h"

#include "enhance/pixel_starts.h"
#include "enhance/prefetch.h"
#include "enhance/wide_loops.h"

#include "core/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if ENHANCE_HAVE_AVX2_LOOPS
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace enhance {

namespace {

#if defined(__SSE2__) || ENHANCE_HAVE_AVX2_LOOPS
// Bytes per block of the SSE2 loops: 16 pixels, three 16-byte vectors.
constexpr std::size_t blockBytes = 48;

// These passes get through memory faster than hints at the common distance can feed them:
// asked for 8 KiB ahead, they ran about half again as fast where measured.
constexpr std::size_t castDistance = 8192;

inline void measurePrefetch(const std::uint8_t *bytes, std::size_t at, std::size_t size)
{
    if (at + castDistance < size)
        prefetchRead(bytes + at + castDistance);
}

inline void shiftPrefetch(
    const std::uint8_t *from, std::uint8_t *to, std::size_t at, std::size_t size)
{
    if (at + castDistance < size) {
        prefetchRead(from + at + castDistance);
        prefetchWrite(to + at + castDistance);
    }
}
#endif

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
    __m128i starts[3];
    loadPixelStartMasks(starts);

    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(1);
    const __m128i limits = _mm_set1_epi8(char(limit));
    __m128i red = zero, green = zero, blue = zero, hits = zero;
    std::size_t i = 0;
    // A window reads two bytes past its start, so the last block must end two bytes early.
    for (; i + blockBytes + 2 <= bytes; i += blockBytes) {
        measurePrefetch(pixels, i, bytes);
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

#if ENHANCE_HAVE_AVX2_LOOPS
// Bytes per block of the AVX2 loops: 32 pixels, three 32-byte vectors.
constexpr std::size_t wideBlockBytes = 96;

ENHANCE_AVX2 inline __m256i loadWide(const std::uint8_t *at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
}

ENHANCE_AVX2 inline std::int64_t sumLanes(__m256i lanes)
{
    alignas(32) std::uint64_t quarters[4];
    _mm256_store_si256(reinterpret_cast<__m256i *>(quarters), lanes);
    return std::int64_t(quarters[0] + quarters[1] + quarters[2] + quarters[3]);
}

// measureBlocks on 96-byte blocks, sorted into channels first: each 16-byte half of a vector
// takes one 48-byte run of 16 pixels, and byte shuffles gather its blues, greens and reds, so
// that every lane tests and sums a pixel. The near-grey pixels are counted in byte lanes, each
// gaining at most one per block, and added up before 255 blocks could overflow them.
ENHANCE_AVX2 std::size_t measureBlocksAvx2(
    const std::uint8_t *pixels, std::size_t bytes, std::uint8_t limit, CastSums &sums)
{
    // gather[channel][piece][j]: where pixel j's channel lies in 16-byte piece `piece` of a run,
    // or 0x80 (gives 0) when it lies in another piece.
    alignas(16) std::uint8_t gather[3][3][16];
    for (int c = 0; c < 3; ++c) {
        for (int piece = 0; piece < 3; ++piece) {
            for (int j = 0; j < 16; ++j) {
                const int at = 3 * j + c;
                gather[c][piece][j] = std::uint8_t(at / 16 == piece ? at % 16 : 0x80);
            }
        }
    }
    __m256i shuffles[3][3];
    for (int c = 0; c < 3; ++c)
        for (int piece = 0; piece < 3; ++piece)
            shuffles[c][piece] = _mm256_broadcastsi128_si256(
                _mm_load_si128(reinterpret_cast<const __m128i *>(gather[c][piece])));

    const __m256i zero = _mm256_setzero_si256();
    const __m256i limits = _mm256_set1_epi8(char(limit));
    __m256i red = zero, green = zero, blue = zero, hits = zero;
    std::size_t i = 0;
    while (i + wideBlockBytes <= bytes) {
        __m256i counters = zero;
        for (int n = 0; n < 255 && i + wideBlockBytes <= bytes; ++n, i += wideBlockBytes) {
            measurePrefetch(pixels, i, bytes);
            measurePrefetch(pixels, i + 64, bytes);
            const std::uint8_t *block = pixels + i;
            __m256i pieces[3];
            for (int piece = 0; piece < 3; ++piece)
                pieces[piece] = _mm256_inserti128_si256(
                    _mm256_castsi128_si256(
                        _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * piece))),
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 48 + 16 * piece)), 1);
            __m256i channels[3];
            for (int c = 0; c < 3; ++c)
                channels[c] = _mm256_or_si256(
                    _mm256_or_si256(_mm256_shuffle_epi8(pieces[0], shuffles[c][0]),
                        _mm256_shuffle_epi8(pieces[1], shuffles[c][1])),
                    _mm256_shuffle_epi8(pieces[2], shuffles[c][2]));
            const __m256i b = channels[0], g = channels[1], r = channels[2];
            const __m256i high = _mm256_max_epu8(_mm256_max_epu8(b, g), r);
            const __m256i low = _mm256_min_epu8(_mm256_min_epu8(b, g), r);
            const __m256i spread = _mm256_sub_epi8(high, low);
            const __m256i near = _mm256_cmpeq_epi8(_mm256_min_epu8(spread, limits), spread);
            red = _mm256_add_epi64(red, _mm256_sad_epu8(_mm256_and_si256(r, near), zero));
            green = _mm256_add_epi64(green, _mm256_sad_epu8(_mm256_and_si256(g, near), zero));
            blue = _mm256_add_epi64(blue, _mm256_sad_epu8(_mm256_and_si256(b, near), zero));
            counters = _mm256_sub_epi8(counters, near); // a mask byte is 0 or -1
        }
        hits = _mm256_add_epi64(hits, _mm256_sad_epu8(counters, zero));
    }
    const std::int64_t redSum = sumLanes(red);
    sums.redGreen += redSum - sumLanes(green);
    sums.redBlue += redSum - sumLanes(blue);
    sums.count += sumLanes(hits);
    return i;
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
    const std::uint8_t limit = std::uint8_t(tolerance > 255 ? 255 : tolerance);
    std::size_t i = 0;
#if ENHANCE_HAVE_AVX2_LOOPS
    if (avx2Enabled())
        i = measureBlocksAvx2(pixels, bytes, limit, sums);
#endif
    // Blocks start on pixels, so the narrower blocks take over where the wide ones stopped.
    i += measureBlocks(pixels + i, bytes - i, limit, sums);
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

// Per byte of a block, in the blue, green, red order of the pixels: how far to raise and how far
// to lower it. At most one of the two is non-zero, so raising and then lowering with byte
// saturation is the same as adding the shift and clamping to 0..255.
struct ChannelShifts {
    ChannelShifts(int red, int green, int blue)
    {
        const int shifts[3] = { limitShift(blue), limitShift(green), limitShift(red) };
        for (std::size_t k = 0; k < sizeof rise; ++k) {
            const int shift = shifts[k % 3];
            rise[k] = std::uint8_t(shift > 0 ? shift : 0);
            fall[k] = std::uint8_t(shift < 0 ? -shift : 0);
        }
    }

    bool none() const
    {
        for (std::size_t k = 0; k < 3; ++k)
            if (rise[k] != 0 || fall[k] != 0)
                return false;
        return true;
    }

    // Long enough for a block of either loop; both lengths are whole numbers of pixels.
    alignas(32) std::uint8_t rise[96];
    alignas(32) std::uint8_t fall[96];
};

#if defined(__SSE2__)
// Shifts blocks of `blockBytes` bytes with byte saturation; returns how many bytes it shifted.
// from and to are the same block or do not overlap.
std::size_t shiftBlocks(
    const std::uint8_t *from, std::uint8_t *to, std::size_t total, const ChannelShifts &shifts)
{
    __m128i rise[3], fall[3];
    for (int c = 0; c < 3; ++c) {
        rise[c] = _mm_load_si128(reinterpret_cast<const __m128i *>(shifts.rise + 16 * c));
        fall[c] = _mm_load_si128(reinterpret_cast<const __m128i *>(shifts.fall + 16 * c));
    }
    std::size_t i = 0;
    for (; i + blockBytes <= total; i += blockBytes) {
        shiftPrefetch(from, to, i, total);
        for (int c = 0; c < 3; ++c) {
            const std::size_t at = i + 16 * std::size_t(c);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(to + at),
                _mm_subs_epu8(_mm_adds_epu8(v, rise[c]), fall[c]));
        }
    }
    return i;
}
#else
std::size_t shiftBlocks(const std::uint8_t *, std::uint8_t *, std::size_t, const ChannelShifts &)
{
    return 0;
}
#endif

#if ENHANCE_HAVE_AVX2_LOOPS
ENHANCE_AVX2 std::size_t shiftBlocksAvx2(
    const std::uint8_t *from, std::uint8_t *to, std::size_t total, const ChannelShifts &shifts)
{
    __m256i rise[3], fall[3];
    for (int c = 0; c < 3; ++c) {
        rise[c] = _mm256_load_si256(reinterpret_cast<const __m256i *>(shifts.rise + 32 * c));
        fall[c] = _mm256_load_si256(reinterpret_cast<const __m256i *>(shifts.fall + 32 * c));
    }
    std::size_t i = 0;
    for (; i + wideBlockBytes <= total; i += wideBlockBytes) {
        shiftPrefetch(from, to, i, total);
        shiftPrefetch(from, to, i + 64, total);
        for (int c = 0; c < 3; ++c) {
            const std::size_t at = i + 32 * std::size_t(c);
            const __m256i v
                = _mm256_subs_epu8(_mm256_adds_epu8(loadWide(from + at), rise[c]), fall[c]);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(to + at), v);
        }
    }
    return i;
}
#endif

// Writes the shifted bytes of from[0 .. total-1] to to[]; from is to, or the two do not overlap.
void shiftBytes(
    const std::uint8_t *from, std::uint8_t *to, std::size_t total, const ChannelShifts &shifts)
{
    std::size_t i = 0;
#if ENHANCE_HAVE_AVX2_LOOPS
    if (avx2Enabled())
        i = shiftBlocksAvx2(from, to, total, shifts);
#endif
    // Every block length is a whole number of pixels, so each step starts on a blue byte.
    i += shiftBlocks(from + i, to + i, total - i, shifts);
    // Where no block loop ran (a processor without SSE2) the rest is the whole picture, so the
    // pattern is indexed by channel, never past its end.
    for (std::size_t k = 0; i < total; ++i, k = k == 2 ? 0 : k + 1) {
        const int raised = from[i] + shifts.rise[k];
        const int clipped = raised > 255 ? 255 : raised;
        to[i] = std::uint8_t(clipped > shifts.fall[k] ? clipped - shifts.fall[k] : 0);
    }
}

} // namespace

void RemoveColourCast(image::TBitmap &Dest, const image::TBitmap &Source, int Tolerance)
{
    if (Source.Width() < Dest.Width() || Source.Height() < Dest.Height())
        throw core::Error("Colour cast correction needs a source image at least as large as "
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
    const ChannelShifts shifts(redShift, greenShift, blueShift);
    if (shifts.none())
        return;
    const std::size_t total = Dest.rowBytes() * std::size_t(Dest.Height());
    if (&Dest != &Source && Dest.SharesPixelsWith(Source) && Dest.Width() == Source.Width()
        && Dest.Height() == Source.Height()) {
        // Dest is still a copy of Source: shifting Source's pixels into a store of Dest's own
        // spares the separate copying pass that detaching would make.
        shiftBytes(Source.Bits(), Dest.BitsForOverwrite(), total, shifts);
        return;
    }
    std::uint8_t *bytes = Dest.Bits();
    shiftBytes(bytes, bytes, total, shifts);
}

void ShiftChannels(image::TBitmap &Image, int RedShift, int GreenShift, int BlueShift)
{
    // A zero shift leaves every byte as it is; skipping it spares the store a detaching copy.
    if (Image.Empty() || (RedShift == 0 && GreenShift == 0 && BlueShift == 0))
        return;
    std::uint8_t *bytes = Image.Bits();
    shiftBytes(bytes, bytes, Image.rowBytes() * std::size_t(Image.Height()),
        ChannelShifts(RedShift, GreenShift, BlueShift));
}

} // namespace enhance
