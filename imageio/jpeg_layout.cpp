#include "imageio/jpeg_layout.h"

#include "imageio/jpeg_markers.h"
#include "imageio/mpf_index.h"

#include <algorithm>
#include <cstring>

namespace imageio {

namespace {

constexpr std::uint8_t startOfImage = 0xD8;
constexpr std::uint8_t endOfImage = 0xD9;
constexpr std::uint8_t startOfScan = 0xDA;
constexpr std::uint8_t app2 = 0xE2;

// What follows 0xFF without being a marker the walk stops at: a stuffed zero in entropy-coded
// data, and the markers without a length that the codec passes over (TEM, RST0..RST7), or, for a
// start-of-image marker past the file's start, stops at with an error of its own.
bool passedOver(std::uint8_t code)
{
    return code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= startOfImage);
}

struct Marker {
    std::uint8_t code = 0;
    std::size_t after = 0; // the first byte after the marker's code
};

// The next marker from `from` on, skipping entropy-coded data, stray bytes and fill bytes, as
// the codec's marker reader and entropy decoders do; null when the bytes end first.
std::optional<Marker> nextMarker(const std::uint8_t *bytes, std::size_t size, std::size_t from)
{
    while (from < size) {
        const void *prefix = std::memchr(bytes + from, 0xFF, size - from);
        if (!prefix)
            return std::nullopt;
        std::size_t at = std::size_t(static_cast<const std::uint8_t *>(prefix) - bytes) + 1;
        while (at < size && bytes[at] == 0xFF)
            ++at;
        if (at == size)
            return std::nullopt;
        if (!passedOver(bytes[at]))
            return Marker { bytes[at], at + 1 };
        from = at + 1;
    }
    return std::nullopt;
}

} // namespace

JpegLayout readJpegLayout(const std::uint8_t *bytes, std::size_t size)
{
    JpegLayout layout;
    layout.pictureEnd = size;
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != startOfImage)
        return layout;
    bool inScans = false;
    for (std::size_t at = 2;;) {
        const std::optional<Marker> marker = nextMarker(bytes, size, at);
        if (!marker)
            return layout;
        if (marker->code == endOfImage) {
            layout.pictureEnd = marker->after;
            return layout;
        }
        if (size - marker->after < 2)
            return layout;
        // A length below 2 covers no data; the codec reads on after the length field too.
        const std::size_t length = std::max<std::size_t>(
            2, std::size_t(bytes[marker->after]) << 8 | bytes[marker->after + 1]);
        if (length > size - marker->after)
            return layout;
        const ByteSpan data { marker->after + 2, length - 2 };
        if (marker->code == commentCode && inScans
            && layout.laterComments.size() < mostKeptSegments)
            layout.laterComments.push_back(data);
        if (marker->code == app2 && !inScans && !layout.mpfSegment
            && isMpfSegmentData(bytes + data.at, data.size))
            layout.mpfSegment = data;
        inScans = inScans || marker->code == startOfScan;
        at = marker->after + length;
    }
}

} // namespace imageio
