#pragma once

#include "image/bitmap.h"

namespace bench {

// The 12-megapixel photo every benchmark measures, made once per process.
constexpr int photoWidth = 4000;
constexpr int photoHeight = 3000;
const image::TBitmap &photo();

} // namespace bench
