#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The folders of this process's control group in one hierarchy, its own first and then each
// parent up to the hierarchy's root, found from the texts of /proc/self/cgroup and
// /proc/self/mountinfo. controller names a version 1 controller ("cpu", "memory"); empty, it
// asks for the unified version 2 hierarchy. Empty when that hierarchy is not mounted.
std::vector<std::string> controlGroupFolders(
    const std::string &controller, const std::string &cgroupText, const std::string &mountInfoText);

// controlGroupFolders for this process.
std::vector<std::string> controlGroupFolders(const std::string &controller);

// Processors a CPU quota allows, rounded up; 0 when the quota is unlimited or unreadable.
// From the text of a v2 cpu.max ("150000 100000", "max 100000").
int coresFromCpuMax(const std::string &text);
// From v1 cpu.cfs_quota_us and cpu.cfs_period_us (a quota of -1 is unlimited).
int coresFromQuota(long long quota, long long period);

// Bytes of a memory limit file (v2 memory.max, v1 memory.limit_in_bytes); 0 for "max", for the
// huge value v1 uses for no limit, and for anything unreadable.
std::uint64_t bytesFromMemoryLimit(const std::string &text);

// The first line of a small file, without its line end; empty when it cannot be read.
std::string firstLineOf(const std::string &path);

} // namespace platform
