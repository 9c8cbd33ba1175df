#include "imageio/jpeg_frame_size.h"

namespace imageio {

namespace {

// SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool isFrameHeader(std::uint8_t code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Markers that stand alone, without a length: TEM and RST0..RST7.
bool standsAlone(std::uint8_t code)
{
    return code == 0x01 || (code >= 0xD0 && code <= 0xD7);
}

} // namespace

std::optional<JpegFrameSize> readJpegFrameSize(const std::uint8_t *bytes, std::size_t size)
{
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return std::nullopt;
    std::size_t at = 2;
    while (at + 1 < size) {
        if (bytes[at] != 0xFF)
            return std::nullopt;
        const std::uint8_t code = bytes[at + 1];
        if (code == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        at += 2;
        if (standsAlone(code))
            continue;
        if (code == 0xD8 || code == 0xD9 || code == 0xDA || at + 2 > size)
            return std::nullopt;
        const std::size_t length = std::size_t(bytes[at]) << 8 | bytes[at + 1];
        if (length < 2 || length > size - at)
            return std::nullopt;
        if (isFrameHeader(code)) {
            if (length < 7) // length, precision, height, width
                return std::nullopt;
            const int height = bytes[at + 3] << 8 | bytes[at + 4];
            const int width = bytes[at + 5] << 8 | bytes[at + 6];
            if (width == 0 || height == 0)
                return std::nullopt;
            return JpegFrameSize { width, height };
        }
        at += length;
    }
    return std::nullopt;
}

} // namespace imageio
