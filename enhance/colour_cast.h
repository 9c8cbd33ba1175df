#pragma once

#include "image/bitmap.h"

namespace enhance {

// Measures the colour cast on the near-grey pixels of Source (every pairwise channel difference
// within +-Tolerance) and removes it from Dest by shifting whole channels. Dest's size governs;
// Source must be at least as large (throws core::Error otherwise). A picture without any
// near-grey pixel is left unchanged.
void RemoveColourCast(image::TBitmap &Dest, const image::TBitmap &Source, int Tolerance);

// Adds the three offsets to every pixel of Image, each channel clamped to 0..255.
void ShiftChannels(image::TBitmap &Image, int RedShift, int GreenShift, int BlueShift);

} // namespace enhance
