#pragma once

#include "enhance/colour_cast.h"
#include "image/bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace enhance {

// The brightness index of a pixel, 0..255: (red + 2 * blue) / 3 rounded down; green plays no
// part. Red and blue must lie in 0..255.
constexpr int brightnessRedWeight = 1;
constexpr int brightnessBlueWeight = 2;
constexpr int brightnessDivisor = brightnessRedWeight + brightnessBlueWeight;
constexpr int brightnessIndex(int red, int blue)
{
    return (brightnessRedWeight * red + brightnessBlueWeight * blue) / brightnessDivisor;
}

// Finds the levels of the brightness index below and above which at most ClipPercent per cent
// of the pixels lie. For a picture with pixels 0 <= LowPoint <= HighPoint <= 255; for an empty
// picture LowPoint = 256 and HighPoint = -1.
void FindClipPoints(const image::TBitmap &Image, int &LowPoint, int &HighPoint, float ClipPercent);

// The number of pixels that may be cut off at each end: truncate(total * ClipPercent * 0.01),
// the float widened to double and multiplied in that order. Kept within -1..total + 1, which
// moves no clip point; a NaN product counts as 0.
std::int64_t clipCount(std::int64_t total, float ClipPercent);

namespace detail {

using Histogram = std::array<std::int64_t, 256>;

// How red and blue are shifted before a pixel's index is taken, as the colour cast shifts them;
// green plays no part in the index.
struct IndexShifts {
    LevelShift red;
    LevelShift blue;
};

// Adds to `histogram` the brightness index of each of `count` pixels (blue, green, red), as
// `shifts` leave them, whose index lies at or below `low` or at or above `high`, both in 0..255;
// low >= high - 1 counts every pixel.
void countTails(const std::uint8_t *pixels, std::size_t count, int low, int high,
    Histogram &histogram, const IndexShifts &shifts = {});

// countTails with the vector loop, which passes only the pixels that may count to countTails.
void countTailsFast(const std::uint8_t *pixels, std::size_t count, int low, int high,
    Histogram &histogram, const IndexShifts &shifts = {});

// FindClipPoints for a picture handed over in pieces, as `shifts` leave its pixels: count()
// takes its pixels in order, in pieces of any size, and once all `total` have been counted the
// points are those that FindClipPoints gives for the whole picture so shifted.
class ClipPointCounter
{
public:
    ClipPointCounter(std::int64_t total, float ClipPercent, const IndexShifts &shifts = {});
    // The next `count` pixels (blue, green, red).
    void count(const std::uint8_t *pixels, std::size_t count);
    int lowPoint() const;
    int highPoint() const;

private:
    Histogram m_histogram {};
    std::int64_t m_clip;
    IndexShifts m_shifts;
    // Only pixels at or below m_low or at or above m_high can still move a clip point.
    int m_low = 255;
    int m_high = 0;
};

} // namespace detail

} // namespace enhance
