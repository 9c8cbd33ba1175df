#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The SHA-256 digest of bytes as 64 lower-case hex digits.
std::string sha256Hex(const std::vector<std::uint8_t> &bytes);

} // namespace testing_support
