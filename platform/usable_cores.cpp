#include "platform/usable_cores.h"

#include "platform/control_groups.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include <sched.h>
#include <unistd.h>

namespace platform {

namespace {

int affinityCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return CPU_COUNT(&set);
    // More processors than a cpu_set_t holds, or no answer: the online count is the best guess.
    return int(sysconf(_SC_NPROCESSORS_ONLN));
}

long long numberIn(const std::string &path)
{
    const std::string text = firstLineOf(path);
    return text.empty() ? 0 : std::atoll(text.c_str());
}

// The smallest quota along the group's way up, in processors; 0 when none limits.
int quotaCores()
{
    int least = 0;
    const auto consider = [&least](int cores) {
        if (cores > 0 && (least == 0 || cores < least))
            least = cores;
    };
    for (const std::string &folder : controlGroupFolders(""))
        consider(coresFromCpuMax(firstLineOf(folder + "/cpu.max")));
    for (const std::string &folder : controlGroupFolders("cpu"))
        consider(coresFromQuota(
            numberIn(folder + "/cpu.cfs_quota_us"), numberIn(folder + "/cpu.cfs_period_us")));
    return least;
}

} // namespace

int usableCores()
{
    int cores = std::max(affinityCores(), 1);
    if (const int quota = quotaCores())
        cores = std::min(cores, quota);
    return cores;
}

} // namespace platform
