#pragma once

#include <cstddef>

namespace platform {

// Raises this process's soft limit of open files to its hard limit, as programs that may hold
// many files open at once do; the soft limit stays as it was where that is refused. Once, early
// in main().
void raiseOpenFileLimit();

// How many more files this process may open now: its soft limit less the descriptors open
// (counted in /proc/self/fd, or taken as 64 where that cannot be read). The largest number when
// there is no limit.
std::size_t openFilesLeft();

} // namespace platform
