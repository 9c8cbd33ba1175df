#include "enhance/colour_cast.h"

#include "core/error.h"

#include <algorithm>

namespace enhance {

namespace detail {

void measureNearGrey(const std::uint8_t *pixels, std::size_t count, int tolerance,
                     NearGreySums &sums)
{
    for (std::size_t p = 0; p < count; ++p) {
        const int blue = pixels[3 * p], green = pixels[3 * p + 1], red = pixels[3 * p + 2];
        // Near-grey: the largest channel exceeds the smallest by at most the tolerance, which is
        // the same as every pairwise difference lying within +-tolerance.
        const int high = std::max(std::max(blue, green), red);
        const int low = std::min(std::min(blue, green), red);
        const bool nearGrey = high - low <= tolerance;
        sums.red += nearGrey ? red : 0;
        sums.green += nearGrey ? green : 0;
        sums.blue += nearGrey ? blue : 0;
        sums.count += nearGrey;
    }
}

void shiftPixels(const std::uint8_t *from, std::uint8_t *to, std::size_t count,
                 const ChannelShifts &shifts)
{
    for (std::size_t p = 0; p < count; ++p)
        for (std::size_t c = 0; c < 3; ++c)
            to[3 * p + c] = std::uint8_t(std::clamp(from[3 * p + c] + shifts.shift[c], 0, 255));
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
