#include "imageio/jpeg_layout.h"

#include "imageio/jpeg_marker_walk.h"
#include "imageio/jpeg_markers.h"
#include "imageio/mpf_index.h"

#include <algorithm>
#include <cstdint>

namespace imageio {

namespace {

constexpr std::uint8_t temporary = 0x01; // TEM, a marker without a length
constexpr std::uint8_t startOfImage = 0xD8;
constexpr std::uint8_t endOfImage = 0xD9;
constexpr std::uint8_t startOfScan = 0xDA;
constexpr std::uint8_t app2 = 0xE2;

} // namespace

JpegLayout readJpegLayout(const std::uint8_t *bytes, std::size_t size)
{
    JpegLayout layout;
    layout.pictureEnd = size;
    if (size < 2 || bytes[0] != markerByte || bytes[1] != startOfImage)
        return layout;
    bool inScans = false;
    constexpr std::size_t noScan = SIZE_MAX;
    std::size_t scanAt = noScan; // the marker of the scan whose bytes are being counted
    const auto scanEndsAt = [&](std::size_t end) {
        if (scanAt != noScan)
            layout.scanBytes += end - scanAt;
        scanAt = noScan;
    };
    for (std::size_t at = 2;;) {
        const std::optional<MarkerPlace> marker = nextMarker(bytes, size, at);
        scanEndsAt(marker ? marker->at : size);
        // The codec stops at a second start-of-image marker with an error of its own.
        if (!marker || marker->code == startOfImage)
            return layout;
        if (marker->code == endOfImage) {
            layout.pictureEnd = marker->after;
            return layout;
        }
        at = marker->after;
        if (marker->code == temporary)
            continue;
        if (marker->code == startOfScan)
            scanAt = marker->at;
        if (size - at < 2)
            break;
        // A length below 2 covers no data; the codec reads on after the length field too.
        const std::size_t length
            = std::max<std::size_t>(2, std::size_t(bytes[at]) << 8 | bytes[at + 1]);
        if (length > size - at)
            break;
        const ByteSpan data { at + 2, length - 2 };
        if (marker->code == commentCode && inScans
            && layout.laterComments.size() < mostKeptSegments)
            layout.laterComments.push_back(data);
        if (marker->code == app2 && !inScans && !layout.mpfSegment
            && isMpfSegmentData(bytes + data.at, data.size))
            layout.mpfSegment = data;
        inScans = inScans || marker->code == startOfScan;
        at += length;
    }
    scanEndsAt(size); // a scan whose header is cut short
    return layout;
}

} // namespace imageio
