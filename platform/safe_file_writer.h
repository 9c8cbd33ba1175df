#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Makes the file at path (a byte string, used as it is) hold exactly bytes, or leaves it exactly
// as it was. The bytes go to a hidden temporary file in the same folder, are flushed to disk and
// then renamed over path; a replaced file keeps its permission bits, a new one gets 0666 less the
// umask. Throws EFCreateError(path) when the folder is missing or not writable or path is a
// read-only file or not a regular file, and EWriteError when writing or flushing falls short.
// No temporary file is left behind on any path.
void replaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes);

} // namespace platform
