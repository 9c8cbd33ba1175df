#pragma once

#include "image/bitmap.h"

namespace bench {

// A photo-like picture: smooth gradients, a little texture and noise, a slight colour cast.
// Deterministic for a given size.
image::TBitmap photoLike(int width, int height);

} // namespace bench
