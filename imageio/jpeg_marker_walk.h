#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace imageio {

constexpr std::uint8_t markerByte = 0xFF;

// One marker found in a JPEG file.
struct MarkerPlace {
    std::uint8_t code = 0;
    std::size_t at = 0; // the first 0xFF before the code, fill bytes included
    std::size_t after = 0; // the first byte after the code
};

// The next marker in bytes[from..size), skipping coded data, stray bytes, stuffed zeros, restart
// markers and fill bytes, as the codec's marker reader and entropy decoders do; null when the
// bytes end first. Reads nothing outside bytes[0..size).
std::optional<MarkerPlace> nextMarker(const std::uint8_t *bytes, std::size_t size, std::size_t from);

} // namespace imageio
