#include "imageio/memory_budget.h"

#include <unistd.h>

namespace imageio {

namespace {

constexpr std::uint64_t workingBytesPerPixel = 12;

} // namespace

bool pictureFitsInMemory(std::uint64_t width, std::uint64_t height)
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return true;
    const std::uint64_t budget = std::uint64_t(pages) * std::uint64_t(pageSize) / 2;
    if (width == 0 || height == 0)
        return true;
    // Divided rather than multiplied, so that no size can overflow.
    return height <= budget / workingBytesPerPixel / width;
}

} // namespace imageio
