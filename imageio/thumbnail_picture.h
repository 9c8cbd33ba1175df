#pragma once

#include "image/bitmap.h"

namespace imageio {

// A width x height picture of picture for an embedded thumbnail: each pixel is the rounded mean of
// the block of source pixels it covers (blocks differ in size by at most one pixel; when the
// thumbnail is larger than the picture, pixels repeat). The picture keeps its proportions: when
// they differ from the thumbnail's by more than rounding, it is centred between black bars, as
// cameras store thumbnails of pictures of another shape. An empty picture gives black.
// Throws std::bad_alloc when memory runs out.
image::TBitmap makeThumbnailPicture(const image::TBitmap &picture, int width, int height);

} // namespace imageio
