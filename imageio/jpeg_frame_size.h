#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace imageio {

struct JpegFrameSize {
    int width = 0;
    int height = 0;
};

// The pixel size that the frame header of the JPEG data in bytes declares, found by walking its
// segments from the start-of-image marker. Null when there is no such marker, a segment runs
// past the end, a scan or the end of the image comes before any frame header, or the header
// declares a width or height of 0. Reads nothing outside bytes[0..size).
std::optional<JpegFrameSize> readJpegFrameSize(const std::uint8_t *bytes, std::size_t size);

} // namespace imageio
