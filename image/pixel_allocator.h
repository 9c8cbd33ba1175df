#pragma once

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace image {

// Allocates pixel stores. A large one is a large block of the program's memory policy
// (platform/memory.h): mapped on its own, on transparent huge pages where it can be, and given
// back to the system when freed. Small blocks come from the usual heap.
class PixelAllocatorBase
{
protected:
    static void *allocateBytes(std::size_t bytes);
    static void deallocateBytes(void *block, std::size_t bytes) noexcept;
};

template <typename T>
class PixelAllocator : private PixelAllocatorBase
{
public:
    using value_type = T;

    PixelAllocator() = default;
    template <typename U>
    PixelAllocator(const PixelAllocator<U> &) noexcept
    {
    }

    T *allocate(std::size_t count) { return static_cast<T *>(allocateBytes(count * sizeof(T))); }
    void deallocate(T *block, std::size_t count) noexcept
    {
        deallocateBytes(block, count * sizeof(T));
    }

    // Elements are default-initialised: a store that is about to be overwritten is not first
    // filled with zeros. Whoever needs zeros asks for them.
    template <typename U>
    void construct(U *element) noexcept
    {
        ::new (static_cast<void *>(element)) U;
    }
    template <typename U, typename... Args>
    void construct(U *element, Args &&...args)
    {
        ::new (static_cast<void *>(element)) U(std::forward<Args>(args)...);
    }

    template <typename U>
    bool operator==(const PixelAllocator<U> &) const noexcept
    {
        return true;
    }
    template <typename U>
    bool operator!=(const PixelAllocator<U> &) const noexcept
    {
        return false;
    }
};

using PixelStore = std::vector<unsigned char, PixelAllocator<unsigned char>>;

} // namespace image
