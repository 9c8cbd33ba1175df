#pragma once

#include "image/bitmap.h"

namespace enhance {

// The fixed sequence on the photo held in `first`: removes its colour cast, stretches its
// contrast through the tone curve between the 0.1 % clip points, and sharpens it. `second` is
// scratch: it is refreshed from `first` before each step that must read the picture as it was,
// and afterwards holds the picture as it was before sharpening. Two distinct images.
void EnhancePicture(image::TBitmap &first, image::TBitmap &second);

} // namespace enhance
