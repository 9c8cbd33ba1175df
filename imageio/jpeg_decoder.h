#pragma once

#include "image/bitmap.h"
#include "imageio/jpeg_layout.h"
#include "imageio/jpeg_markers.h"
#include "imageio/jpeg_warnings.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace imageio {

struct JpegHeader {
    int width = 0; // as the frame header declares them
    int height = 0;
    bool multipleScans = false; // progressive, or sequential with separate component scans
    JpegMarkers keptSegments; // kept APPn (ICC profiles only of colour) and comments, in order
    JpegDensity density; // of the JFIF header; the default when there is none
};

// Reads the header of the JPEG file held in bytes, whose layout is readJpegLayout(bytes), keeping
// its segments and then its comments after the first scan within the bounds of jpeg_markers.h.
// Throws EJPEG when the codec stops (52 for something that is not a JPEG file, 41 for no bytes at
// all), EJPEG 40 for a picture that its scans could not code (more than mostPixelsPerByte pixels
// per byte of scans, see jpeg_scan_bytes.h), EStreamError when the kept segments do not fit in
// memory.
JpegHeader readJpegHeader(const std::vector<std::uint8_t> &bytes, const JpegLayout &layout);

// Decodes the JPEG file held in bytes at full size into a new 24-bit picture. Colour and
// grayscale files come out as blue, green, red (grey repeated); CMYK and YCCK files are
// converted from the codec's CMYK values. Throws EJPEG when the codec stops (14 for a file of
// more than 1000 scans or whose scans add up to more than 32 passes over the picture, which only
// a damaged or crafted file has); before allocating anything, EJPEG 40 for a picture of more
// than 4096 pixels per byte of its scans (padding elsewhere does not count), far more than any
// photo codes, and EJPEG 53 for a picture too large for memoryBudget bytes
// (platform::pictureFitsInMemory; 0: this machine's budget); EJPEG 53 also when memory runs out.
// The codec's warnings go to warnings when given. rowsDecoded, when given, is called as each
// band of rows is in place, first..first+count-1 of the picture being decoded, from the top; it
// may throw to give the decoding up.
using RowsDecoded = std::function<void(const image::TBitmap &picture, int first, int count)>;
image::TBitmap decodeJpeg(const std::vector<std::uint8_t> &bytes,
    JpegWarnings *warnings = nullptr, std::uint64_t memoryBudget = 0,
    const RowsDecoded &rowsDecoded = {});

} // namespace imageio
