#include "platform/memory_budget.h"

#include <unistd.h>

namespace platform {

namespace {

constexpr std::uint64_t workingBytesPerPixel = 12;

// Half of physical memory in bytes, or 0 when it cannot be found.
std::uint64_t memoryBudget()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::uint64_t(pages) * std::uint64_t(pageSize) / 2;
}

} // namespace

bool fileFitsInMemory(std::uint64_t bytes)
{
    const std::uint64_t budget = memoryBudget();
    return budget == 0 || bytes <= budget;
}

bool pictureFitsInMemory(std::uint64_t width, std::uint64_t height)
{
    const std::uint64_t budget = memoryBudget();
    if (budget == 0 || width == 0 || height == 0)
        return true;
    // Divided rather than multiplied, so that no size can overflow.
    return height <= budget / workingBytesPerPixel / width;
}

} // namespace platform
