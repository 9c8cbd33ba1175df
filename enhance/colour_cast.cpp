#include "enhance/colour_cast.h"

#include "image/error.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace enhance {

namespace {

// Pixels handled per block. A fixed trip count lets the compiler vectorise the block loops at
// -O2, whose cost model refuses loops that would need a scalar remainder.
constexpr std::size_t blockPixels = 16;
constexpr std::size_t blockBytes = blockPixels * 3;

struct CastSums {
    std::int64_t redGreen = 0;
    std::int64_t redBlue = 0;
    std::int64_t count = 0;
};

// Each block starts on a pixel; its bytes are read three at a time from every position, and only
// the windows that start a pixel count. Doing the work at every byte wastes two thirds of it, but
// keeps the loop free of stride-3 access, so that the compiler vectorises it.
constexpr std::size_t measureBytes = 48;

constexpr std::array<std::uint8_t, measureBytes> pixelStarts()
{
    std::array<std::uint8_t, measureBytes> starts {};
    for (std::size_t k = 0; k < measureBytes; k += 3)
        starts[k] = 1;
    return starts;
}

// Adds the near-grey pixels among `count` consecutive pixels to the sums. A pixel is near-grey
// when its largest channel exceeds its smallest by at most `tolerance`, which is the same as
// every pairwise difference lying within +-tolerance.
void measureRun(const std::uint8_t *pixels, std::size_t count, int tolerance, CastSums &sums)
{
    if (tolerance < 0)
        return;   // not even a grey pixel comes within a negative tolerance
    const std::uint8_t limit = std::uint8_t(tolerance > 255 ? 255 : tolerance);
    static constexpr std::array<std::uint8_t, measureBytes> starts = pixelStarts();

    // Per-position 16-bit sums: a block adds at most 255 to each, so 128 blocks fit.
    constexpr int blocksPerFlush = 128;
    std::int16_t accRG[measureBytes] = {}, accRB[measureBytes] = {}, accCount[measureBytes] = {};
    const auto flush = [&] {
        for (std::size_t k = 0; k < measureBytes; ++k) {
            sums.redGreen += accRG[k];
            sums.redBlue += accRB[k];
            sums.count += accCount[k];
            accRG[k] = accRB[k] = accCount[k] = 0;
        }
    };

    const std::size_t bytes = count * 3;
    // A window reads two bytes past its start, so the last block must end two bytes early.
    std::size_t i = 0;
    int blocks = 0;
    for (; i + measureBytes + 2 <= bytes; i += measureBytes) {
        const std::uint8_t *block = pixels + i;
        for (std::size_t k = 0; k < measureBytes; ++k) {
            const std::uint8_t blue = block[k], green = block[k + 1], red = block[k + 2];
            const std::uint8_t high = std::max(std::max(blue, green), red);
            const std::uint8_t low = std::min(std::min(blue, green), red);
            const std::uint8_t near = std::uint8_t(std::uint8_t(high - low) <= limit);
            const std::int16_t take = std::int16_t(near & starts[k]);
            const std::int16_t mask = std::int16_t(-take);
            accRG[k] = std::int16_t(accRG[k] + (std::int16_t(red - green) & mask));
            accRB[k] = std::int16_t(accRB[k] + (std::int16_t(red - blue) & mask));
            accCount[k] = std::int16_t(accCount[k] + take);
        }
        if (++blocks == blocksPerFlush) {
            flush();
            blocks = 0;
        }
    }
    flush();
    for (; i < bytes; i += 3) {
        const int blue = pixels[i], green = pixels[i + 1], red = pixels[i + 2];
        const int high = std::max(std::max(blue, green), red);
        const int low = std::min(std::min(blue, green), red);
        if (high - low <= tolerance) {
            sums.redGreen += red - green;
            sums.redBlue += red - blue;
            ++sums.count;
        }
    }
}

// Beyond +-255 a shift saturates every channel anyway; clamping it keeps the sums in 16 bits.
int limitShift(int shift)
{
    return shift < -255 ? -255 : shift > 255 ? 255 : shift;
}

} // namespace

void RemoveColourCast(image::TBitmap &Dest, const image::TBitmap &Source, int Tolerance)
{
    if (Source.Width() < Dest.Width() || Source.Height() < Dest.Height())
        throw image::Error("Colour cast correction needs a source image at least as large as "
                           "the destination image");
    if (Dest.Empty())
        return;

    const std::size_t width = std::size_t(Dest.Width());
    CastSums sums;
    if (Source.Width() == Dest.Width()) {
        measureRun(Source.Bits(), width * std::size_t(Dest.Height()), Tolerance, sums);
    } else {
        for (int y = 0; y < Dest.Height(); ++y)
            measureRun(Source.ScanLine(y), width, Tolerance, sums);
    }
    // Without a near-grey pixel there is nothing to measure the cast on.
    if (sums.count == 0)
        return;

    // Truncating division; each average lies within +-Tolerance and +-255, so it fits an int.
    const int rg = int(sums.redGreen / sums.count);
    const int rb = int(sums.redBlue / sums.count);

    int redShift = 0, greenShift = 0, blueShift = 0;
    if ((rg >= 0) != (rb >= 0)) {
        // Red lies between green and blue: move those two onto red.
        greenShift = rg;
        blueShift = rb;
    } else if (rg >= rb) {
        // Blue has the highest mean of green and blue: everything meets at blue.
        redShift = -rb;
        greenShift = rg - rb;
    } else {
        redShift = -rg;
        blueShift = rb - rg;
    }
    ShiftChannels(Dest, redShift, greenShift, blueShift);
}

void ShiftChannels(image::TBitmap &Image, int RedShift, int GreenShift, int BlueShift)
{
    // A zero shift leaves every byte as it is; skipping it spares the store a detaching copy.
    if (Image.Empty() || (RedShift == 0 && GreenShift == 0 && BlueShift == 0))
        return;

    // Per byte of a block: clamp into lower..upper first, then add the shift modulo 256. For a
    // rise s that is min(v, 255 - s) + s, for a fall max(v, -s) - (-s): the same as adding and
    // then clamping to 0..255, in byte arithmetic that vectorises.
    std::uint8_t lower[blockBytes], upper[blockBytes], add[blockBytes];
    const int shifts[3] = {limitShift(BlueShift), limitShift(GreenShift), limitShift(RedShift)};
    for (std::size_t k = 0; k < blockBytes; ++k) {
        const int shift = shifts[k % 3];
        lower[k] = std::uint8_t(shift < 0 ? -shift : 0);
        upper[k] = std::uint8_t(shift > 0 ? 255 - shift : 255);
        add[k] = std::uint8_t(shift & 0xff);
    }

    std::uint8_t *bytes = Image.Bits();
    const std::size_t total = Image.rowBytes() * std::size_t(Image.Height());
    std::size_t i = 0;
    for (; i + blockBytes <= total; i += blockBytes) {
        std::uint8_t *block = bytes + i;
        for (std::size_t k = 0; k < blockBytes; ++k) {
            const std::uint8_t v = std::min(std::max(block[k], lower[k]), upper[k]);
            block[k] = std::uint8_t(v + add[k]);
        }
    }
    // The block length is a whole number of pixels, so the tail starts on a blue byte.
    for (std::size_t k = 0; i < total; ++i, ++k) {
        const std::uint8_t v = std::min(std::max(bytes[i], lower[k]), upper[k]);
        bytes[i] = std::uint8_t(v + add[k]);
    }
}

} // namespace enhance
