#pragma once

#include "image/bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace enhance {

struct TPoint {
    int X = 0;
    int Y = 0;
};

struct TRealPoint {
    double X = 0;
    double Y = 0;
};

using ToneTable = std::array<std::uint8_t, 256>;

// The point of the Bezier curve of degree n with control points Points[0..n] at t, through the
// Bernstein polynomials in a fixed order of evaluation (the order decides the rounding). Throws
// core::Error for a degree outside 0..60, where the binomial coefficients would overflow.
TRealPoint BezierPoint(int n, const TPoint *Points, double t);

// The point at t = i / n on the quadratic Bezier curve P0, P1, P2, coordinates truncated.
TPoint CurvePoint(int i, int n, TPoint P0, TPoint P1, TPoint P2);

// The 256-entry tone table of the curve from (InLow, OutLow) through (InMid, OutMid) to
// (InHigh, OutHigh), sampled at six points and joined by straight pieces. Any levels are safe:
// writes outside the table are skipped and stored values are held to 0..255.
ToneTable BuildToneTable(int InLow, int InMid, int InHigh, int OutLow, int OutMid, int OutHigh);

// Maps every channel of every pixel of Source through the tone table into Dest. Dest's size
// governs; Source must be at least as large (throws core::Error otherwise).
void ApplyToneCurve(image::TBitmap &Dest, const image::TBitmap &Source, int InLow, int InMid,
    int InHigh, int OutLow, int OutMid, int OutHigh);

namespace detail {

// out[i] = table[in[i]] for i < count: the rule, a byte at a time. out may be in.
void mapBytes(const ToneTable &table, const std::uint8_t *in, std::uint8_t *out, std::size_t count);

// Two mapped bytes for every pair of bytes, indexed by the pair as it reads from memory.
using PairTable = std::vector<std::uint16_t>;
PairTable pairTable(const ToneTable &table);

// mapBytes with the vector loop; pairs = pairTable(table).
void mapBytesFast(const ToneTable &table, const PairTable &pairs, const std::uint8_t *in,
    std::uint8_t *out, std::size_t count);

} // namespace detail

} // namespace enhance
