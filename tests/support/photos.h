#pragma once

#include "image/bitmap.h"

#include <string>

namespace testing_support {

// A small picture with gradients, a colour cast and a few bright and dark spots, different for
// each seed, so that every enhancement step has something to change.
image::TBitmap samplePicture(int width, int height, int seed = 0);

// A photo-like picture of any size, as the benchmarks measure: smooth gradients, a little
// texture and noise, a slight warm cast. Deterministic for a given size.
image::TBitmap photoLike(int width, int height);

// Writes samplePicture as a baseline JPEG file through the program's own encoder.
void writeSamplePhoto(const std::string &path, int width = 48, int height = 32, int seed = 0);

} // namespace testing_support
