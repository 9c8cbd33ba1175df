#include "enhance/colour_cast.h"

#include "core/error.h"
#include "enhance/pixel_blocks.h"

#include <algorithm>

namespace enhance {

namespace detail {

namespace {

// Near-grey: the largest channel exceeds the smallest by at most the tolerance, which is the
// same as every pairwise difference lying within +-tolerance.
inline bool isNearGrey(std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t limit)
{
    const std::uint8_t high = std::max(std::max(blue, green), red);
    const std::uint8_t low = std::min(std::min(blue, green), red);
    return std::uint8_t(high - low) <= limit;
}

// Each lane of a block adds at most 255 to a 16-bit sum, so this many blocks fit.
constexpr std::size_t blocksPerGathering = 256;

} // namespace

void measureNearGrey(const std::uint8_t *pixels, std::size_t count, int tolerance,
                     NearGreySums &sums)
{
    if (tolerance < 0)
        return; // not even a grey pixel comes within a negative tolerance
    const std::uint8_t limit = std::uint8_t(std::min(tolerance, 255));
    // Whole blocks (pixel_blocks.h), followed by a pixel at least. Lane k of the sums takes bytes
    // k, k + 16 and k + 32 of each block, of which just one begins a pixel.
    std::size_t p = 0;
    while (p + blockPixels < count) {
        std::uint16_t red[blockPixels] = {}, green[blockPixels] = {}, blue[blockPixels] = {},
                      hits[blockPixels] = {};
        for (std::size_t n = 0; n < blocksPerGathering && p + blockPixels < count;
             ++n, p += blockPixels) {
            const std::uint8_t *block = pixels + 3 * p;
            for (std::size_t run = 0; run < blockBytes; run += blockPixels) {
                for (std::size_t k = 0; k < blockPixels; ++k) {
                    const std::uint8_t *pixel = block + run + k;
                    const std::uint8_t nearGrey
                        = isNearGrey(pixel[0], pixel[1], pixel[2], limit) ? 0xFF : 0;
                    const std::uint8_t keep = nearGrey & pixelStarts.at[run + k];
                    blue[k] = std::uint16_t(blue[k] + (pixel[0] & keep));
                    green[k] = std::uint16_t(green[k] + (pixel[1] & keep));
                    red[k] = std::uint16_t(red[k] + (pixel[2] & keep));
                    hits[k] = std::uint16_t(hits[k] + (keep & 1));
                }
            }
        }
        for (std::size_t k = 0; k < blockPixels; ++k) {
            sums.red += red[k];
            sums.green += green[k];
            sums.blue += blue[k];
            sums.count += hits[k];
        }
    }
    for (; p < count; ++p) {
        const std::uint8_t *pixel = pixels + 3 * p;
        const bool nearGrey = isNearGrey(pixel[0], pixel[1], pixel[2], limit);
        sums.red += nearGrey ? pixel[2] : 0;
        sums.green += nearGrey ? pixel[1] : 0;
        sums.blue += nearGrey ? pixel[0] : 0;
        sums.count += nearGrey;
    }
}

void shiftPixels(const std::uint8_t *from, std::uint8_t *to, std::size_t count,
                 const ChannelShifts &shifts)
{
    // Shifts are within +-255: 16 bits hold every sum, and the compiler widens the loop over a
    // block (GCC at -O2), made in a local block that cannot overlap the pixels.
    const auto shifted = [](std::uint8_t value, std::int16_t shift) {
        return std::uint8_t(std::min(
            std::max(std::int16_t(value + shift), std::int16_t(0)), std::int16_t(255)));
    };
    std::int16_t byteShifts[blockBytes];
    for (std::size_t i = 0; i < blockBytes; ++i)
        byteShifts[i] = std::int16_t(shifts.shift[i % 3]);
    const std::size_t bytes = 3 * count;
    std::size_t i = 0;
    for (; i + blockBytes <= bytes; i += blockBytes) {
        std::uint8_t made[blockBytes];
        for (std::size_t k = 0; k < blockBytes; ++k)
            made[k] = shifted(from[i + k], byteShifts[k]);
        std::copy_n(made, blockBytes, to + i);
    }
    for (; i < bytes; ++i)
        to[i] = shifted(from[i], byteShifts[i % 3]);
}

// The two channels off the one they meet at move onto it, so no channel is pushed further from
// the others.
ChannelShifts castShifts(const NearGreySums &sums)
{
    // Truncating division; each average lies within +-255, so it fits an int.
    const int rg = int((sums.red - sums.green) / sums.count);
    const int rb = int((sums.red - sums.blue) / sums.count);
    int red = 0, green = 0, blue = 0;
    if ((rg >= 0) != (rb >= 0)) {
        // Red lies between green and blue: move those two onto red.
        green = rg;
        blue = rb;
    } else if (rg >= rb) {
        // Blue has the highest mean of green and blue: everything meets at blue.
        red = -rb;
        green = rg - rb;
    } else {
        red = -rg;
        blue = rb - rg;
    }
    return { { blue, green, red } };
}

bool shiftsNothing(const ChannelShifts &shifts)
{
    return shifts.shift[0] == 0 && shifts.shift[1] == 0 && shifts.shift[2] == 0;
}

} // namespace detail

namespace {

detail::NearGreySums measureCast(const image::TBitmap &Source, int width, int height,
                                 int Tolerance)
{
    detail::NearGreySums sums;
    // Not even a grey pixel comes within a negative tolerance.
    if (Tolerance < 0)
        return sums;
    if (Source.Width() == width) {
        detail::measureNearGreyFast(Source.Bits(), std::size_t(width) * std::size_t(height),
                                    Tolerance, sums);
    } else {
        for (int y = 0; y < height; ++y)
            detail::measureNearGreyFast(Source.ScanLine(y), std::size_t(width), Tolerance, sums);
    }
    return sums;
}

std::size_t pixelCount(const image::TBitmap &picture)
{
    return std::size_t(picture.Width()) * std::size_t(picture.Height());
}

} // namespace

void RemoveColourCast(image::TBitmap &Dest, const image::TBitmap &Source, int Tolerance)
{
    if (Source.Width() < Dest.Width() || Source.Height() < Dest.Height())
        throw core::Error("Colour cast correction needs a source image at least as large as "
                          "the destination image");
    if (Dest.Empty())
        return;
    const detail::NearGreySums sums = measureCast(Source, Dest.Width(), Dest.Height(), Tolerance);
    // Without a near-grey pixel there is nothing to measure the cast on.
    if (sums.count == 0)
        return;
    const detail::ChannelShifts shifts = detail::castShifts(sums);
    if (detail::shiftsNothing(shifts))
        return;
    if (&Dest != &Source && Dest.SharesPixelsWith(Source) && Dest.Width() == Source.Width()
        && Dest.Height() == Source.Height()) {
        // Dest is still a copy of Source: shifting Source's pixels into a store of Dest's own
        // spares the separate copying pass that detaching would make.
        detail::shiftPixelsFast(Source.Bits(), Dest.BitsForOverwrite(), pixelCount(Dest), shifts);
        return;
    }
    detail::shiftPixelsFast(Dest.Bits(), Dest.Bits(), pixelCount(Dest), shifts);
}

void ShiftChannels(image::TBitmap &Image, int RedShift, int GreenShift, int BlueShift)
{
    // Beyond +-255 a shift saturates every value anyway; held there, the sums cannot overflow.
    const auto held = [](int shift) { return std::clamp(shift, -255, 255); };
    const detail::ChannelShifts shifts { { held(BlueShift), held(GreenShift), held(RedShift) } };
    // A zero shift leaves every byte as it is; skipping it spares the store a detaching copy.
    if (Image.Empty() || detail::shiftsNothing(shifts))
        return;
    detail::shiftPixelsFast(Image.Bits(), Image.Bits(), pixelCount(Image), shifts);
}

} // namespace enhance
