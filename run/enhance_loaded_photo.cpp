#include "run/enhance_loaded_photo.h"

#include "enhance/enhance_picture.h"

namespace run {

const std::vector<std::uint8_t> &enhanceLoadedPhoto(
    imageio::TJPEGImage &jpeg, image::TBitmap &picture)
{
    enhance::RowSequence sequence;
    // The cast is measured on each band of rows as the decoder leaves it in the cache.
    jpeg.CopyToBitmap(picture, [&sequence](const image::TBitmap &decoded, int first, int count) {
        sequence.measureRows(decoded, first, count);
    });
    // The codec object would keep the file's bytes and its own share of the picture; taking an
    // empty picture lets both go (the scan kind and the segments stay), before the encoder's
    // buffers are taken.
    jpeg.CopyFromBitmap(image::TBitmap());
    sequence.findLevels(picture);
    return jpeg.SaveRowsToBytes(
        picture.Width(), picture.Height(), [&](std::uint8_t *const *rows, int first, int count) {
            sequence.finishRows(picture, rows, first, count);
        });
}

} // namespace run
