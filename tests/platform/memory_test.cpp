#include "platform/control_groups.h"
#include "platform/memory.h"
#include "platform/usable_cores.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <ostream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct GroupCase {
    const char *name;
    const char *controller;
    const char *cgroup;
    const char *mountInfo;
    std::vector<std::string> folders;
};
void PrintTo(const GroupCase &c, std::ostream *os)
{
    *os << c.name;
}

class ControlGroupFolders : public ::testing::TestWithParam<GroupCase>
{
};

// A limit is looked for in the process's own group and every parent up to the mount.
TEST_P(ControlGroupFolders, RunFromTheOwnGroupUpToTheMount)
{
    const GroupCase &c = GetParam();
    EXPECT_EQ(platform::controlGroupFolders(c.controller, c.cgroup, c.mountInfo), c.folders);
}

const char *const hybridMounts
    = "30 25 0:26 / /sys/fs/cgroup/unified rw,nosuid - cgroup2 cgroup2 rw\n"
      "31 25 0:27 / /sys/fs/cgroup/cpu rw,relatime - cgroup cgroup rw,cpu\n"
      "32 25 0:28 / /sys/fs/cgroup/memory rw,relatime shared:9 - cgroup cgroup rw,memory\n";

INSTANTIATE_TEST_SUITE_P(Layouts, ControlGroupFolders,
    ::testing::Values(
        GroupCase { "UnifiedInAContainer", "", "0::/\n",
            "24 1 0:21 / /sys/fs/cgroup ro - cgroup2 cgroup2 rw\n", { "/sys/fs/cgroup" } },
        GroupCase { "UnifiedNested", "", "0::/user.slice/run-1.scope\n",
            "24 1 0:21 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n",
            { "/sys/fs/cgroup/user.slice/run-1.scope", "/sys/fs/cgroup/user.slice",
                "/sys/fs/cgroup" } },
        GroupCase { "VersionOneMemory", "memory", "4:memory:/api/864f\n1:cpu:/\n0::/\n",
            hybridMounts,
            { "/sys/fs/cgroup/memory/api/864f", "/sys/fs/cgroup/memory/api",
                "/sys/fs/cgroup/memory" } },
        GroupCase { "VersionOneCpuAmongOthers", "cpu", "2:cpuacct:/x\n1:cpu,cpuacct:/x\n",
            "31 25 0:27 / /sys/fs/cgroup/cpu,cpuacct rw - cgroup cgroup rw,cpu,cpuacct\n",
            { "/sys/fs/cgroup/cpu,cpuacct/x", "/sys/fs/cgroup/cpu,cpuacct" } },
        GroupCase { "MountShowsADeeperGroup", "", "0::/docker/abc/job\n",
            "24 1 0:21 /docker/abc /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n",
            { "/sys/fs/cgroup/job", "/sys/fs/cgroup" } },
        GroupCase {
            "NotMounted", "memory", "4:memory:/a\n", "22 1 8:1 / / rw - ext4 /dev/vda rw\n", {} }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ControlGroupLimits, QuotasAndMemoryLimitsAreReadAsTheKernelWritesThem)
{
    EXPECT_EQ(platform::coresFromCpuMax("max 100000"), 0);
    EXPECT_EQ(platform::coresFromCpuMax("150000 100000"), 2);
    EXPECT_EQ(platform::coresFromCpuMax("50000 100000"), 1);
    EXPECT_EQ(platform::coresFromCpuMax(""), 0);
    EXPECT_EQ(platform::coresFromQuota(-1, 100000), 0);
    EXPECT_EQ(platform::coresFromQuota(400000, 100000), 4);
    EXPECT_EQ(platform::bytesFromMemoryLimit("max"), 0u);
    EXPECT_EQ(platform::bytesFromMemoryLimit("9223372036854771712"), 0u);
    EXPECT_EQ(platform::bytesFromMemoryLimit("1073741824"), 1073741824u);
    EXPECT_EQ(platform::bytesFromMemoryLimit("-1"), 0u);
}

TEST(UsableCores, AtLeastOneAndNoMoreThanTheAffinityMask)
{
    cpu_set_t set;
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    EXPECT_GE(platform::usableCores(), 1);
    EXPECT_LE(platform::usableCores(), CPU_COUNT(&set));
}

std::uint64_t addressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * std::uint64_t(sysconf(_SC_PAGE_SIZE));
}

// Under an address-space limit the budget is what is left of it, not half of physical memory.
TEST(MemoryBudget, IsWhatIsLeftUnderAnAddressSpaceLimit)
{
    constexpr std::uint64_t left = std::uint64_t(300) << 20;
    const pid_t child = fork();
    if (child == 0) {
        const rlim_t limit = rlim_t(addressSpaceInUse() + left);
        const rlimit cap { limit, limit };
        if (setrlimit(RLIMIT_AS, &cap) != 0)
            _exit(2);
        const std::uint64_t budget = platform::measureMemoryBudget();
        _exit(budget <= left && budget > left - (std::uint64_t(20) << 20) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(
        platform::pictureFitsInMemory(std::uint64_t(1) << 40, std::uint64_t(1) << 40, false));
    EXPECT_TRUE(platform::pictureFitsInMemory(4000, 3000, true));
}

// Trimmed to a 2 MB boundary from 2 MB on; usable to the last byte and zero-filled either way.
TEST(LargeBlocks, AreAlignedZeroedAndWritableToTheirEnd)
{
    for (const std::size_t bytes :
        { platform::largeBlockBytes, std::size_t(2) << 20, (std::size_t(5) << 20) + 12345 }) {
        auto *block = static_cast<unsigned char *>(platform::allocateLargeBlock(bytes));
        const std::uintptr_t alignment = bytes >= (std::size_t(2) << 20) ? 2u << 20 : 4096;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignment, 0u) << bytes;
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(block[bytes - 1], 0);
        std::memset(block, 0xAB, bytes);
        platform::freeLargeBlock(block, bytes);
    }
}

} // namespace
