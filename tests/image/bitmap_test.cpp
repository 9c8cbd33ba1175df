#include "image/bitmap.h"

#include "image/error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

using image::TBitmap;

namespace {

TBitmap patterned(int width, int height)
{
    TBitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (std::size_t i = 0; i < bitmap.rowBytes(); ++i)
            bitmap.ScanLine(y)[i] = std::uint8_t(y * 31 + i * 7);
    return bitmap;
}

} // namespace

// Rows must be distinct, contiguous and top-down: the codec and the filters rely on it.
TEST(TBitmap, RowsAreContiguousTopDown)
{
    TBitmap bitmap(5, 3);
    EXPECT_EQ(bitmap.rowBytes(), 15u);
    EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), 15);
    EXPECT_EQ(bitmap.ScanLine(2) - bitmap.ScanLine(1), 15);
    EXPECT_EQ(bitmap.Bits(), bitmap.ScanLine(0));
}

TEST(TBitmap, RowIndexOutsideThePictureIsRefused)
{
    TBitmap bitmap(2, 2);
    for (int y : { -1, 2, 1000 }) {
        try {
            bitmap.ScanLine(y);
            FAIL() << "row " << y << " was accepted";
        } catch (const image::EInvalidGraphicOperation &error) {
            EXPECT_STREQ(error.what(), "Scan line index out of range");
        }
    }
    const TBitmap empty;
    EXPECT_THROW(empty.ScanLine(0), image::EInvalidGraphicOperation);
}

// A copy shares storage until written; neither side may ever see the other's writes.
TEST(TBitmap, AssignedCopiesAreIndependentInBothDirections)
{
    TBitmap original = patterned(4, 3);
    TBitmap copy;
    copy.Assign(original);
    EXPECT_TRUE(copy.SharesPixelsWith(original));

    copy.ScanLine(1)[0] = 200;
    EXPECT_FALSE(copy.SharesPixelsWith(original));
    EXPECT_EQ(original.ScanLine(1)[0], patterned(4, 3).ScanLine(1)[0]);

    TBitmap second;
    second.Assign(copy);
    copy.ScanLine(0)[0] = 17; // write through the original holder this time
    EXPECT_EQ(second.ScanLine(0)[0], patterned(4, 3).ScanLine(0)[0]);
    EXPECT_EQ(second.ScanLine(1)[0], 200);
}

TEST(TBitmap, AssignTakesSizeAndReadingDoesNotUnshare)
{
    const TBitmap source = patterned(3, 2);
    TBitmap target(10, 10);
    target.Assign(source);
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.Height(), 2);
    const TBitmap &readOnly = target;
    EXPECT_EQ(std::memcmp(readOnly.ScanLine(1), source.ScanLine(1), 9), 0);
    EXPECT_TRUE(target.SharesPixelsWith(source));
}

TEST(TBitmap, EmptyAndNegativeSizes)
{
    TBitmap bitmap(-3, 4);
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Bits(), nullptr);
    // Its four rows exist but hold no bytes; asking for one must not touch a missing store.
    EXPECT_EQ(bitmap.ScanLine(3), nullptr);
    EXPECT_EQ(static_cast<const TBitmap &>(bitmap).ScanLine(0), nullptr);
    bitmap.SetSize(2, 1);
    EXPECT_EQ(bitmap.ScanLine(0)[5], 0);
}

// Writing a whole picture anew must never show through in an image that shared the old pixels.
TEST(TBitmap, OverwriteLeavesSharersUnchanged)
{
    const TBitmap original = patterned(600, 700); // large enough to be kept as a spare
    TBitmap writer;
    writer.Assign(original);
    std::uint8_t *bits = writer.BitsForOverwrite();
    std::fill(bits, bits + writer.rowBytes() * 700, std::uint8_t(9));
    EXPECT_FALSE(writer.SharesPixelsWith(original));
    EXPECT_EQ(
        std::memcmp(original.Bits(), patterned(600, 700).Bits(), original.rowBytes() * 700), 0);
    EXPECT_EQ(writer.ScanLine(699)[0], 9);
}

// A store released by one image and taken again by the next copy keeps no trace of its past.
TEST(TBitmap, ReusedStoresStartClean)
{
    {
        TBitmap scratch = patterned(600, 700);
        TBitmap sharer;
        sharer.Assign(scratch);
        scratch.ScanLine(0)[0] = 1; // detach: scratch gets its own store
    } // both stores released here
    const TBitmap fresh(600, 700);
    for (int y : { 0, 350, 699 })
        for (std::size_t i = 0; i < fresh.rowBytes(); ++i)
            ASSERT_EQ(fresh.ScanLine(y)[i], 0) << "row " << y;

    const TBitmap source = patterned(600, 700);
    TBitmap copy;
    copy.Assign(source);
    copy.ScanLine(5)[0] = 77;
    EXPECT_EQ(std::memcmp(copy.ScanLine(6), source.ScanLine(6), copy.rowBytes()), 0);
}

namespace {

// Small allocations to let through before one fails; negative: none fails.
thread_local int t_smallAllocationsBeforeFailure = -1;

} // namespace

void *operator new(std::size_t size)
{
    if (size <= 64 && t_smallAllocationsBeforeFailure >= 0
        && t_smallAllocationsBeforeFailure-- == 0)
        throw std::bad_alloc();
    if (void *block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}

// The replacement new above takes its blocks from malloc, so free is the matching release;
// the compiler cannot see that pairing across the replacement.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void *block) noexcept
{
    std::free(block);
}

void operator delete(void *block, std::size_t) noexcept
{
    std::free(block);
}
#pragma GCC diagnostic pop

// A store whose bookkeeping cannot be allocated must be freed exactly once: freed twice, or kept
// for reuse and freed as well, the next picture would be written into freed memory.
TEST(TBitmap, FailedBookkeepingFreesTheStoreOnce)
{
    for (const int height : {10, 400}) {    // a small store, and one large enough to keep
        t_smallAllocationsBeforeFailure = 1; // the store's own object passes, its owner fails
        EXPECT_THROW(TBitmap(1000, height), std::bad_alloc);
        t_smallAllocationsBeforeFailure = -1;
        TBitmap next(1000, height);
        const TBitmap other = patterned(1000, height);
        next.Assign(other);
        next.ScanLine(0)[0] = 5;
        EXPECT_EQ(next.ScanLine(height - 1)[7], other.ScanLine(height - 1)[7]);
    }
}
