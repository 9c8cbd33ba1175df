#pragma once

#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>

namespace enhance {

// Measures the colour cast on the near-grey pixels of Source (every pairwise channel difference
// within +-Tolerance) and removes it from Dest by shifting whole channels. Dest's size governs;
// Source must be at least as large (throws core::Error otherwise). A picture without any
// near-grey pixel is left unchanged.
void RemoveColourCast(image::TBitmap &Dest, const image::TBitmap &Source, int Tolerance);

// Adds the three offsets to every pixel of Image, each channel clamped to 0..255.
void ShiftChannels(image::TBitmap &Image, int RedShift, int GreenShift, int BlueShift);

namespace detail {

// What the cast is measured from: the channel sums of the near-grey pixels, and their number.
struct NearGreySums {
    std::int64_t red = 0;
    std::int64_t green = 0;
    std::int64_t blue = 0;
    std::int64_t count = 0;
};

// Per channel in the blue, green, red order of the bytes: the shift, held to +-255 where it
// saturates every value anyway.
struct ChannelShifts {
    int shift[3];
};

// A level shifted by -255..255 and clamped to 0..255, worked out in bytes: the shift is split
// into a rise and a fall, one of them zero, and ceiling is 255 - rise. Loops of it widen (GCC at
// -O2, and every vector target).
inline std::uint8_t shiftedLevel(
    std::uint8_t level, std::uint8_t rise, std::uint8_t ceiling, std::uint8_t fall)
{
    // Ternaries on values rather than std::min and std::max: GCC widens loops of these.
    const std::uint8_t risen = std::uint8_t((level < ceiling ? level : ceiling) + rise);
    return std::uint8_t((risen > fall ? risen : fall) - fall);
}

// One channel's shift in that form; a shift beyond +-255 acts as +-255.
struct LevelShift {
    std::uint8_t rise = 0;
    std::uint8_t ceiling = 255;
    std::uint8_t fall = 0;
    static LevelShift of(int shift);
    std::uint8_t operator()(std::uint8_t level) const
    {
        return shiftedLevel(level, rise, ceiling, fall);
    }
};

// The shifts that bring the average near-grey pixel of sums to grey; sums.count > 0.
ChannelShifts castShifts(const NearGreySums &sums);

// Whether shifts leave every byte as it is.
bool shiftsNothing(const ChannelShifts &shifts);

// The rule pixel by pixel, for the pixels the vector loops leave, and for tests to hold those
// loops to. `pixels` holds `count` blue, green, red triples.
void measureNearGrey(const std::uint8_t *pixels, std::size_t count, int tolerance,
                     NearGreySums &sums);
void shiftPixels(const std::uint8_t *from, std::uint8_t *to, std::size_t count,
                 const ChannelShifts &shifts);

// The same with the vector loops for as many whole vectors as fit and the rule for the rest.
// `from` is `to`, or the two do not overlap.
void measureNearGreyFast(const std::uint8_t *pixels, std::size_t count, int tolerance,
                         NearGreySums &sums);
void shiftPixelsFast(const std::uint8_t *from, std::uint8_t *to, std::size_t count,
                     const ChannelShifts &shifts);

} // namespace detail

} // namespace enhance
