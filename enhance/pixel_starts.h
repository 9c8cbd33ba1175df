#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace enhance {

// The SSE2 loops take 16 pixels at a time as three 16-byte chunks. These masks hold 0xff where a
// pixel starts (every third byte of the 48) and 0 elsewhere, one chunk per element.
inline void loadPixelStartMasks(__m128i starts[3])
{
    constexpr std::size_t blockBytes = 48;
    alignas(16) std::uint8_t startBytes[blockBytes] = {};
    for (std::size_t k = 0; k < blockBytes; k += 3)
        startBytes[k] = 0xff;
    for (int c = 0; c < 3; ++c)
        starts[c] = _mm_load_si128(reinterpret_cast<const __m128i *>(startBytes + 16 * c));
}

} // namespace enhance
#endif
