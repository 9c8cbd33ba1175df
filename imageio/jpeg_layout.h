#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace imageio {

// size bytes at offset `at` of a file.
struct ByteSpan {
    std::size_t at = 0;
    std::size_t size = 0;
};

// What of a JPEG file lies where the codec's header reading does not reach: found by walking its
// markers as libjpeg does (segments by their length, coded data up to the next marker, stray
// bytes between markers skipped), up to the end marker or a second start-of-image marker.
struct JpegLayout {
    // Just past the main picture's end-of-image marker; the file's size when there is none (a file
    // cut short) or the file does not begin with a start-of-image marker.
    std::size_t pictureEnd = 0;
    // The data of the first APP2 segment before the first scan whose data begins with "MPF\0".
    std::optional<ByteSpan> mpfSegment;
    // The data of the comments after the first scan header and before the end marker, in file
    // order; at most mostKeptSegments of them, since no more could be kept.
    std::vector<ByteSpan> laterComments;
    // The bytes that can carry the picture: each scan's header and coded data (restart markers
    // and stuffed bytes included), up to the end marker. The segments before and between the
    // scans, stray bytes and what follows the end do not count, so that padding cannot make a
    // file seem to hold more picture than it does.
    std::uint64_t scanBytes = 0;
};

// Walks the JPEG file in bytes[0..size); reads nothing outside it and never fails.
JpegLayout readJpegLayout(const std::uint8_t *bytes, std::size_t size);

} // namespace imageio
