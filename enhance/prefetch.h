#pragma once

#include <cstddef>
#include <cstdint>

namespace enhance {

// Some machines (virtual ones among them) prefetch too little by themselves to keep a pass over
// a whole photo fed; asking for memory explicitly makes the passes several times faster there
// and costs next to nothing elsewhere. The hints never fault; callers name only addresses inside
// the pixel block all the same.
inline void prefetchRead(const std::uint8_t *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address, 0);
#else
    (void)address;
#endif
}

inline void prefetchWrite(std::uint8_t *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address, 1);
#else
    (void)address;
#endif
}

// How far ahead of a sequential pass to ask for memory.
constexpr std::size_t prefetchDistance = 1024;

// Hints that bytes[at + prefetchDistance] of a block of `size` bytes will be read soon.
inline void prefetchAhead(const std::uint8_t *bytes, std::size_t at, std::size_t size)
{
    if (at + prefetchDistance < size)
        prefetchRead(bytes + at + prefetchDistance);
}

// The same for bytes about to be written.
inline void prefetchAhead(std::uint8_t *bytes, std::size_t at, std::size_t size)
{
    if (at + prefetchDistance < size)
        prefetchWrite(bytes + at + prefetchDistance);
}

} // namespace enhance
