#pragma once

#include "image/bitmap.h"

#include <string>

namespace bench {

// The codec floor of a photo: what run::EnhancePhoto does without the enhancement. Reads source,
// decodes it, encodes the picture with the same settings (quality, scan kind, segments) and puts
// the file in place at dest. Throws as EnhancePhoto does.
void codecFloor(const std::string &source, const std::string &dest);

// The codec floor with `encoded` coded in place of the decoded picture, which is still decoded.
// Given the photo's enhanced picture, this is the codec's own share of an enhanced photo: the
// sharpened picture holds more detail, which costs the encoder more than the floor's picture.
// So floor / codecBound is the most floor / whole can reach with operations that cost nothing.
void codecBound(const std::string &source, const image::TBitmap &encoded, const std::string &dest);

// The source decoded and enhanced, for codecBound.
image::TBitmap enhancedPicture(const std::string &source);

} // namespace bench
