#pragma once

#include <cstdint>
#include <vector>

namespace imageio {

// One application segment of a loaded file: its marker code (0xE0 + n) and its data, without
// the marker and length bytes.
struct JpegMarker {
    int code = 0;
    std::vector<std::uint8_t> data;
};

// Segments in the order the source file holds them.
using JpegMarkers = std::vector<JpegMarker>;

// Whether APPn (n = 0..15) travels from a loaded file into the saved one. Exif, XMP, ICC
// profiles and IPTC do; APP0 does not, because the codec writes its own JFIF header, and neither
// does APP14, whose Adobe colour transform would be wrong for our output.
constexpr bool isKeptApplicationSegment(int n)
{
    return (n >= 1 && n <= 13) || n == 15;
}

} // namespace imageio
