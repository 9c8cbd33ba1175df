#include "enhance/smooth_sharpen.h"

#include "enhance/prefetch.h"

#include "image/error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace enhance {

namespace {

struct Kernel {
    int corner;
    int edge;
    int centre;
};

constexpr Kernel makeKernel()
{
    const int corner = 7;
    // Truncated from single precision: 7 * 1.5f = 10.5f gives 10.
    const int edge = int(float(corner) * 1.5f);
    return Kernel { corner, edge, 100 - 4 * corner - 4 * edge };
}

struct Sharpening {
    bool on;
    int threshold;
    int amount;
};

// The channel value that ends up in Dest, from the unfiltered value and the weighted sum.
inline int finish(int original, int sum, const Sharpening &sharpening)
{
    const int smoothed = sum / 100;
    if (!sharpening.on)
        return smoothed;
    const int d = original - smoothed;
    if (d < sharpening.threshold && -d < sharpening.threshold)
        return original;
    const int v = original + sharpening.amount * d;
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// One pixel whose left and right neighbours start at byte offsets `left` and `right`: used for
// the first and last column, where a neighbour outside the row is replaced by the pixel itself.
void filterPixel(std::uint8_t *out, const std::uint8_t *up, const std::uint8_t *mid,
    const std::uint8_t *down, std::size_t at, std::size_t left, std::size_t right,
    const Kernel &kernel, const Sharpening &sharpening)
{
    for (std::size_t c = 0; c < 3; ++c) {
        const std::size_t l = left + c, m = at + c, r = right + c;
        const int sum = kernel.corner * (up[l] + up[r] + down[l] + down[r])
            + kernel.edge * (up[m] + down[m] + mid[l] + mid[r]) + kernel.centre * mid[m];
        out[m] = std::uint8_t(finish(mid[m], sum, sharpening));
    }
}

// Bytes per block of the vectorised loops. A fixed trip count lets the compiler vectorise them
// at -O2; all intermediates fit 16-bit lanes (sums up to 25,500, sharpened values -1020..1275).
constexpr std::ptrdiff_t blockBytes = 32;

// vertical[i] = up[i] + down[i] over a whole row: the four corner taps and two of the edge
// taps of every pixel then come from three reads of this row.
// `nextDown`, when not null, is the row the next call will read as `down`: it is fetched a row
// ahead.
void sumAboveAndBelow(std::uint16_t *vertical, const std::uint8_t *up, const std::uint8_t *down,
    const std::uint8_t *nextDown, std::size_t count)
{
    std::size_t i = 0;
    for (; i + std::size_t(blockBytes) <= count; i += std::size_t(blockBytes)) {
        if (nextDown)
            prefetchRead(nextDown + i);
        // Summed into a local block: stores through `vertical` could alias the rows otherwise.
        std::uint16_t sums[blockBytes];
        for (std::ptrdiff_t k = 0; k < blockBytes; ++k)
            sums[k] = std::uint16_t(up[i + std::size_t(k)] + down[i + std::size_t(k)]);
        std::memcpy(vertical + i, sums, sizeof sums);
    }
    for (; i < count; ++i)
        vertical[i] = std::uint16_t(up[i] + down[i]);
}

// The interior bytes from..to-1 of one row, all of whose neighbours lie inside the row: no
// clamping. The kernel is fixed, so its weights are constants the compiler can fold.
template <bool sharpen>
void filterInterior(std::uint8_t *out, std::uint8_t *nextOut, const std::uint16_t *vertical,
    const std::uint8_t *mid, std::size_t from, std::size_t to, int threshold, int amount)
{
    const std::int16_t limit = std::int16_t(threshold);
    const std::int16_t gain = std::int16_t(amount);
    std::size_t i = from;
    for (; i + std::size_t(blockBytes) <= to; i += std::size_t(blockBytes)) {
        const std::uint16_t *v = vertical + i;
        const std::uint8_t *m = mid + i;
        if (nextOut)
            prefetchWrite(nextOut + i);
        std::uint8_t result[blockBytes];
        for (std::ptrdiff_t k = 0; k < blockBytes; ++k) {
            const std::uint16_t sum = std::uint16_t(
                7 * (v[k - 3] + v[k + 3]) + 10 * (v[k] + m[k - 3] + m[k + 3]) + 32 * m[k]);
            const std::uint16_t smoothed = std::uint16_t(sum / 100);
            if (sharpen) {
                const std::int16_t o = m[k];
                const std::int16_t diff = std::int16_t(o - smoothed);
                const std::int16_t raised = std::int16_t(o + gain * diff);
                const std::int16_t clamped
                    = std::min(std::max(raised, std::int16_t(0)), std::int16_t(255));
                const std::int16_t magnitude = std::max(diff, std::int16_t(-diff));
                result[k] = std::uint8_t(magnitude < limit ? o : clamped);
            } else {
                result[k] = std::uint8_t(smoothed);
            }
        }
        std::memcpy(out + i, result, sizeof result);
    }
    const Sharpening sharpening { sharpen, threshold, amount };
    for (; i < to; ++i) {
        const int sum = 7 * (vertical[i - 3] + vertical[i + 3])
            + 10 * (vertical[i] + mid[i - 3] + mid[i + 3]) + 32 * mid[i];
        out[i] = std::uint8_t(finish(mid[i], sum, sharpening));
    }
}

} // namespace

void SmoothSharpen(
    image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen, int Threshold, int Amount)
{
    // The filter reads neighbours of pixels it has already written, so it needs two images;
    // and it writes Dest at Source's size.
    if (&Dest == &Source)
        throw image::Error("Smoothing needs separate source and destination images");
    if (Dest.Width() != Source.Width() || Dest.Height() != Source.Height())
        throw image::Error("Smoothing needs source and destination images of the same size");

    const Sharpening sharpening { Sharpen,
        Threshold < 0        ? 0
            : Threshold > 20 ? 20
                             : Threshold,
        Amount < 1       ? 1
            : Amount > 4 ? 4
                         : Amount };
    constexpr Kernel kernel = makeKernel();
    // The interior loop spells the weights out as constants.
    static_assert(kernel.corner == 7 && kernel.edge == 10 && kernel.centre == 32);

    const int width = Source.Width();
    const int height = Source.Height();
    if (width == 0 || height == 0)
        return;

    // Dest first: should the two share a store, only Dest's side is detached, without copying
    // the pixels that every pass below overwrites.
    std::uint8_t *outBits = Dest.BitsForOverwrite();
    const std::uint8_t *inBits = Source.Bits();
    const std::size_t rowBytes = Source.rowBytes();
    const std::size_t last = rowBytes - 3; // first byte of the last pixel

    std::vector<std::uint16_t> vertical(rowBytes);
    std::vector<const std::uint8_t *> rows(std::size_t(height) + 2);
    for (int y = 0; y < height; ++y)
        rows[std::size_t(y) + 1] = inBits + std::size_t(y) * rowBytes;
    // The rows above the first and below the last repeat those rows.
    rows[0] = rows[1];
    rows[std::size_t(height) + 1] = rows[std::size_t(height)];

    for (int y = 0; y < height; ++y) {
        const std::uint8_t *up = rows[std::size_t(y)];
        const std::uint8_t *mid = rows[std::size_t(y) + 1];
        const std::uint8_t *down = rows[std::size_t(y) + 2];
        std::uint8_t *out = outBits + std::size_t(y) * rowBytes;
        // The rows the next row will read and write for the first time, fetched a row ahead.
        const bool more = y + 2 < height;
        const std::uint8_t *nextDown = more ? rows[std::size_t(y) + 3] : nullptr;
        std::uint8_t *nextOut = more ? out + rowBytes : nullptr;

        filterPixel(out, up, mid, down, 0, 0, width > 1 ? 3 : 0, kernel, sharpening);
        if (width > 2) {
            sumAboveAndBelow(vertical.data(), up, down, nextDown, rowBytes);
            if (sharpening.on)
                filterInterior<true>(out, nextOut, vertical.data(), mid, 3, last,
                    sharpening.threshold, sharpening.amount);
            else
                filterInterior<false>(out, nextOut, vertical.data(), mid, 3, last, 0, 1);
        }
        if (width > 1)
            filterPixel(out, up, mid, down, last, last - 3, last, kernel, sharpening);
    }
}

} // namespace enhance
