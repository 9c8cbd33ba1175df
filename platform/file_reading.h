#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <time.h>

namespace platform {

// Shown a file's size and its first bytes before the rest is read: throws to refuse the file,
// which is then read no further.
using FirstBytesCheck
    = std::function<void(std::uint64_t size, const std::uint8_t *first, std::size_t count)>;

// All bytes of the regular file at path (a byte string, used as it is, of any length: see
// openPath). With check, its first min(firstBytes, size) bytes are read and shown to check
// before anything else is read or allocated. Throws EFOpenError when it cannot be opened or is not
// a regular file (a folder, FIFO or device never blocks the call), EReadError when fewer bytes can
// be read than its size, EStreamError when they do not fit in memory (fileFitsInMemory), and
// whatever check throws.
std::vector<std::uint8_t> readWholeFile(
    const std::string &path, std::size_t firstBytes = 0, const FirstBytesCheck &check = {});

// The first bytes of the regular file at path, at most `most` of them (fewer when the file is
// shorter). Throws as readWholeFile does.
std::vector<std::uint8_t> readFileStart(const std::string &path, std::size_t most);

// Passes the bytes of the regular file at path to take, in order, at most chunkBytes (> 0) at a
// time, so that a file of any size passes through a small buffer. Throws EFOpenError as
// readWholeFile does, EReadError when fewer bytes can be read than the size it had when opened,
// and whatever take throws.
void readFileInChunks(const std::string &path, std::size_t chunkBytes,
    const std::function<void(const std::vector<std::uint8_t> &chunk)> &take);

// The modification time of the file at path. Throws EFOpenError when it cannot be asked.
timespec modificationTime(const std::string &path);

} // namespace platform
