#include "enhance/smooth_sharpen.h"

#include "core/error.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using enhance_test::bytesOf;

struct Settings {
    bool sharpen;
    int threshold;
    int amount;
};

// SmoothSharpen into a destination full of 0x5A, so that a byte left unwritten shows.
std::vector<std::uint8_t> filtered(const image::TBitmap &source, const Settings &s)
{
    image::TBitmap dest(source.Width(), source.Height());
    std::fill_n(dest.Bits(), dest.rowBytes() * std::size_t(dest.Height()), 0x5A);
    enhance::SmoothSharpen(dest, source, s.sharpen, s.threshold, s.amount);
    return bytesOf(dest);
}

// The bytes of a 3x3 grey picture of `levels`.
std::vector<std::uint8_t> greys(const std::vector<int> &levels)
{
    std::vector<std::uint8_t> bytes;
    for (int level : levels)
        bytes.insert(bytes.end(), 3, std::uint8_t(level));
    return bytes;
}

image::TBitmap greyPicture(const std::vector<int> &levels)
{
    std::vector<enhance_test::Rgb> pixels;
    for (int level : levels)
        pixels.push_back({ level, level, level });
    return enhance_test::pictureOf(3, 3, pixels);
}

TEST(SmoothSharpen, WorkedExample)
{
    const std::vector<int> levels { 10, 20, 30, 40, 250, 60, 70, 80, 90 };
    const image::TBitmap source = greyPicture(levels);
    EXPECT_EQ(filtered(source, { true, 7, 2 }), greys({ 0, 0, 0, 0, 255, 26, 52, 56, 90 }));
    EXPECT_EQ(filtered(source, { false, 7, 2 }), greys({ 33, 47, 48, 62, 114, 77, 79, 92, 94 }));
    EXPECT_EQ(bytesOf(source), greys(levels));
}

// Grey 100 around 110 smooths the centre to 103: a difference of exactly the threshold is
// sharpened by the amount, one below it keeps the original. The neighbours differ by 1 or 0.
TEST(SmoothSharpen, ThresholdIsTheSmallestDifferenceSharpened)
{
    const image::TBitmap source = greyPicture({ 100, 100, 100, 100, 110, 100, 100, 100, 100 });
    EXPECT_EQ(
        filtered(source, { true, 7, 2 }), greys({ 100, 100, 100, 100, 124, 100, 100, 100, 100 }));
    EXPECT_EQ(
        filtered(source, { true, 7, 4 }), greys({ 100, 100, 100, 100, 138, 100, 100, 100, 100 }));
    EXPECT_EQ(filtered(source, { true, 8, 2 }), bytesOf(source));
}

TEST(SmoothSharpen, OnePixelAndUniformPicturesAreUnchanged)
{
    const image::TBitmap one = enhance_test::pictureOf(1, 1, { { 200, 13, 77 } });
    const image::TBitmap uniform = enhance_test::pictureOf(
        40, 3, std::vector<enhance_test::Rgb>(120, enhance_test::Rgb { 91, 160, 3 }));
    for (const image::TBitmap *source : { &one, &uniform })
        for (const Settings &s : { Settings { true, 0, 4 }, { true, 7, 2 }, { false, 20, 1 } })
            EXPECT_EQ(filtered(*source, s), bytesOf(*source))
                << source->Width() << "x" << source->Height() << " threshold " << s.threshold;
}

TEST(SmoothSharpen, OutOfRangeParametersActAsTheirLimit)
{
    const image::TBitmap source = enhance_test::randomPicture(23, 11, 17, 40);
    const struct {
        Settings given, same;
    } cases[] = { { { true, -5, 2 }, { true, 0, 2 } }, { { true, 50, 2 }, { true, 20, 2 } },
        { { true, 7, 0 }, { true, 7, 1 } }, { { true, 7, 9 }, { true, 7, 4 } } };
    for (const auto &c : cases)
        EXPECT_EQ(filtered(source, c.given), filtered(source, c.same))
            << "threshold " << c.given.threshold << " amount " << c.given.amount;
}

TEST(SmoothSharpen, RefusesOneImageTwiceAndDifferentSizes)
{
    image::TBitmap picture = enhance_test::randomPicture(4, 4, 2);
    const std::vector<std::uint8_t> before = bytesOf(picture);
    EXPECT_THROW(enhance::SmoothSharpen(picture, picture, true, 7, 2), core::Error);
    EXPECT_EQ(bytesOf(picture), before);

    image::TBitmap narrower(3, 4), shorter(4, 3), larger(5, 5);
    for (image::TBitmap *dest : { &narrower, &shorter, &larger })
        EXPECT_THROW(enhance::SmoothSharpen(*dest, picture, true, 7, 2), core::Error);
}

// The pipeline hands over a copy that still shares its store: only Dest may change.
TEST(SmoothSharpen, SourceSharingTheStoreStaysUnchanged)
{
    const image::TBitmap original = enhance_test::randomPicture(9, 5, 8);
    image::TBitmap source, dest;
    source.Assign(original);
    dest.Assign(source);
    enhance::SmoothSharpen(dest, source, true, 7, 2);
    EXPECT_EQ(bytesOf(source), bytesOf(original));
    EXPECT_EQ(bytesOf(dest), filtered(original, { true, 7, 2 }));
}

class SmoothSharpenSizes : public ::testing::TestWithParam<enhance_test::Size>
{
};

// Noise, near-greys and black and white (the largest sums and the pushes furthest past both
// ends), through the vector loop of every target and through the plain rule, bit for bit.
TEST_P(SmoothSharpenSizes, VectorLoopMatchesPlainRule)
{
    const enhance_test::Size size = GetParam();
    image::TBitmap blackAndWhite = enhance_test::randomPicture(size.width, size.height, 7);
    for (int y = 0; y < size.height; ++y)
        for (std::size_t i = 0; i < blackAndWhite.rowBytes(); ++i)
            blackAndWhite.ScanLine(y)[i] = blackAndWhite.ScanLine(y)[i] < 64 ? 0 : 255;
    const image::TBitmap pictures[] = { enhance_test::randomPicture(size.width, size.height, 7),
        enhance_test::randomPicture(size.width, size.height, 8, 20), blackAndWhite };
    enhance_test::forEachSimdTarget([&] {
        for (const image::TBitmap &source : pictures) {
            for (const Settings &s : { Settings { true, 7, 2 }, { false, 7, 2 }, { true, 0, 4 },
                     { true, 1, 1 }, { true, 20, 3 }, { true, 4, 2 } }) {
                image::TBitmap plain(size.width, size.height);
                enhance::detail::smoothSharpenPlain(
                    plain, source, s.sharpen, s.threshold, s.amount);
                ASSERT_EQ(filtered(source, s), bytesOf(plain))
                    << "picture " << &source - pictures << " threshold " << s.threshold
                    << " amount " << s.amount << (s.sharpen ? "" : " smoothing only");
            }
        }
    });
}

std::vector<enhance_test::Size> sizes()
{
    std::vector<enhance_test::Size> sizes = enhance_test::oddSizes();
    // Interiors of 30 and 33 bytes, around the vector lengths, and a long row.
    sizes.insert(sizes.end(), { { 12, 3 }, { 13, 3 }, { 1001, 3 } });
    return sizes;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmoothSharpenSizes, ::testing::ValuesIn(sizes()));

} // namespace
