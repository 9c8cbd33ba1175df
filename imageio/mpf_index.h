#pragma once

#include "imageio/jpeg_layout.h"
#include "imageio/jpeg_markers.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace imageio {

// Whether APP2 data is a multi-picture (MPF) segment: "MPF\0", then the MP header, a TIFF header
// whose offsets count from its byte order mark.
bool isMpfSegmentData(const std::uint8_t *data, std::size_t size);
bool isMpfSegment(const JpegMarker &segment);

// A loaded file's MP index, as far as a saved file with a new main picture needs it.
struct MpfIndex {
    bool bigEndian = false;
    std::size_t entriesAt = 0; // in the segment's data: the first 16-byte MP entry
    // For each picture after the main one, in entry order: where it begins, counted from the end
    // of the main picture.
    std::vector<std::uint64_t> laterPictures;
};

// Keeps in segments, the kept segments of file, the first MPF segment when the saved file can
// carry its index, and drops every other MPF segment, whose offsets would point nowhere. Carried
// means: the segment is the one at layout.mpfSegment, its MP index directory parses, its entry
// count agrees with its number of images, its first entry is the main picture (offset 0), and
// every other entry points at a start-of-image marker after layout.pictureEnd, with all of its
// bytes inside file. Returns that index, or null when none is kept.
std::optional<MpfIndex> keepMpfIndex(
    JpegMarkers &segments, const std::vector<std::uint8_t> &file, const JpegLayout &layout);

// For encoded, a new main picture that holds the kept MPF segment unchanged and that the loaded
// file's bytes after its main picture will follow: writes the main picture's size and each later
// picture's new offset into the segment. When the offsets do not fit in 32 bits, the segment is
// removed from encoded instead.
void rewriteMpfIndex(std::vector<std::uint8_t> &encoded, const MpfIndex &index);

} // namespace imageio
