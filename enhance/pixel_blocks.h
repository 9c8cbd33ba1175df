#pragma once

#include <cstddef>
#include <cstdint>

namespace enhance {

// The plain loops that the compiler widens (GCC at -O2, for processors whose vectors the kernels
// cannot use) take pixels in blocks of 16: three runs of 16 bytes. Every byte of a block is read
// as the start of a pixel, its two bytes after it as the pixel's green and red, and pixelStarts
// keeps those that are; so no bytes need sorting into channels. The last window of a block
// reads two bytes past it, so at least one pixel must follow a block read that way.
constexpr std::size_t blockPixels = 16;
constexpr std::size_t blockBytes = 3 * blockPixels;

// 0xFF at the bytes of a block that begin a pixel, 0 elsewhere.
struct PixelStarts {
    std::uint8_t at[blockBytes];
};
constexpr PixelStarts makePixelStarts()
{
    PixelStarts starts {};
    for (std::size_t i = 0; i < blockBytes; i += 3)
        starts.at[i] = 0xFF;
    return starts;
}
constexpr PixelStarts pixelStarts = makePixelStarts();

} // namespace enhance
