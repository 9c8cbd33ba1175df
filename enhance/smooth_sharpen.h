#pragma once

#include "image/bitmap.h"

namespace enhance {

// Smooths Source with the 3x3 kernel 7 10 7 / 10 32 10 / 7 10 7 (sum 100, borders repeat the
// edge pixels) into Dest and, when Sharpen, pushes each channel away from its smoothed value by
// Amount (clamped 1..4) where they differ by at least Threshold (clamped 0..20).
// Throws core::Error when Dest and Source are the same image or differ in size.
void SmoothSharpen(image::TBitmap &Dest, const image::TBitmap &Source, bool Sharpen,
                   int Threshold, int Amount);

} // namespace enhance
