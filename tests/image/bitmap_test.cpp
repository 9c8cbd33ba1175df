#include "image/bitmap.h"

#include "image/error.h"

#include <gtest/gtest.h>

#include <cstring>

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
    for (int y : {-1, 2, 1000}) {
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
    copy.ScanLine(0)[0] = 17;          // write through the original holder this time
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
