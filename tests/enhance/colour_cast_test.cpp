#include "enhance/colour_cast.h"

#include "core/error.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

using enhance_test::pictureOf;
using enhance_test::pixelsOf;
using enhance_test::Rgb;

namespace {

// The measuring and the shifting written as plainly as possible, to hold the fast loops to.
void referenceRemoveColourCast(image::TBitmap &dest, const image::TBitmap &source, int tolerance)
{
    std::int64_t sumRG = 0, sumRB = 0, count = 0;
    for (int y = 0; y < dest.Height(); ++y) {
        for (int x = 0; x < dest.Width(); ++x) {
            const std::uint8_t *pixel = source.ScanLine(y) + 3 * x;
            const int red = pixel[2], green = pixel[1], blue = pixel[0];
            if (std::abs(red - green) <= tolerance && std::abs(red - blue) <= tolerance
                && std::abs(green - blue) <= tolerance) {
                sumRG += red - green;
                sumRB += red - blue;
                ++count;
            }
        }
    }
    if (count == 0)
        return;
    const int rg = int(sumRG / count), rb = int(sumRB / count);
    int shift[3] = { 0, 0, 0 }; // blue, green, red
    if (rg >= 0 && rb >= 0 && rg >= rb) {
        shift[2] = -rb;
        shift[1] = rg - rb;
    } else if (rg >= 0 && rb >= 0) {
        shift[2] = -rg;
        shift[0] = rb - rg;
    } else if (rg >= 0 || rb >= 0) {
        shift[1] = rg;
        shift[0] = rb;
    } else if (rg >= rb) {
        shift[2] = -rb;
        shift[1] = rg - rb;
    } else {
        shift[2] = -rg;
        shift[0] = rb - rg;
    }
    for (int y = 0; y < dest.Height(); ++y) {
        std::uint8_t *row = dest.ScanLine(y);
        for (std::size_t i = 0; i < dest.rowBytes(); ++i) {
            const int v = row[i] + shift[i % 3];
            row[i] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

struct CastCase {
    const char *name;
    std::vector<Rgb> before;
    std::vector<Rgb> after;
};
void PrintTo(const CastCase &c, std::ostream *os)
{
    *os << c.name;
}

class RemoveColourCastCases : public ::testing::TestWithParam<CastCase>
{
};

TEST_P(RemoveColourCastCases, ShiftsDestByTheMeasuredCast)
{
    const CastCase &c = GetParam();
    const int width = int(c.before.size());
    const image::TBitmap source = pictureOf(width, 1, c.before);
    image::TBitmap dest = pictureOf(width, 1, c.before);
    enhance::RemoveColourCast(dest, source, 20);
    EXPECT_EQ(pixelsOf(dest), c.after);
    EXPECT_EQ(pixelsOf(source), c.before);
}

INSTANTIATE_TEST_SUITE_P(Examples, RemoveColourCastCases,
    ::testing::Values(
        CastCase { "RedAboveBothMeetsAtBlue",
            { { 120, 105, 110 }, { 118, 100, 112 }, { 200, 40, 30 }, { 60, 50, 55 } },
            { { 113, 112, 110 }, { 111, 107, 112 }, { 193, 47, 30 }, { 53, 57, 55 } } },
        CastCase { "NegativeAveragesTruncateTowardZero",
            { { 100, 103, 101 }, { 100, 104, 102 }, { 250, 10, 3 } },
            { { 103, 103, 103 }, { 103, 104, 104 }, { 253, 10, 5 } } },
        CastCase { "BlueAboveGreenMeetsAtGreen", { { 110, 105, 100 }, { 0, 90, 200 } },
            { { 105, 105, 105 }, { 0, 90, 205 } } },
        CastCase { "RedBetweenMovesGreenAndBlue", { { 100, 106, 97 }, { 50, 10, 250 } },
            { { 100, 100, 100 }, { 50, 4, 253 } } },
        CastCase { "GreyPictureUnchanged", { { 0, 0, 0 }, { 77, 77, 77 }, { 255, 255, 255 } },
            { { 0, 0, 0 }, { 77, 77, 77 }, { 255, 255, 255 } } },
        CastCase { "DifferenceOfTwentyIsNearGrey", { { 130, 110, 120 }, { 200, 40, 30 } },
            { { 120, 120, 120 }, { 190, 50, 30 } } },
        CastCase { "DifferenceOfTwentyOneIsNot", { { 131, 110, 120 }, { 200, 40, 30 } },
            { { 131, 110, 120 }, { 200, 40, 30 } } },
        CastCase { "ZeroCountsAsNonNegative", { { 100, 100, 104 }, { 10, 200, 50 } },
            { { 100, 100, 100 }, { 10, 200, 46 } } },
        CastCase { "RiseClampsAt255", { { 100, 110, 110 }, { 250, 0, 0 } },
            { { 110, 110, 110 }, { 255, 0, 0 } } },
        CastCase { "FallClampsAt0", { { 100, 100, 107 }, { 200, 50, 3 } },
            { { 100, 100, 100 }, { 200, 50, 0 } } },
        CastCase { "NoNearGreyPixelLeavesDestUnchanged", { { 200, 40, 30 }, { 0, 255, 0 } },
            { { 200, 40, 30 }, { 0, 255, 0 } } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RemoveColourCast, EmptyPictureIsLeftAlone)
{
    image::TBitmap dest, source;
    EXPECT_NO_THROW(enhance::RemoveColourCast(dest, source, 20));
    EXPECT_TRUE(dest.Empty());
}

// The pipeline hands over a copy that still shares its store: only Dest may change.
TEST(RemoveColourCast, SourceSharingTheStoreStaysUnchanged)
{
    const std::vector<Rgb> pixels { { 120, 105, 110 }, { 118, 100, 112 } };
    image::TBitmap dest = pictureOf(2, 1, pixels);
    image::TBitmap source;
    source.Assign(dest);
    enhance::RemoveColourCast(dest, source, 20);
    EXPECT_EQ(pixelsOf(source), pixels);
    EXPECT_NE(pixelsOf(dest), pixels);
}

// Only the part of a larger Source that Dest covers is measured: the far corner would turn the
// averages around if it were counted.
TEST(RemoveColourCast, LargerSourceIsMeasuredOverDestsArea)
{
    const image::TBitmap source = pictureOf(3, 2,
        { { 120, 110, 110 }, { 120, 110, 110 }, { 0, 20, 20 }, { 0, 0, 0 }, { 0, 0, 0 },
            { 0, 20, 20 } });
    image::TBitmap dest
        = pictureOf(2, 2, { { 50, 50, 50 }, { 60, 60, 60 }, { 70, 70, 70 }, { 3, 0, 0 } });
    enhance::RemoveColourCast(dest, source, 20);
    EXPECT_EQ(pixelsOf(dest),
        (std::vector<Rgb> { { 45, 50, 50 }, { 55, 60, 60 }, { 65, 70, 70 }, { 0, 0, 0 } }));
}

TEST(RemoveColourCast, RefusesSourceSmallerThanDest)
{
    const image::TBitmap source(2, 2);
    image::TBitmap wider(3, 2), taller(2, 3);
    EXPECT_THROW(enhance::RemoveColourCast(wider, source, 20), core::Error);
    EXPECT_THROW(enhance::RemoveColourCast(taller, source, 20), core::Error);
}

struct RandomCase {
    enhance_test::Size size;
    int spread;
    int tolerance;
};
void PrintTo(const RandomCase &c, std::ostream *os)
{
    enhance_test::PrintTo(c.size, os);
    *os << " spread " << c.spread << " tolerance " << c.tolerance;
}

class RemoveColourCastRandom : public ::testing::TestWithParam<RandomCase>
{
};

// Block boundaries, row ends and the tail after the last block are where a fast loop slips.
// Correcting in place must give the same picture: the cast is measured before any shift.
// Dest comes in three ways: sharing Source's store (written from Source's pixels), a store of
// its own holding the same pixels, and Source itself.
TEST_P(RemoveColourCastRandom, MatchesPlainLoop)
{
    const RandomCase &c = GetParam();
    enhance_test::forEachSimdTarget([&c] {
        for (int seed = 1; seed <= 4; ++seed) {
            image::TBitmap source = enhance_test::randomPicture(
                c.size.width, c.size.height, std::uint32_t(seed), c.spread);
            enhance::ShiftChannels(source, seed * 4 - 10, 0, 10 - seed * 3); // either sign
            const std::vector<std::uint8_t> before = enhance_test::bytesOf(source);
            image::TBitmap sharing, owned, plain, inPlace;
            sharing.Assign(source);
            owned.Assign(source);
            owned.Bits();
            plain.Assign(source);
            inPlace.Assign(source);
            enhance::RemoveColourCast(sharing, source, c.tolerance);
            enhance::RemoveColourCast(owned, source, c.tolerance);
            referenceRemoveColourCast(plain, source, c.tolerance);
            enhance::RemoveColourCast(inPlace, inPlace, c.tolerance);
            const std::vector<std::uint8_t> wanted = enhance_test::bytesOf(plain);
            ASSERT_EQ(enhance_test::bytesOf(sharing), wanted) << "seed " << seed;
            ASSERT_EQ(enhance_test::bytesOf(owned), wanted) << "seed " << seed;
            ASSERT_EQ(enhance_test::bytesOf(inPlace), wanted) << "seed " << seed;
            ASSERT_EQ(enhance_test::bytesOf(source), before) << "seed " << seed;
        }
    });
}

std::vector<RandomCase> randomCases()
{
    std::vector<RandomCase> cases;
    for (const enhance_test::Size &size : enhance_test::oddSizes())
        cases.push_back({ size, 15, 20 });
    cases.push_back({ { 129, 33 }, 15, 20 });
    cases.push_back({ { 129, 33 }, 40, 20 });
    // Over 255 blocks of 32 pixels, nearly all near-grey: per-lane counters must not wrap.
    cases.push_back({ { 301, 97 }, 0, 20 });
    cases.push_back({ { 64, 33 }, 255, 0 });
    cases.push_back({ { 64, 33 }, 255, 255 });
    cases.push_back({ { 64, 33 }, 255, -1 });
    cases.push_back({ { 64, 33 }, 255, 300 });
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sizes, RemoveColourCastRandom, ::testing::ValuesIn(randomCases()));

struct ShiftCase {
    int red, green, blue;
};
void PrintTo(const ShiftCase &c, std::ostream *os)
{
    *os << c.red << ", " << c.green << ", " << c.blue;
}

class ShiftChannelsCases : public ::testing::TestWithParam<ShiftCase>
{
};

// Each channel gets its own offset and clamps at both ends, however large the offset.
TEST_P(ShiftChannelsCases, AddsAndClampsPerChannel)
{
    const ShiftCase &c = GetParam();
    enhance_test::forEachSimdTarget([&c] {
        const image::TBitmap original = enhance_test::randomPicture(37, 3, 7);
        image::TBitmap picture;
        picture.Assign(original);
        enhance::ShiftChannels(picture, c.red, c.green, c.blue);
        const std::vector<Rgb> before = pixelsOf(original), after = pixelsOf(picture);
        const auto expect = [](int v, int shift) {
            const std::int64_t sum = std::int64_t(v) + shift;
            return int(sum < 0 ? 0 : sum > 255 ? 255 : sum);
        };
        for (std::size_t i = 0; i < before.size(); ++i) {
            const Rgb wanted { expect(before[i].red, c.red), expect(before[i].green, c.green),
                expect(before[i].blue, c.blue) };
            ASSERT_EQ(after[i], wanted) << "pixel " << i;
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Offsets, ShiftChannelsCases,
    ::testing::Values(ShiftCase { 0, 0, 0 }, ShiftCase { 10, -7, 3 }, ShiftCase { -1, 1, 0 },
        ShiftCase { 255, -255, 254 }, ShiftCase { 256, -256, -254 },
        ShiftCase { INT_MAX, INT_MIN, 1000 }));

} // namespace
