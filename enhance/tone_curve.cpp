#include "enhance/tone_curve.h"

#include "enhance/prefetch.h"
#include "enhance/wide_loops.h"

#include "core/error.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#if ENHANCE_HAVE_AVX2_LOOPS
#include <immintrin.h>
#endif

namespace enhance {

namespace {

// The binomial coefficients are built in 64-bit integers, multiplying before dividing; beyond
// this degree the intermediate product no longer fits.
constexpr int maxDegree = 60;

// Truncation toward zero that stays defined for every double: NaN gives 0, values beyond the
// range of int give its ends.
int truncateToInt(double value)
{
    if (!(value == value))
        return 0;
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(value);
}

// Writes one entry; indices outside the table are skipped. The stored value is kept in 0..255,
// which every level pair from the clip points satisfies anyway; other levels cannot wrap.
void setEntry(ToneTable &table, std::int64_t index, double value)
{
    if (index < 0 || index > 255)
        return;
    table[std::size_t(index)] = std::uint8_t(value <= 0 ? 0 : value >= 255 ? 255 : int(value));
}

// The straight piece from (x0, y0) towards (x, y): entries x0 .. last. The slope is rounded to
// a 32-bit float, and (j - x0) * slope + y0 is exact in double for the index ranges here.
void drawPiece(ToneTable &table, std::int64_t x0, std::int64_t y0, std::int64_t x, std::int64_t y,
    std::int64_t last)
{
    const float slope = float(double(y - y0) / double(x - x0));
    // Only indices inside the table can be written; the rest of the range would be skipped.
    const std::int64_t first = x0 < 0 ? 0 : x0;
    if (last > 255)
        last = 255;
    for (std::int64_t j = first; j <= last; ++j)
        setEntry(table, j, double(j - x0) * double(slope) + double(y0));
}

// The mapping gets through memory faster than hints at the common distance can feed it; one
// hint per 64-byte line, 8 KiB ahead.
constexpr std::size_t mapDistance = 8192;

// Called once per 64 bytes.
inline void mapPrefetch(
    const std::uint8_t *from, std::uint8_t *to, std::size_t at, std::size_t count)
{
    if (at + mapDistance < count) {
        prefetchRead(from + at + mapDistance);
        prefetchWrite(to + at + mapDistance);
    }
}

// Maps bytes through the byte-pair table 16 at a time; returns where it stopped.
std::size_t mapPairs(
    std::uint8_t *to, const std::uint8_t *from, std::size_t count, const std::uint16_t *pairs)
{
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        if (i % 64 == 0)
            mapPrefetch(from, to, i, count);
        std::uint16_t keys[8], values[8];
        std::memcpy(keys, from + i, 16);
        for (int k = 0; k < 8; ++k)
            values[k] = pairs[keys[k]];
        std::memcpy(to + i, values, 16);
    }
    return i;
}

// Entries of the byte-pair table beyond the 65,536 keys: the AVX2 loop reads each entry as the
// low half of a 32-bit word, so the last key reads one entry past the end.
constexpr std::size_t pairPadding = 1;

#if ENHANCE_HAVE_AVX2_LOOPS
// Maps 16 bytes through the byte-pair table with one eight-way gather; the results land in the
// low 8 bytes of each 16-byte half.
ENHANCE_AVX2 inline __m256i mapSixteen(const std::uint8_t *from, const int *table)
{
    const __m256i lowHalves = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1,
        -1, 0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i keys
        = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(from)));
    return _mm256_shuffle_epi8(_mm256_i32gather_epi32(table, keys, 2), lowHalves);
}

// Maps 64 bytes at a time, 16 per gather; returns where it stopped. `pairs` must hold
// 65,536 + pairPadding entries.
ENHANCE_AVX2 std::size_t mapPairsAvx2(
    std::uint8_t *to, const std::uint8_t *from, std::size_t count, const std::uint16_t *pairs)
{
    const int *table = reinterpret_cast<const int *>(pairs);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        mapPrefetch(from, to, i, count);
        for (std::size_t half = 0; half < 64; half += 32) {
            // 64-bit quarters 0 and 2 of each hold the results, in order.
            const __m256i low = _mm256_permute4x64_epi64(mapSixteen(from + i + half, table), 0x08);
            const __m256i high
                = _mm256_permute4x64_epi64(mapSixteen(from + i + half + 16, table), 0x80);
            _mm256_storeu_si256(
                reinterpret_cast<__m256i *>(to + i + half), _mm256_blend_epi32(low, high, 0xf0));
        }
    }
    return i;
}

// Gathers are fast on some processors and several times slower than plain loads on others
// (microcode that mitigates a data leak through them slows them down). A large run therefore
// maps one stretch each way, a multiple of either loop's step, and keeps the faster way for the
// rest; the bytes come out the same either way.
constexpr std::size_t gatherTrialBytes = std::size_t(1) << 17;

std::size_t mapPairsWide(
    std::uint8_t *to, const std::uint8_t *from, std::size_t count, const std::uint16_t *pairs)
{
    std::size_t i = 0;
    bool gathers = true;
    if (count >= 16 * gatherTrialBytes) {
        // The plain loop first: it leaves the table in the caches for the gathers as well.
        const auto start = std::chrono::steady_clock::now();
        i = mapPairs(to, from, gatherTrialBytes, pairs);
        const auto middle = std::chrono::steady_clock::now();
        i += mapPairsAvx2(to + i, from + i, gatherTrialBytes, pairs);
        const auto end = std::chrono::steady_clock::now();
        gathers = end - middle < middle - start;
    }
    if (gathers)
        i += mapPairsAvx2(to + i, from + i, count - i, pairs);
    return i;
}
#endif

#if ENHANCE_HAVE_AVX512_LOOPS
// Maps bytes through the 256-entry table held in four 64-byte registers: two two-register byte
// permutes look up the low 7 bits of each byte in either half of the table, and the top bit
// picks between them. No pair table, no gathers; the run's last bytes go in one short block.
ENHANCE_AVX512_VBMI inline __m512i mapSixtyFour(
    __m512i keys, __m512i first, __m512i second, __m512i third, __m512i fourth)
{
    const __m512i low = _mm512_permutex2var_epi8(first, keys, second);
    const __m512i high = _mm512_permutex2var_epi8(third, keys, fourth);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(keys), low, high);
}

ENHANCE_AVX512_VBMI void mapBytesAvx512(
    std::uint8_t *to, const std::uint8_t *from, std::size_t count, const ToneTable &table)
{
    const __m512i first = _mm512_loadu_si512(table.data());
    const __m512i second = _mm512_loadu_si512(table.data() + 64);
    const __m512i third = _mm512_loadu_si512(table.data() + 128);
    const __m512i fourth = _mm512_loadu_si512(table.data() + 192);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        mapPrefetch(from, to, i, count);
        _mm512_storeu_si512(
            to + i, mapSixtyFour(_mm512_loadu_si512(from + i), first, second, third, fourth));
    }
    if (i < count) {
        const __mmask64 rest = (__mmask64(1) << (count - i)) - 1;
        _mm512_mask_storeu_epi8(to + i, rest,
            mapSixtyFour(_mm512_maskz_loadu_epi8(rest, from + i), first, second, third, fourth));
    }
}
#endif

} // namespace

TRealPoint BezierPoint(int n, const TPoint *Points, double t)
{
    if (n < 0 || n > maxDegree)
        throw core::Error("Bezier curve degree out of range");
    double x[maxDegree + 1];
    double y[maxDegree + 1];
    for (int k = 0; k <= n; ++k) {
        x[k] = double(Points[k].X);
        y[k] = double(Points[k].Y);
    }
    // The order of the multiplications is part of the result: it fixes the rounding.
    std::int64_t c = 1;
    for (int k = 0; k <= n; ++k) {
        x[k] = x[k] * double(c);
        y[k] = y[k] * double(c);
        c = c * (n - k) / (k + 1);
    }
    double p = 1;
    for (int k = 0; k <= n; ++k) {
        x[k] = x[k] * p;
        y[k] = y[k] * p;
        p = p * t;
    }
    double q = 1;
    for (int k = n; k >= 0; --k) {
        x[k] = x[k] * q;
        y[k] = y[k] * q;
        q = (1 - t) * q;
    }
    TRealPoint result;
    result.X = 0;
    result.Y = 0;
    for (int k = 0; k <= n; ++k) {
        result.X = result.X + x[k];
        result.Y = result.Y + y[k];
    }
    return result;
}

TPoint CurvePoint(int i, int n, TPoint P0, TPoint P1, TPoint P2)
{
    // The double nearest to i / n, not i times the double nearest to 1 / n.
    const double t = double(i) / double(n);
    const TPoint points[3] = { P0, P1, P2 };
    const TRealPoint point = BezierPoint(2, points, t);
    TPoint result;
    result.X = truncateToInt(point.X);
    result.Y = truncateToInt(point.Y);
    return result;
}

ToneTable BuildToneTable(int InLow, int InMid, int InHigh, int OutLow, int OutMid, int OutHigh)
{
    // 64-bit levels: the adjustments and differences below cannot overflow for any input.
    std::int64_t inLow = InLow, inMid = InMid;
    const std::int64_t inHigh = InHigh;

    if (inMid == inLow)
        inMid = inLow + 1;
    const float ratio = float(double(inHigh - inMid) / double(inMid - inLow));
    // A curve whose upper half is much shorter than its lower half (or points backwards) gets a
    // lower start, so that it still rises towards the end point.
    if (!(double(ratio) > 0.15)) {
        inLow = inLow + 10;
        if (inLow >= inMid)
            inLow = inMid - 5;
    }

    ToneTable table {};
    for (std::int64_t j = 0; j <= inLow && j <= 255; ++j)
        setEntry(table, j, double(OutLow));

    // The control points hold ints; a level adjusted past the range of int (possible only for
    // inputs at its very ends) is held at the end of the range.
    const auto toInt = [](std::int64_t v) {
        return int(v < std::numeric_limits<int>::min() ? std::numeric_limits<int>::min()
                : v > std::numeric_limits<int>::max()  ? std::numeric_limits<int>::max()
                                                       : v);
    };
    const TPoint p0 { toInt(inLow), OutLow };
    const TPoint p1 { toInt(inMid), OutMid };
    const TPoint p2 { toInt(inHigh), OutHigh };

    std::int64_t x0 = inLow, y0 = OutLow;
    for (int i = 1; i <= 6; ++i) {
        const TPoint point = CurvePoint(i, 6, p0, p1, p2);
        std::int64_t x = point.X;
        const std::int64_t y = point.Y;
        if (x == x0)
            x = x0 + 1;
        drawPiece(table, x0, y0, x, y, x - 1);
        x0 = x;
        y0 = y;
    }

    // The end piece includes its own end point.
    std::int64_t x = inHigh;
    if (x == x0)
        x = x0 + 1;
    drawPiece(table, x0, y0, x, std::int64_t(OutHigh), x);
    const std::int64_t fillFrom = x >= x0 ? x + 1 : x0;
    for (std::int64_t j = fillFrom < 0 ? 0 : fillFrom; j <= 255; ++j)
        table[std::size_t(j)] = 255;
    return table;
}

void ApplyToneCurve(image::TBitmap &Dest, const image::TBitmap &Source, int InLow, int InMid,
    int InHigh, int OutLow, int OutMid, int OutHigh)
{
    if (Source.Width() < Dest.Width() || Source.Height() < Dest.Height())
        throw core::Error("Tone curve needs a source image at least as large as the "
                           "destination image");
    const ToneTable table = BuildToneTable(InLow, InMid, InHigh, OutLow, OutMid, OutHigh);
    if (Dest.Empty())
        return;

    // Dest first: it may share its store with Source, and only Dest's side is detached. Every
    // byte of Dest is written, so unless Dest is Source its old pixels need no copy.
    std::uint8_t *out = &Dest == &Source ? Dest.Bits() : Dest.BitsForOverwrite();
    const std::size_t rowBytes = Dest.rowBytes();
#if ENHANCE_HAVE_AVX512_LOOPS
    if (avx512VbmiEnabled()) {
        if (Source.Width() == Dest.Width()) {
            mapBytesAvx512(out, Source.Bits(), rowBytes * std::size_t(Dest.Height()), table);
        } else {
            for (int y = 0; y < Dest.Height(); ++y)
                mapBytesAvx512(
                    out + std::size_t(y) * rowBytes, Source.ScanLine(y), rowBytes, table);
        }
        return;
    }
#endif
    // Two bytes per lookup: a table over byte pairs halves the lookups. Built through memcpy so
    // that a pair reads and writes the same way on either byte order.
    std::vector<std::uint16_t> pairs(65536 + pairPadding);
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const std::uint8_t in[2] = { std::uint8_t(first), std::uint8_t(second) };
            const std::uint8_t mapped[2]
                = { table[std::size_t(first)], table[std::size_t(second)] };
            std::uint16_t key = 0, value = 0;
            std::memcpy(&key, in, 2);
            std::memcpy(&value, mapped, 2);
            pairs[key] = value;
        }
    }
    const bool wide = avx2Enabled();
    const auto mapRun
        = [&table, &pairs, wide](std::uint8_t *to, const std::uint8_t *from, std::size_t count) {
              std::size_t i = 0;
#if ENHANCE_HAVE_AVX2_LOOPS
              if (wide)
                  i = mapPairsWide(to, from, count, pairs.data());
#else
              (void)wide;
#endif
              i += mapPairs(to + i, from + i, count - i, pairs.data());
              for (; i < count; ++i)
                  to[i] = table[from[i]];
          };
    if (Source.Width() == Dest.Width()) {
        mapRun(out, Source.Bits(), rowBytes * std::size_t(Dest.Height()));
    } else {
        for (int y = 0; y < Dest.Height(); ++y)
            mapRun(out + std::size_t(y) * rowBytes, Source.ScanLine(y), rowBytes);
    }
}

} // namespace enhance
