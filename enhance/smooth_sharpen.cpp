#include "enhance/smooth_sharpen.h"

#include "core/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace enhance {

using namespace detail;

namespace {

// A channel's value after the filter, from its unfiltered value and its weighted neighbourhood
// sum. Every value fits 16 bits (sums reach 255 * weightSum, pushes 255 + maxAmount * 255), and
// so written the compiler widens the loops below to eight channels or more at a time.
template <bool sharpen>
inline std::uint8_t filtered(
    std::int16_t original, std::uint16_t sum, std::int16_t threshold, std::int16_t amount)
{
    // Sums are never negative: truncation rounds down.
    const std::int16_t smoothed = std::int16_t(sum / weightSum);
    if (!sharpen)
        return std::uint8_t(smoothed);
    const std::int16_t difference = std::int16_t(original - smoothed);
    const std::int16_t magnitude = std::max(difference, std::int16_t(-difference));
    const std::int16_t pushed = std::min(
        std::max(std::int16_t(original + amount * difference), std::int16_t(0)), std::int16_t(255));
    return std::uint8_t(magnitude < threshold ? original : pushed);
}

// The weighted sum of the 3x3 neighbourhood of byte i of row mid, whose neighbours to the left
// and to the right are bytes l and r.
inline std::uint16_t neighbourhood(const std::uint8_t *up, const std::uint8_t *mid,
    const std::uint8_t *down, std::size_t i, std::size_t l, std::size_t r)
{
    return std::uint16_t(cornerWeight * (up[l] + up[r] + down[l] + down[r])
        + edgeWeight * (up[i] + down[i] + mid[l] + mid[r]) + centreWeight * mid[i]);
}

// Bytes from..to-1 of one row; a neighbour beyond either end of the row is the pixel itself.
template <bool sharpen>
void filterBytes(std::uint8_t *out, const std::uint8_t *up, const std::uint8_t *mid,
    const std::uint8_t *down, std::size_t rowBytes, std::size_t from, std::size_t to,
    std::int16_t threshold, std::int16_t amount)
{
    const auto edgeByte = [&](std::size_t i) {
        const std::size_t l = i >= pixelBytes ? i - pixelBytes : i;
        const std::size_t r = i + pixelBytes < rowBytes ? i + pixelBytes : i;
        out[i]
            = filtered<sharpen>(mid[i], neighbourhood(up, mid, down, i, l, r), threshold, amount);
    };
    // Inside the row every byte has both neighbours. Pieces of a fixed length, made in a local
    // block that cannot overlap the rows, let the compiler widen that loop even where it widens
    // only loops without a remainder or overlap checks (GCC at -O2).
    constexpr std::size_t piece = 32;
    std::size_t i = from;
    for (; i < to && i < pixelBytes; ++i)
        edgeByte(i);
    for (; i + piece <= to && i + piece + pixelBytes <= rowBytes; i += piece) {
        std::uint8_t made[piece];
        for (std::size_t k = 0; k < piece; ++k) {
            const std::size_t at = i + k;
            made[k] = filtered<sharpen>(mid[at],
                neighbourhood(up, mid, down, at, at - pixelBytes, at + pixelBytes), threshold,
                amount);
        }
        std::copy_n(made, piece, out + i);
    }
    for (; i < to; ++i)
        edgeByte(i);
}

void filterRow(std::uint8_t *out, const std::uint8_t *up, const std::uint8_t *mid,
    const std::uint8_t *down, std::size_t rowBytes, std::size_t from, std::size_t to,
    const Sharpening &sharpening)
{
    const std::int16_t threshold = std::int16_t(sharpening.threshold);
    const std::int16_t amount = std::int16_t(sharpening.amount);
    if (sharpening.on)
        filterBytes<true>(out, up, mid, down, rowBytes, from, to, threshold, amount);
    else
        filterBytes<false>(out, up, mid, down, rowBytes, from, to, threshold, amount);
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
        done = filterInteriors(out, in, rows, from, rowBytes - pixelBytes - 1, sharpening.on,
            sharpening.threshold, sharpening.amount);
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
