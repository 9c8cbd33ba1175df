#include "enhance/smooth_sharpen.h"

#include "core/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace enhance {

using namespace detail;

namespace {

// The value a channel ends with, from its unfiltered value and its weighted neighbourhood sum.
int filtered(int original, int sum, const Sharpening &sharpening)
{
    const int smoothed = sum / weightSum; // sums are never negative: truncation rounds down
    if (!sharpening.on)
        return smoothed;
    const int difference = original - smoothed;
    if (std::abs(difference) < sharpening.threshold)
        return original;
    return std::clamp(original + sharpening.amount * difference, 0, 255);
}

// Bytes from..to-1 of one row; a neighbour beyond either end of the row is the pixel itself.
void filterRow(std::uint8_t *out, const std::uint8_t *up, const std::uint8_t *mid,
    const std::uint8_t *down, std::size_t rowBytes, std::size_t from, std::size_t to,
    const Sharpening &sharpening)
{
    for (std::size_t i = from; i < to; ++i) {
        const std::size_t l = i >= pixelBytes ? i - pixelBytes : i;
        const std::size_t r = i + pixelBytes < rowBytes ? i + pixelBytes : i;
        const int sum = cornerWeight * (up[l] + up[r] + down[l] + down[r])
            + edgeWeight * (up[i] + down[i] + mid[l] + mid[r]) + centreWeight * mid[i];
        out[i] = std::uint8_t(filtered(mid[i], sum, sharpening));
    }
}

void filterPicture(image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen, int Threshold,
    int Amount, bool vectorLoop)
{
    // The filter reads neighbours of pixels it has already written, so it needs two images;
    // and it writes Dest at Source's size.
    if (&Dest == &Source)
        throw core::Error("Smoothing needs separate source and destination images");
    if (Dest.Width() != Source.Width() || Dest.Height() != Source.Height())
        throw core::Error("Smoothing needs source and destination images of the same size");
    const Sharpening sharpening = clampedSharpening(Sharpen, Threshold, Amount);
    if (Source.Empty())
        return;

    // Dest first: should the two share a store, only Dest's side is detached, without copying
    // the pixels that every row below overwrites.
    std::uint8_t *outBits = Dest.BitsForOverwrite();
    const std::uint8_t *inBits = Source.Bits();
    const std::size_t rowBytes = Source.rowBytes();
    const std::size_t rows = std::size_t(Source.Height());
    // The source row table, with the rows above the first and below the last repeating those.
    std::vector<const std::uint8_t *> in(rows + 2);
    std::vector<std::uint8_t *> out(rows);
    for (std::size_t y = 0; y < rows; ++y) {
        in[y + 1] = inBits + y * rowBytes;
        out[y] = outBits + y * rowBytes;
    }
    in.front() = in[1];
    in.back() = in[rows];
    smoothSharpenRows(out.data(), in.data(), rowBytes, rows, sharpening, vectorLoop);
}

} // namespace

Sharpening detail::clampedSharpening(bool Sharpen, int Threshold, int Amount)
{
    return { Sharpen, std::clamp(Threshold, 0, maxThreshold),
        std::clamp(Amount, minAmount, maxAmount) };
}

void detail::smoothSharpenRows(std::uint8_t *const *out, const std::uint8_t *const *in,
    std::size_t rowBytes, std::size_t rows, const Sharpening &sharpening, bool vectorLoop)
{
    // The vector loop filters bytes from..done-1 of every row, the plain rule the rest.
    std::size_t from = 0, done = 0;
    if (vectorLoop && rowBytes > 2 * pixelBytes) {
        from = pixelBytes;
        done = filterInteriors(out, in, rowBytes, rows, from, rowBytes - pixelBytes - 1,
            sharpening.on, sharpening.threshold, sharpening.amount);
    }
    for (std::size_t y = 0; y < rows; ++y) {
        filterRow(out[y], in[y], in[y + 1], in[y + 2], rowBytes, 0, from, sharpening);
        filterRow(out[y], in[y], in[y + 1], in[y + 2], rowBytes, done, rowBytes, sharpening);
    }
}

void SmoothSharpen(
    image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen, int Threshold, int Amount)
{
    filterPicture(Dest, Source, Sharpen, Threshold, Amount, true);
}

void detail::smoothSharpenPlain(
    image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen, int Threshold, int Amount)
{
    filterPicture(Dest, Source, Sharpen, Threshold, Amount, false);
}

} // namespace enhance
