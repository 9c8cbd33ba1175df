#pragma once

#include <cstddef>
#include <cstdint>

namespace imageio {

// Declared pixels per byte of picture data. A photo, even one cut short after its first scan,
// codes a few dozen pixels per byte; a picture of one flat grey in Huffman coding, the extreme
// case, 256. A file below this cannot hold the picture it declares, and refusing it spares a
// picture's worth of memory and a pass of made-up data. Only a flat picture in the rare
// arithmetic coding could go beyond, and that is no photo.
constexpr std::uint64_t mostPixelsPerByte = 4096;

// The bytes of the JPEG data bytes[0..size) that can carry its picture: each scan's header and
// coded data (restart markers and stuffed bytes included), from the first scan up to the end of
// the image. What the codec reads but no picture comes from is not counted: the segments before
// and between the scans (tables, comments, application data, however many), bytes it skips as
// garbage and anything after the end of the image, so that padding cannot make a file seem to
// hold more picture than it does. 0 without a start-of-image marker.
std::uint64_t scanBytes(const std::uint8_t *bytes, std::size_t size);

// Whether width x height pixels could come from that many bytes of scans at all.
bool pictureFitsInScans(std::uint64_t width, std::uint64_t height, std::uint64_t scanBytes);

// Checks the first count bytes of a JPEG file of fileSize bytes before the rest is read. Throws
// EJPEG 52 when they do not begin with the start-of-image marker (as decoding them would), and
// EJPEG 40 when a frame header among them declares more pixels than the whole file could code;
// what lies beyond them is left to the checks of the whole file. An empty file passes: it fails
// at decoding.
void checkJpegStart(const std::uint8_t *first, std::size_t count, std::uint64_t fileSize);

} // namespace imageio
