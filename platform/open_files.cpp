#include "platform/open_files.h"

#include <limits>
#include <memory>

#include <dirent.h>
#include <sys/resource.h>

namespace platform {

namespace {

// A guess for a process whose descriptors cannot be counted: its standard streams and the few
// files of its libraries, with room to spare.
constexpr std::size_t descriptorsGuessed = 64;

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

std::size_t descriptorsOpen()
{
    const std::unique_ptr<DIR, DirCloser> fds(opendir("/proc/self/fd"));
    if (!fds)
        return descriptorsGuessed;
    std::size_t count = 0;
    while (const dirent *entry = readdir(fds.get()))
        count += entry->d_name[0] != '.';
    return count > 0 ? count - 1 : 0; // the listing's own descriptor is among them
}

} // namespace

void raiseOpenFileLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::size_t openFilesLeft()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<std::size_t>::max();
    const std::size_t open = descriptorsOpen();
    return limit.rlim_cur > open ? std::size_t(limit.rlim_cur) - open : 0;
}

} // namespace platform
