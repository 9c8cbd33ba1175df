#pragma once

#include "image/bitmap.h"

#include <cstdint>

namespace enhance {

// Finds the levels of the brightness index (red + 2 * blue) / 3 below and above which at most
// ClipPercent per cent of the pixels lie. For a picture with pixels 0 <= LowPoint <= HighPoint
// <= 255; for an empty picture LowPoint = 256 and HighPoint = -1.
void FindClipPoints(const image::TBitmap &Image, int &LowPoint, int &HighPoint, float ClipPercent);

// The number of pixels that may be cut off at each end: truncate(total * ClipPercent * 0.01),
// the float widened to double and multiplied in that order. Kept within -1..total + 1, which
// moves no clip point; a NaN product counts as 0.
std::int64_t clipCount(std::int64_t total, float ClipPercent);

} // namespace enhance
