#pragma once

#include <cstdint>

namespace platform {

// Whether a picture of width x height pixels may be decoded on this machine: its working memory
// along the whole enhancement (about 12 bytes per pixel: the decoded picture, the codec's buffers
// and the working images) must stay within half of physical memory. True when the amount of
// physical memory cannot be found.
bool pictureFitsInMemory(std::uint64_t width, std::uint64_t height);

// Whether a file of this many bytes may be read into memory whole: at most half of physical
// memory, so that a huge file named like a photo fails cleanly instead of exhausting the machine.
// True when the amount of physical memory cannot be found.
bool fileFitsInMemory(std::uint64_t bytes);

} // namespace platform
