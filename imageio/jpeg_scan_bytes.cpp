#include "imageio/jpeg_scan_bytes.h"

#include "imageio/errors.h"
#include "imageio/jpeg_error_number.h"
#include "imageio/jpeg_frame_size.h"
#include "imageio/jpeg_layout.h"

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace imageio {

std::uint64_t scanBytes(const std::uint8_t *bytes, std::size_t size)
{
    return readJpegLayout(bytes, size).scanBytes;
}

bool pictureFitsInScans(std::uint64_t width, std::uint64_t height, std::uint64_t scanBytes)
{
    // Divided rather than multiplied: a file's size may come near the largest number.
    return (width * height + mostPixelsPerByte - 1) / mostPixelsPerByte <= scanBytes;
}

void checkJpegStart(const std::uint8_t *first, std::size_t count, std::uint64_t fileSize)
{
    if (count == 0)
        return;
    if (first[0] != 0xFF || count < 2 || first[1] != 0xD8) // the start-of-image marker
        throw EJPEG(classicJpegErrorNumber(JERR_NO_SOI));
    const std::optional<JpegFrameSize> frame = readJpegFrameSize(first, count);
    if (frame
        && !pictureFitsInScans(std::uint64_t(frame->width), std::uint64_t(frame->height), fileSize))
        throw EJPEG(classicJpegErrorNumber(JERR_IMAGE_TOO_BIG));
}

} // namespace imageio
