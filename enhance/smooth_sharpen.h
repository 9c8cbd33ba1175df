#pragma once

#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>

namespace enhance {

// Smooths Source with the 3x3 kernel 7 10 7 / 10 32 10 / 7 10 7 (sum 100, borders repeat the
// edge pixels) into Dest and, when Sharpen, pushes each channel away from its smoothed value by
// Amount (clamped 1..4) where they differ by at least Threshold (clamped 0..20).
// Throws core::Error when Dest and Source are the same image or differ in size.
void SmoothSharpen(
    image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen, int Threshold, int Amount);

namespace detail {

// A pixel's bytes, so its neighbours to the left and right lie this far either side.
constexpr std::size_t pixelBytes = 3;
// The kernel's weights. The edge weight is the corner weight times 1.5 in single precision,
// truncated (10.5 gives 10); the centre takes what is left of the divisor.
constexpr int cornerWeight = 7;
constexpr int edgeWeight = int(float(cornerWeight) * 1.5f);
constexpr int weightSum = 100;
constexpr int centreWeight = weightSum - 4 * cornerWeight - 4 * edgeWeight;
constexpr int maxThreshold = 20;
constexpr int minAmount = 1;
constexpr int maxAmount = 4;
// The largest weighted sum: 16-bit lanes hold it.
constexpr int maxSum = 255 * weightSum;

// The settings clamped into the ranges above.
struct Sharpening {
    bool on;
    int threshold;
    int amount;
};
Sharpening clampedSharpening(bool Sharpen, int Threshold, int Amount);

// Filters `rows` rows of rowBytes bytes: out[k] from the source rows in[k], in[k + 1] and
// in[k + 2], the middle one being its own; `in` holds rows + 2 rows, whose first and last repeat
// the picture's edge rows where there is nothing beyond. No out row may be an in row. The vector
// loop takes the row interiors; the plain rule the rest, or everything without vectorLoop.
void smoothSharpenRows(std::uint8_t *const *out, const std::uint8_t *const *in,
    std::size_t rowBytes, std::size_t rows, const Sharpening &sharpening, bool vectorLoop = true);

// SmoothSharpen through the plain rule alone, without the vector loop: what SmoothSharpen must
// produce on every processor.
void smoothSharpenPlain(
    image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen, int Threshold, int Amount);

// The vector loop over bytes from..to-1 of the rows of smoothSharpenRows (from >= 3,
// to + 4 <= their length), threshold and amount already clamped. Returns where it stopped in
// every row: the bytes from there to `to` are left to the caller.
std::size_t filterInteriors(std::uint8_t *const *out, const std::uint8_t *const *in,
    std::size_t rows, std::size_t from, std::size_t to, bool sharpen, int threshold, int amount);

} // namespace detail

} // namespace enhance
