#pragma once

#include <cstddef>
#include <cstdint>

// The program's one memory policy: how much a photo needs, how much the photos of a run may
// hold at once, and how large blocks are taken from and given back to the system.
namespace platform {

// Memory one photo of width x height pixels needs while it is read, decoded, enhanced, encoded
// and written: its picture, its file and the codec's buffers, about 4 bytes per pixel, counted
// as 5. A photo of several scans (progressive) holds a whole picture of the codec's coefficients
// besides, while it is decoded and again while it is encoded: 6.5 to 8 bytes per pixel, counted
// as 10. Saturates instead of overflowing.
std::uint64_t photoWorkingBytes(std::uint64_t width, std::uint64_t height, bool multipleScans);

// Memory a photo of width x height pixels read from a file of fileBytes needs: photoWorkingBytes,
// which counts a file of up to a byte per pixel, and twice whatever the file holds beyond that (a
// padded file, a video after the picture): once as read, once in the result that carries it on.
// Saturates instead of overflowing.
std::uint64_t photoBytesWithFile(
    std::uint64_t width, std::uint64_t height, bool multipleScans, std::uint64_t fileBytes);

// What the photos in work may hold at once: the smallest of half of physical memory, what is
// left under RLIMIT_AS and RLIMIT_DATA, and the memory limit of this process's control group
// (v2 memory.max, v1 memory.limit_in_bytes, the smallest along the way up). The largest
// number when none of them can be found. measureMemoryBudget measures afresh (each run starts
// with it); memoryBudget returns the last measure, measuring the first time.
std::uint64_t measureMemoryBudget();
std::uint64_t memoryBudget();

// Whether a photo of width x height pixels fits in budget bytes at all; 0: in memoryBudget().
bool pictureFitsInMemory(
    std::uint64_t width, std::uint64_t height, bool multipleScans, std::uint64_t budget = 0);

// Whether a file of this many bytes may be read into memory whole: at most memoryBudget(), so
// that a huge file named like a photo fails cleanly instead of exhausting the machine.
bool fileFitsInMemory(std::uint64_t bytes);

// From this size on a block is large: it is mapped from the system on its own and given back
// to the system when freed, so that what one photo used never stays with the process.
constexpr std::size_t largeBlockBytes = std::size_t(1) << 20;

// A block of at least largeBlockBytes, page-aligned, zero-filled, aligned to 2 MB and offered
// transparent huge pages from 2 MB on (a 12-megapixel picture then faults in some 20 pages
// instead of 9,000). Throws std::bad_alloc when the system has no room for it.
void *allocateLargeBlock(std::size_t bytes);
// Gives a block of allocateLargeBlock(bytes) back to the system.
void freeLargeBlock(void *block, std::size_t bytes) noexcept;

// Makes the C library's allocator follow the same policy, for the blocks it hands out itself
// (the codec's buffers, file bytes, encoded output):
//  - its large blocks are mapped on their own too. Without this glibc raises its threshold once
//    the first large block is freed and keeps later photos' freed memory on its heap: a run over
//    photos of mixed sizes then peaks near twice what its largest photo needs;
//  - all threads share one heap for the small blocks that are left. A heap per thread reserves
//    64 MB of address space each, which under an address-space limit (ulimit -v) takes from
//    the photos what the budget counted on.
// Once per process; later calls do nothing.
void useMemoryPolicy();

} // namespace platform
