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

class ColourCastLoops : public ::testing::TestWithParam<RandomCase>
{
};

// Vector ends, the tail after the last whole vector and long runs of near-grey pixels are where
// the vector loops slip; they must measure and shift exactly as the rule does, pixel by pixel.
TEST_P(ColourCastLoops, MatchTheRule)
{
    using namespace enhance::detail;
    const RandomCase &c = GetParam();
    enhance_test::forEachSimdTarget([&c] {
        const image::TBitmap picture = enhance_test::randomPicture(c.size.width, c.size.height,
            std::uint32_t(c.size.width + c.tolerance), c.spread);
        const std::size_t count = std::size_t(c.size.width) * std::size_t(c.size.height);
        NearGreySums rule, fast;
        measureNearGrey(picture.Bits(), count, c.tolerance, rule);
        measureNearGreyFast(picture.Bits(), count, c.tolerance, fast);
        EXPECT_EQ(fast.count, rule.count);
        EXPECT_EQ(fast.red, rule.red);
        EXPECT_EQ(fast.green, rule.green);
        EXPECT_EQ(fast.blue, rule.blue);

        const ChannelShifts shifts { { c.tolerance % 256, -c.spread, 17 } };
        std::vector<std::uint8_t> byRule(3 * count), byVectors(3 * count);
        shiftPixels(picture.Bits(), byRule.data(), count, shifts);
        shiftPixelsFast(picture.Bits(), byVectors.data(), count, shifts);
        EXPECT_EQ(byVectors, byRule);
    });
}

std::vector<RandomCase> randomCases()
{
    std::vector<RandomCase> cases;
    for (const enhance_test::Size &size : enhance_test::oddSizes())
        cases.push_back({ size, 15, 20 });
    // Nearly all near-grey over many vectors: the sums must not wrap.
    cases.push_back({ { 301, 97 }, 0, 20 });
    cases.push_back({ { 64, 33 }, 255, 0 });
    cases.push_back({ { 64, 33 }, 255, 255 });
    cases.push_back({ { 64, 33 }, 255, 300 });
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ColourCastLoops, ::testing::ValuesIn(randomCases()));

// Dest comes in three ways: sharing Source's store (written from Source's pixels), a store of its
// own holding the same pixels, and Source itself; all three end alike and Source stays as it was.
TEST(RemoveColourCast, SharedOwnedAndInPlaceDestsAgree)
{
    image::TBitmap source = enhance_test::randomPicture(129, 33, 5, 15);
    enhance::ShiftChannels(source, 9, 0, -6);
    const std::vector<std::uint8_t> before = enhance_test::bytesOf(source);
    image::TBitmap sharing, owned, inPlace;
    sharing.Assign(source);
    owned.Assign(source);
    owned.Bits();
    inPlace.Assign(source);
    enhance::RemoveColourCast(sharing, source, 20);
    enhance::RemoveColourCast(owned, source, 20);
    enhance::RemoveColourCast(inPlace, inPlace, 20);
    EXPECT_NE(enhance_test::bytesOf(sharing), before);
    EXPECT_EQ(enhance_test::bytesOf(owned), enhance_test::bytesOf(sharing));
    EXPECT_EQ(enhance_test::bytesOf(inPlace), enhance_test::bytesOf(sharing));
    EXPECT_EQ(enhance_test::bytesOf(source), before);
}

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
