#pragma once

#include <string>

namespace bench {

// The codec floor of a photo: what app::EnhancePhoto does without the enhancement. Reads source,
// decodes it, encodes the picture with the same settings (quality, scan kind, segments) and puts
// the file in place at dest. Throws as EnhancePhoto does.
void codecFloor(const std::string &source, const std::string &dest);

} // namespace bench
