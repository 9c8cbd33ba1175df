#include "imageio/jpeg_marker_walk.h"

#include <cstring>

namespace imageio {

namespace {

// What follows 0xFF inside coded data without ending it: a stuffed zero, a restart marker.
bool insideCodedData(std::uint8_t code)
{
    return code == 0x00 || (code >= 0xD0 && code <= 0xD7);
}

} // namespace

std::optional<MarkerPlace> nextMarker(const std::uint8_t *bytes, std::size_t size, std::size_t from)
{
    while (from < size) {
        const void *prefix = std::memchr(bytes + from, markerByte, size - from);
        if (!prefix)
            return std::nullopt;
        const std::size_t at = std::size_t(static_cast<const std::uint8_t *>(prefix) - bytes);
        std::size_t code = at + 1;
        while (code < size && bytes[code] == markerByte)
            ++code;
        if (code == size)
            return std::nullopt;
        if (!insideCodedData(bytes[code]))
            return MarkerPlace { bytes[code], at, code + 1 };
        from = code + 1;
    }
    return std::nullopt;
}

} // namespace imageio
