#pragma once

#include "imageio/tiff_reader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace imageio {

// A stretch [begin, end) of a TIFF structure, or claimed by it: it may reach past the end.
struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool overlaps(const ByteRange &other) const { return begin < other.end && other.begin < end; }
};

// What of an Exif TIFF structure a thumbnail rebuild must know: where IFD0 links to IFD1, which
// bytes the structure uses, and where IFD1 keeps its picture.
struct ExifLayout {
    std::size_t ifd0NextAt = 0; // IFD0's next-directory field
    std::uint32_t ifd1Offset = 0; // 0 when there is no IFD1
    std::optional<TiffIfd> ifd1; // null when there is none or it does not lie inside
    // Every directory was read once: none lies outside, none is reached twice, and there are
    // not implausibly many.
    bool complete = true;
    // The header, every directory read and every value stored outside its entry, also where
    // they claim bytes past the end: what is added there must not take their place. The pictures
    // that IFD1 points at are not part of it. In order, adjoining and overlapping ones merged.
    std::vector<ByteRange> used;

    // Whether range shares a byte with used.
    bool uses(const ByteRange &range) const;
};

// Walks IFD0, the directories chained after it, and the Exif, GPS, interoperability and
// sub-image directories they point at. Null when IFD0 does not lie wholly inside: then no reader
// can find an IFD1 either.
std::optional<ExifLayout> readExifLayout(const TiffReader &tiff);

} // namespace imageio
