#pragma once

#include "image/bitmap.h"
#include "imageio/jpeg_image.h"

#include <cstdint>
#include <vector>

namespace run {

// Decodes the photo loaded into jpeg into picture, enhances it (enhance::RowSequence) and
// encodes the result as jpeg.SaveToBytes would, returning the bytes jpeg then holds. Decoding,
// enhancing and encoding meet row by row: picture is the one whole picture held, the photo as
// decoded, and the file's bytes are let go before encoding starts. Throws as TJPEGImage's
// CopyToBitmap and SaveToBytes do.
const std::vector<std::uint8_t> &enhanceLoadedPhoto(
    imageio::TJPEGImage &jpeg, image::TBitmap &picture);

} // namespace run
