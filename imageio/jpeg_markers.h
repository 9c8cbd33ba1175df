#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imageio {

// One segment of a loaded file that travels into the saved one: its marker code (0xE0 + n for
// APPn, 0xFE for a comment) and its data, without the marker and length bytes.
struct JpegMarker {
    int code = 0;
    std::vector<std::uint8_t> data;
};

// Segments in the order the source file holds them.
using JpegMarkers = std::vector<JpegMarker>;

constexpr int commentCode = 0xFE;

// Whether APPn (n = 0..15) travels from a loaded file into the saved one. Exif, XMP, ICC
// profiles and IPTC do; APP0 does not, because the codec writes its own JFIF header, and neither
// does APP14, whose Adobe colour transform would be wrong for our output. Comments always travel.
constexpr bool isKeptApplicationSegment(int n)
{
    return (n >= 1 && n <= 13) || n == 15;
}

// What is kept of one file's segments. No camera or editor comes near either bound (a largest
// ICC profile, 255 full chunks, is just under 16 MiB); a file that goes beyond keeps its first
// segments up to the bound and loses the rest, whole segments only. Refusing it instead would end
// the whole folder run at a photo whose picture is sound. The first Exif, XMP and IPTC segments
// and the first chunk of each number of an ICC profile are kept even beyond the bounds (by at
// most three segments of 64 KiB and one profile), so that a flood of other segments before them
// cannot push them out. Empty segments carry nothing and are never kept.
constexpr std::size_t mostKeptSegments = 1000;
constexpr std::size_t mostKeptSegmentBytes = std::size_t(16) << 20;

// The print size of a JFIF header: unit 0 (only the pixel aspect ratio), 1 (dots per inch) or 2
// (dots per cm), and the horizontal and vertical density. The default is the codec's own.
struct JpegDensity {
    int unit = 0;
    int x = 1;
    int y = 1;
};

} // namespace imageio
