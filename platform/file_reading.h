#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <time.h>

namespace platform {

// All bytes of the regular file at path (a byte string, used as it is). Throws EFOpenError when
// it cannot be opened or is not a regular file (a folder, FIFO or device never blocks the call),
// EReadError when fewer bytes can be read than its size, EStreamError when they do not fit in
// memory.
std::vector<std::uint8_t> readWholeFile(const std::string &path);

// The first bytes of the regular file at path, at most `most` of them (fewer when the file is
// shorter). Throws as readWholeFile does.
std::vector<std::uint8_t> readFileStart(const std::string &path, std::size_t most);

// The modification time of the file at path. Throws EFOpenError when it cannot be asked.
timespec modificationTime(const std::string &path);

} // namespace platform
