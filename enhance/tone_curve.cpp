#include "enhance/tone_curve.h"

#include "enhance/prefetch.h"

#include "image/error.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

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

} // namespace

TRealPoint BezierPoint(int n, const TPoint *Points, double t)
{
    if (n < 0 || n > maxDegree)
        throw image::Error("Bezier curve degree out of range");
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
        throw image::Error("Tone curve needs a source image at least as large as the "
                           "destination image");
    const ToneTable table = BuildToneTable(InLow, InMid, InHigh, OutLow, OutMid, OutHigh);
    if (Dest.Empty())
        return;

    // Dest first: it may share its store with Source, and only Dest's side is detached. Every
    // byte of Dest is written, so unless Dest is Source its old pixels need no copy.
    std::uint8_t *out = &Dest == &Source ? Dest.Bits() : Dest.BitsForOverwrite();
    const std::size_t rowBytes = Dest.rowBytes();
    // Two bytes per lookup: a table over byte pairs halves the lookups. Built through memcpy so
    // that a pair reads and writes the same way on either byte order.
    std::vector<std::uint16_t> pairs(65536);
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
    const auto mapRun
        = [&table, &pairs](std::uint8_t *to, const std::uint8_t *from, std::size_t count) {
              std::size_t i = 0;
              for (; i + 16 <= count; i += 16) {
                  prefetchAhead(from, i, count);
                  prefetchAhead(to, i, count);
                  std::uint16_t keys[8], values[8];
                  std::memcpy(keys, from + i, 16);
                  for (int k = 0; k < 8; ++k)
                      values[k] = pairs[keys[k]];
                  std::memcpy(to + i, values, 16);
              }
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
