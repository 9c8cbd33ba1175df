#include "enhance/tone_curve.h"

#include "core/error.h"

#include <cstring>
#include <limits>

namespace enhance {

namespace {

// The binomial coefficients are built in 64-bit integers, multiplying before dividing; beyond
// this degree the intermediate product no longer fits.
constexpr int maxDegree = 60;

// Truncation toward zero that stays defined for every double: NaN gives 0, values beyond the
// range of int give its ends.
int truncateToInt(double value)
{
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (!(value == value))
        return 0;
    return value <= lowest ? int(lowest) : value >= highest ? int(highest) : int(value);
}

// The straight piece from (x0, y0) towards (x, y): entries x0 .. last, those inside the table.
// The slope is rounded to a 32-bit float, and (j - x0) * slope + y0 is exact in double for the
// index ranges here. Stored values are held to 0..255, which every level pair from the clip
// points satisfies anyway; other levels cannot wrap.
void drawPiece(ToneTable &table, std::int64_t x0, std::int64_t y0, std::int64_t x, std::int64_t y,
    std::int64_t last)
{
    const float slope = float(double(y - y0) / double(x - x0));
    for (std::int64_t j = x0 < 0 ? 0 : x0; j <= last && j <= 255; ++j) {
        const double value = double(j - x0) * double(slope) + double(y0);
        table[std::size_t(j)] = std::uint8_t(value <= 0 ? 0 : value >= 255 ? 255 : int(value));
    }
}

} // namespace

TRealPoint BezierPoint(int n, const TPoint *Points, double t)
{
    if (n < 0 || n > maxDegree)
        throw core::Error("Bezier curve degree out of range");
    // Each term is ((point * binomial) * t^k) * (1 - t)^(n - k), multiplied in that order, the
    // powers built up one factor at a time and the terms added from k = 0: this fixes the rounding.
    double q[maxDegree + 1];
    q[n] = 1;
    for (int k = n; k > 0; --k)
        q[k - 1] = (1 - t) * q[k];
    TRealPoint result;
    std::int64_t c = 1;
    double p = 1;
    for (int k = 0; k <= n; ++k) {
        result.X = result.X + double(Points[k].X) * double(c) * p * q[k];
        result.Y = result.Y + double(Points[k].Y) * double(c) * p * q[k];
        c = c * (n - k) / (k + 1);
        p = p * t;
    }
    return result;
}

TPoint CurvePoint(int i, int n, TPoint P0, TPoint P1, TPoint P2)
{
    const TPoint points[3] = { P0, P1, P2 };
    // The double nearest to i / n, not i times the double nearest to 1 / n.
    const TRealPoint point = BezierPoint(2, points, double(i) / double(n));
    return TPoint { truncateToInt(point.X), truncateToInt(point.Y) };
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
    drawPiece(table, 0, OutLow, 1, OutLow, inLow);

    // The control points hold ints; a level adjusted past the range of int (possible only for
    // inputs at its very ends) is held at the end of the range.
    const TPoint p0 { truncateToInt(double(inLow)), OutLow };
    const TPoint p1 { truncateToInt(double(inMid)), OutMid };
    const TPoint p2 { truncateToInt(double(inHigh)), OutHigh };

    std::int64_t x0 = inLow, y0 = OutLow;
    for (int i = 1; i <= 6; ++i) {
        const TPoint point = CurvePoint(i, 6, p0, p1, p2);
        const std::int64_t x = point.X == x0 ? x0 + 1 : point.X;
        drawPiece(table, x0, y0, x, point.Y, x - 1);
        x0 = x;
        y0 = point.Y;
    }

    // The end piece includes its own end point; white follows it.
    const std::int64_t x = inHigh == x0 ? x0 + 1 : inHigh;
    drawPiece(table, x0, y0, x, OutHigh, x);
    const std::int64_t white = x >= x0 ? x + 1 : x0;
    drawPiece(table, white, 255, white + 1, 255, 255);
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
    const detail::PairTable pairs = detail::pairTable(table);
    // Rows of the same width follow each other without a gap: one run reads ahead across them.
    const int runs = Source.Width() == Dest.Width() ? 1 : Dest.Height();
    const std::size_t runBytes = rowBytes * std::size_t(Dest.Height() / runs);
    for (int y = 0; y < runs; ++y)
        detail::mapBytesFast(
            table, pairs, Source.ScanLine(y), out + std::size_t(y) * runBytes, runBytes);
}

namespace detail {

void mapBytes(const ToneTable &table, const std::uint8_t *in, std::uint8_t *out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        out[i] = table[in[i]];
}

PairTable pairTable(const ToneTable &table)
{
    // Through memcpy, so that a pair reads and writes the same way on either byte order.
    PairTable pairs(65536);
    for (std::size_t key = 0; key < pairs.size(); ++key) {
        std::uint8_t bytes[2];
        const std::uint16_t in = std::uint16_t(key);
        std::memcpy(bytes, &in, 2);
        const std::uint8_t mapped[2] = { table[bytes[0]], table[bytes[1]] };
        std::memcpy(&pairs[key], mapped, 2);
    }
    return pairs;
}

} // namespace detail

} // namespace enhance
