#pragma once

#include "image/bitmap.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

namespace enhance_test {

// One pixel as people write it: red, green, blue.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb &other) const
    {
        return red == other.red && green == other.green && blue == other.blue;
    }
};
void PrintTo(const Rgb &pixel, std::ostream *os);

// A width x height picture filled row by row from `pixels`.
image::TBitmap pictureOf(int width, int height, const std::vector<Rgb> &pixels);
std::vector<Rgb> pixelsOf(const image::TBitmap &picture);

// Every byte of the picture, row by row.
std::vector<std::uint8_t> bytesOf(const image::TBitmap &picture);

// Random pictures, the same for the same seed. `spread` bounds how far each channel strays
// from a common grey, so small spreads give many near-grey pixels; 255 gives plain noise.
image::TBitmap randomPicture(int width, int height, std::uint32_t seed, int spread = 255);

// The sizes where row, column and block boundaries go wrong.
struct Size {
    int width;
    int height;
};
void PrintTo(const Size &size, std::ostream *os);
std::vector<Size> oddSizes();

// Runs `check` once for every instruction set the vector loops were built for and this
// processor has, each run traced with the target's name, so failures name the loops that slipped.
void forEachSimdTarget(const std::function<void()> &check);

} // namespace enhance_test
