#include "imageio/jpeg_scan_bytes.h"

#include "imageio/errors.h"
#include "imageio/jpeg_error_number.h"
#include "imageio/jpeg_frame_size.h"

#include <cstring>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace imageio {

namespace {

constexpr std::uint8_t markerByte = 0xFF;
constexpr std::uint8_t startOfImage = 0xD8;
constexpr std::uint8_t endOfImage = 0xD9;
constexpr std::uint8_t startOfScan = 0xDA;

bool isRestart(std::uint8_t code)
{
    return code >= 0xD0 && code <= 0xD7;
}

// Markers that stand alone, without a length: TEM and the restart markers.
bool standsAlone(std::uint8_t code)
{
    return code == 0x01 || isRestart(code);
}

// Where the coded data that starts at `at` ends: at the first marker that is neither a stuffed
// byte (FF 00, fill bytes before it included) nor a restart marker, as the codec's entropy
// decoder reads it.
std::size_t codedDataEnd(const std::uint8_t *bytes, std::size_t size, std::size_t at)
{
    while (at < size) {
        const void *found = std::memchr(bytes + at, markerByte, size - at);
        if (!found)
            return size;
        const std::size_t marker = std::size_t(static_cast<const std::uint8_t *>(found) - bytes);
        at = marker;
        while (at < size && bytes[at] == markerByte)
            ++at;
        if (at == size)
            return size;
        if (bytes[at] != 0x00 && !isRestart(bytes[at]))
            return marker;
        ++at;
    }
    return size;
}

} // namespace

std::uint64_t scanBytes(const std::uint8_t *bytes, std::size_t size)
{
    if (size < 2 || bytes[0] != markerByte || bytes[1] != startOfImage)
        return 0;
    std::uint64_t counted = 0;
    std::size_t at = 2;
    while (at < size) {
        // Between segments the codec skips anything up to a marker, and fill bytes before it.
        const void *found = std::memchr(bytes + at, markerByte, size - at);
        if (!found)
            break;
        const std::size_t marker = std::size_t(static_cast<const std::uint8_t *>(found) - bytes);
        at = marker;
        while (at < size && bytes[at] == markerByte)
            ++at;
        if (at == size)
            break;
        const std::uint8_t code = bytes[at++];
        if (code == endOfImage || code == startOfImage)
            break;
        if (code == 0x00 || standsAlone(code))
            continue; // a stuffed byte out of place is skipped too
        if (size - at < 2)
            break;
        const std::size_t length = std::size_t(bytes[at]) << 8 | bytes[at + 1];
        if (length < 2)
            break;
        if (code != startOfScan) {
            if (length > size - at)
                break;
            at += length;
            continue;
        }
        const std::size_t header = std::min(length, size - at);
        const std::size_t end = codedDataEnd(bytes, size, at + header);
        counted += end - marker;
        at = end;
    }
    return counted;
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
    if (first[0] != markerByte || count < 2 || first[1] != startOfImage)
        throw EJPEG(classicJpegErrorNumber(JERR_NO_SOI));
    const std::optional<JpegFrameSize> frame = readJpegFrameSize(first, count);
    if (frame
        && !pictureFitsInScans(std::uint64_t(frame->width), std::uint64_t(frame->height), fileSize))
        throw EJPEG(classicJpegErrorNumber(JERR_IMAGE_TOO_BIG));
}

} // namespace imageio
