#include "enhance/clip_points.h"

#include "enhance/pixel_blocks.h"

#include <algorithm>

namespace enhance {

namespace {

// The thresholds of the counting are tightened after every stretch of this many pixels.
constexpr std::size_t stretchPixels = std::size_t(1) << 16;

// The first level, walking from `first` by `step`, at which more than `clip` pixels have been
// passed; `none` when the walk leaves the histogram first.
int crossing(const detail::Histogram &histogram, std::int64_t clip, int first, int step, int none)
{
    std::int64_t sum = 0;
    for (int level = first; level >= 0 && level <= 255; level += step)
        if ((sum += histogram[std::size_t(level)]) > clip)
            return level;
    return none;
}

} // namespace

namespace detail {

void countTails(const std::uint8_t *pixels, std::size_t count, int low, int high,
    Histogram &histogram, const IndexShifts &shifts)
{
    const auto countPixels = [&](const std::uint8_t *from, std::size_t n) {
        for (std::size_t p = 0; p < n; ++p) {
            const int index
                = brightnessIndex(shifts.red(from[p * 3 + 2]), shifts.blue(from[p * 3]));
            if (index <= low || index >= high)
                ++histogram[std::size_t(index)];
        }
    };
    // Blocks (pixel_blocks.h) that hold no pixel that counts are passed over. A pixel's index
    // lies between its red and its blue, so one whose shifted red and blue both lie strictly
    // between low and high does not count. A level shifted by s lies there exactly when the level
    // lies strictly between low - s and high - s (the clamp keeps levels beyond on their side).
    // Counted in bytes from the lowest level inside on, the levels inside lie below the inside's
    // width and all others at or above it (those below wrap round): a test the compiler widens
    // (GCC at -O2). A width held to 255 only lets a block more be counted pixel by pixel.
    if (low >= high - 1) { // every pixel counts
        countPixels(pixels, count);
        return;
    }
    struct Inside {
        std::uint8_t first, width;
    };
    const auto inside = [low, high](const LevelShift &shift) {
        const int moved = shift.rise - shift.fall;
        const int first = std::max(low - moved + 1, 0), last = std::min(high - moved - 1, 255);
        return first > last
            ? Inside { 0, 0 }
            : Inside { std::uint8_t(first), std::uint8_t(std::min(last - first + 1, 255)) };
    };
    const auto [redFirst, redWidth] = inside(shifts.red);
    const auto [blueFirst, blueWidth] = inside(shifts.blue);
    std::size_t p = 0;
    for (; p + blockPixels < count; p += blockPixels) {
        const std::uint8_t *block = pixels + 3 * p;
        std::uint8_t counts = 0;
        for (std::size_t i = 0; i < blockBytes; ++i) {
            const bool outside = (std::uint8_t(block[i] - blueFirst) >= blueWidth)
                | (std::uint8_t(block[i + 2] - redFirst) >= redWidth);
            counts |= (outside ? 0xFF : 0) & pixelStarts.at[i];
        }
        if (counts)
            countPixels(block, blockPixels);
    }
    countPixels(pixels + 3 * p, count - p);
}

} // namespace detail

std::int64_t clipCount(std::int64_t total, float ClipPercent)
{
    const double product = double(total) * double(ClipPercent) * 0.01;
    // Keeps the conversion defined for any percentage; beyond +-total the result is the same.
    if (!(product == product))
        return 0;
    if (product >= double(total) + 1)
        return total + 1;
    if (product <= -1)
        return -1;
    return std::int64_t(product);
}

namespace detail {

ClipPointCounter::ClipPointCounter(std::int64_t total, float ClipPercent, const IndexShifts &shifts)
    : m_clip(clipCount(total, ClipPercent))
    , m_shifts(shifts)
{
}

void ClipPointCounter::count(const std::uint8_t *pixels, std::size_t count)
{
    // Once more than the clip count of pixels lie at or below some level, brighter pixels can no
    // longer move the low clip point, nor darker ones the high clip point: only the pixels at or
    // beyond the two levels found so far are counted. The levels only move outwards, so every
    // bin from the darkest up to the final low level, and from the final high level up, is
    // complete, however the pixels were split into pieces.
    for (std::size_t done = 0; done < count; done += stretchPixels) {
        const std::size_t part = std::min(stretchPixels, count - done);
        countTailsFast(pixels + done * 3, part, m_low, m_high, m_histogram, m_shifts);
        m_low = crossing(m_histogram, m_clip, 0, 1, 255);
        m_high = crossing(m_histogram, m_clip, 255, -1, 0);
    }
}

int ClipPointCounter::lowPoint() const
{
    return crossing(m_histogram, m_clip, 0, 1, 256);
}

int ClipPointCounter::highPoint() const
{
    return crossing(m_histogram, m_clip, 255, -1, -1);
}

} // namespace detail

void FindClipPoints(const image::TBitmap &Image, int &LowPoint, int &HighPoint, float ClipPercent)
{
    const std::int64_t total
        = Image.Empty() ? 0 : std::int64_t(Image.Width()) * std::int64_t(Image.Height());
    detail::ClipPointCounter counter(total, ClipPercent);
    counter.count(Image.Bits(), std::size_t(total));
    LowPoint = counter.lowPoint();
    HighPoint = counter.highPoint();
}

} // namespace enhance
