#pragma once

#include "image/bitmap.h"

namespace bench {

// A photo-like picture: smooth gradients, a little texture and noise, a slight colour cast.
// Deterministic for a given size.
image::TBitmap photoLike(int width, int height);

// The 12-megapixel photo every benchmark measures, made once per process.
constexpr int photoWidth = 4000;
constexpr int photoHeight = 3000;
const image::TBitmap &photo();

} // namespace bench
