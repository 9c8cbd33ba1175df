#pragma once

#include "image/bitmap.h"

namespace enhance {

// Finds the levels of the brightness index (red + 2 * blue) / 3 below and above which at most
// ClipPercent per cent of the pixels lie. For a picture with pixels 0 <= LowPoint <= HighPoint
// <= 255; for an empty picture LowPoint = 256 and HighPoint = -1.
void FindClipPoints(const image::TBitmap &Image, int &LowPoint, int &HighPoint, float ClipPercent);

} // namespace enhance
