#include "image/pixel_allocator.h"

#include "platform/memory.h"

#include <new>

namespace image {

void *PixelAllocatorBase::allocateBytes(std::size_t bytes)
{
    if (bytes < platform::largeBlockBytes)
        return ::operator new(bytes);
    return platform::allocateLargeBlock(bytes);
}

void PixelAllocatorBase::deallocateBytes(void *block, std::size_t bytes) noexcept
{
    if (bytes < platform::largeBlockBytes)
        ::operator delete(block);
    else
        platform::freeLargeBlock(block, bytes);
}

} // namespace image
