#include "image/pixel_allocator.h"

#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace image {

namespace {

constexpr std::size_t hugePageBytes = std::size_t(2) << 20;

bool isLarge(std::size_t bytes)
{
    return bytes >= hugePageBytes;
}

} // namespace

void *PixelAllocatorBase::allocateBytes(std::size_t bytes)
{
    if (!isLarge(bytes))
        return ::operator new(bytes);
    if (bytes > std::size_t(-1) - hugePageBytes)
        throw std::bad_alloc();
    const std::size_t rounded = (bytes + hugePageBytes - 1) / hugePageBytes * hugePageBytes;
    void *block = std::aligned_alloc(hugePageBytes, rounded);
    if (!block)
        throw std::bad_alloc();
    // Only advice: where the kernel has no huge pages to give, ordinary pages serve as before.
    madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

void PixelAllocatorBase::deallocateBytes(void *block, std::size_t bytes) noexcept
{
    if (isLarge(bytes))
        std::free(block);
    else
        ::operator delete(block);
}

} // namespace image
