#pragma once

#include "image/bitmap.h"
#include "imageio/jpeg_markers.h"

#include <cstdint>
#include <vector>

namespace imageio {

// Encodes picture as a JFIF file: YCbCr 4:2:0, float DCT, the standard tables scaled for
// quality (1..100, clamped), baseline or the standard progressive sequence, and segments (APPn
// and comments) written unchanged, in order, right after the JFIF header, which has the given
// print size. Without jfifHeader the file has no JFIF header, as a thumbnail embedded in Exif must
// not. An empty picture gives no bytes.
// Throws EJPEG when the codec stops, EStreamError when the output does not fit in memory.
std::vector<std::uint8_t> encodeJpeg(const image::TBitmap &picture, int quality, bool progressive,
    const JpegMarkers &segments, bool jfifHeader = true, const JpegDensity &density = {});

} // namespace imageio
