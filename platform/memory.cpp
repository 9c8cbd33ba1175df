#include "platform/memory.h"

#include "platform/control_groups.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <limits>
#include <mutex>
#include <new>
#include <string>

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::uint64_t singleScanBytesPerPixel = 5;
constexpr std::uint64_t multipleScansBytesPerPixel = 10;
constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t hugePageBytes = std::size_t(2) << 20;

std::atomic<std::uint64_t> g_budget { 0 }; // 0: not measured yet

std::uint64_t pageBytes()
{
    const long size = sysconf(_SC_PAGE_SIZE);
    return size > 0 ? std::uint64_t(size) : 4096;
}

std::uint64_t halfOfPhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    return pages > 0 ? std::uint64_t(pages) * pageBytes() / 2 : unlimited;
}

// What is left under a resource limit, given what the process already uses of it.
std::uint64_t leftUnder(int resource, std::uint64_t used)
{
    rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return unlimited;
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

// The address space and the data (heap, anonymous mappings and stack) in use, from statm.
void addressSpaceInUse(std::uint64_t &total, std::uint64_t &data)
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0, shared = 0, text = 0, library = 0, dataPages = 0;
    statm >> size >> resident >> shared >> text >> library >> dataPages;
    total = size * pageBytes();
    data = dataPages * pageBytes();
}

std::uint64_t controlGroupLimit()
{
    std::uint64_t least = unlimited;
    const auto consider = [&least](std::uint64_t bytes) {
        if (bytes > 0)
            least = std::min(least, bytes);
    };
    for (const std::string &folder : controlGroupFolders(""))
        consider(bytesFromMemoryLimit(firstLineOf(folder + "/memory.max")));
    for (const std::string &folder : controlGroupFolders("memory"))
        consider(bytesFromMemoryLimit(firstLineOf(folder + "/memory.limit_in_bytes")));
    return least;
}

std::size_t roundedUp(std::size_t bytes, std::size_t unit)
{
    if (bytes > std::numeric_limits<std::size_t>::max() - unit)
        throw std::bad_alloc();
    return (bytes + unit - 1) / unit * unit;
}

// Blocks from 2 MB on are rounded to whole huge pages, so that their last part can be one too.
std::size_t mappedBytes(std::size_t bytes)
{
    return roundedUp(bytes, bytes >= hugePageBytes ? hugePageBytes : std::size_t(pageBytes()));
}

} // namespace

std::uint64_t photoWorkingBytes(std::uint64_t width, std::uint64_t height, bool multipleScans)
{
    const std::uint64_t perPixel
        = multipleScans ? multipleScansBytesPerPixel : singleScanBytesPerPixel;
    if (width == 0 || height == 0)
        return 0;
    if (height > unlimited / perPixel / width)
        return unlimited;
    return width * height * perPixel;
}

std::uint64_t photoBytesWithFile(
    std::uint64_t width, std::uint64_t height, bool multipleScans, std::uint64_t fileBytes)
{
    const std::uint64_t working = photoWorkingBytes(width, height, multipleScans);
    // width * height cannot overflow where working did not saturate.
    const std::uint64_t counted = working == unlimited ? unlimited : width * height;
    const std::uint64_t beyond = fileBytes > counted ? fileBytes - counted : 0;
    if (beyond > (unlimited - working) / 2)
        return unlimited;
    return working + 2 * beyond;
}

std::uint64_t measureMemoryBudget()
{
    std::uint64_t total = 0;
    std::uint64_t data = 0;
    addressSpaceInUse(total, data);
    const std::uint64_t budget = std::max<std::uint64_t>(1,
        std::min({ halfOfPhysicalMemory(), leftUnder(RLIMIT_AS, total),
            leftUnder(RLIMIT_DATA, data), controlGroupLimit() }));
    g_budget.store(budget);
    return budget;
}

std::uint64_t memoryBudget()
{
    const std::uint64_t budget = g_budget.load();
    return budget != 0 ? budget : measureMemoryBudget();
}

bool pictureFitsInMemory(
    std::uint64_t width, std::uint64_t height, bool multipleScans, std::uint64_t budget)
{
    return photoWorkingBytes(width, height, multipleScans)
        <= (budget != 0 ? budget : memoryBudget());
}

bool fileFitsInMemory(std::uint64_t bytes)
{
    return bytes <= memoryBudget();
}

void *allocateLargeBlock(std::size_t bytes)
{
    const std::size_t size = mappedBytes(bytes);
    // Mapped one huge page larger, then trimmed to a 2 MB boundary: only an aligned range can
    // be backed by huge pages.
    const std::size_t slack = size >= hugePageBytes ? hugePageBytes : 0;
    if (size > std::numeric_limits<std::size_t>::max() - slack)
        throw std::bad_alloc();
    const std::size_t mapped = size + slack;
    void *raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = slack == 0 ? start : (start + slack - 1) / slack * slack;
    if (const std::size_t head = aligned - start)
        munmap(raw, head);
    if (const std::size_t tail = start + mapped - (aligned + size))
        munmap(reinterpret_cast<void *>(aligned + size), tail);
    void *block = reinterpret_cast<void *>(aligned);
    // Only advice: where the kernel has no huge pages to give, ordinary pages serve as before.
    if (slack != 0)
        madvise(block, size, MADV_HUGEPAGE);
    return block;
}

void freeLargeBlock(void *block, std::size_t bytes) noexcept
{
    if (block)
        munmap(block, mappedBytes(bytes));
}

void useMemoryPolicy()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // A fixed threshold also stops glibc's adjusting it, and with it the trim threshold.
        mallopt(M_MMAP_THRESHOLD, int(largeBlockBytes));
        mallopt(M_ARENA_MAX, 1);
    });
}

} // namespace platform
