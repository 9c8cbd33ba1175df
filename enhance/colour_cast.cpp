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
    const std::uint8_t low = std::min(std::min(red, green), blue);
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
    // Whole blocks (pixel_blocks.h), followed by a pixel at least. Of bytes k, k + 16 and k + 32
    // of a block just one begins a pixel: the three runs are merged into one with the pixels
    // that begin there, and those are added up in 16-bit lanes.
    std::size_t p = 0;
    while (p + blockPixels < count) {
        std::uint16_t red[blockPixels] = {}, green[blockPixels] = {}, blue[blockPixels] = {},
                      hits[blockPixels] = {};
        for (std::size_t n = 0; n < blocksPerGathering && p + blockPixels < count;
             ++n, p += blockPixels) {
            const std::uint8_t *block = pixels + 3 * p;
            std::uint8_t blockRed[blockPixels] = {}, blockGreen[blockPixels] = {},
                         blockBlue[blockPixels] = {}, blockHits[blockPixels] = {};
            for (std::size_t run = 0; run < blockBytes; run += blockPixels) {
                for (std::size_t k = 0; k < blockPixels; ++k) {
                    const std::uint8_t *pixel = block + run + k;
                    const std::uint8_t nearGrey
                        = isNearGrey(pixel[0], pixel[1], pixel[2], limit) ? 0xFF : 0;
                    const std::uint8_t keep = nearGrey & pixelStarts.at[run + k];
                    blockBlue[k] |= pixel[0] & keep;
                    blockGreen[k] |= pixel[1] & keep;
                    blockRed[k] |= pixel[2] & keep;
                    blockHits[k] |= keep & 1;
                }
            }
            for (std::size_t k = 0; k < blockPixels; ++k) {
                blue[k] = std::uint16_t(blue[k] + blockBlue[k]);
                green[k] = std::uint16_t(green[k] + blockGreen[k]);
                red[k] = std::uint16_t(red[k] + blockRed[k]);
                hits[k] = std::uint16_t(hits[k] + blockHits[k]);
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
    // Each byte's shift (shiftedLevel) laid out as the bytes of a block are: the compiler widens
    // the loop over a block (GCC at -O2), made in a local block that cannot overlap the pixels.
    if (count == 0)
        return;
    const LevelShift channels[3] = { LevelShift::of(shifts.shift[0]),
        LevelShift::of(shifts.shift[1]), LevelShift::of(shifts.shift[2]) };
    std::uint8_t rises[blockBytes], ceilings[blockBytes], falls[blockBytes];
    for (std::size_t i = 0; i < blockBytes; ++i) {
        rises[i] = channels[i % 3].rise;
        ceilings[i] = channels[i % 3].ceiling;
        falls[i] = channels[i % 3].fall;
    }
    const auto shifted = [&](std::uint8_t level, std::size_t k) {
        return shiftedLevel(level, rises[k], ceilings[k], falls[k]);
    };
    const std::size_t bytes = 3 * count;
    std::size_t i = 0;
    for (; i + blockBytes <= bytes; i += blockBytes) {
        std::uint8_t made[blockBytes];
        for (std::size_t k = 0; k < blockBytes; ++k)
            made[k] = shifted(from[i + k], k);
        std::copy_n(made, blockBytes, to + i);
    }
    for (std::size_t k = 0; i < bytes; ++i, ++k)
        to[i] = shifted(from[i], k);
}

LevelShift LevelShift::of(int shift)
{
    const int held = std::clamp(shift, -255, 255);
    const std::uint8_t rise = std::uint8_t(std::max(held, 0));
    return { rise, std::uint8_t(255 - rise), std::uint8_t(std::max(-held, 0)) };
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
