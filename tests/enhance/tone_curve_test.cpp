#include "enhance/tone_curve.h"

#include "core/error.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

using enhance::ToneTable;

namespace {

ToneTable pipelineTable(int low, int high)
{
    return enhance::BuildToneTable(low, (low + high) / 2, high, 0, 127, 255);
}

TEST(ToneTable, WorkedExampleForClipPoints10And240)
{
    // clang-format off
    const ToneTable expected {
        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   1,   2,   3,   4,   5,
        6,   7,   8,   9,   11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  22,  23,
        24,  25,  26,  27,  28,  29,  30,  32,  33,  34,  35,  36,  37,  38,  39,  40,
        42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  53,  54,  55,  56,  57,  58,
        59,  60,  61,  62,  64,  65,  66,  67,  68,  69,  70,  71,  72,  74,  75,  76,
        77,  78,  79,  80,  81,  82,  84,  85,  86,  87,  88,  89,  90,  91,  92,  93,
        95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 106, 107, 108, 109, 110, 111,
        112, 113, 114, 115, 117, 118, 119, 120, 121, 122, 123, 124, 125, 127, 128, 129,
        130, 131, 132, 133, 134, 135, 136, 138, 139, 140, 141, 142, 143, 144, 145, 146,
        147, 149, 150, 151, 152, 153, 154, 155, 156, 157, 159, 160, 161, 162, 163, 164,
        165, 166, 167, 169, 170, 171, 172, 173, 174, 175, 176, 178, 179, 180, 181, 182,
        183, 184, 185, 187, 188, 189, 190, 191, 192, 193, 195, 196, 197, 198, 199, 200,
        201, 202, 204, 205, 206, 207, 208, 209, 210, 212, 213, 214, 215, 216, 217, 218,
        219, 220, 221, 223, 224, 225, 226, 227, 228, 229, 230, 231, 232, 234, 235, 236,
        237, 238, 239, 240, 241, 242, 243, 245, 246, 247, 248, 249, 250, 251, 252, 253,
        255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    // clang-format on
    EXPECT_EQ(pipelineTable(10, 240), expected);
}

TEST(CurvePoint, WorkedExampleSamplesTruncate)
{
    const enhance::TPoint p0 { 10, 0 }, p1 { 125, 127 }, p2 { 240, 255 };
    const int expected[6][2]
        = { { 48, 42 }, { 86, 84 }, { 125, 127 }, { 163, 169 }, { 201, 212 }, { 240, 255 } };
    for (int i = 1; i <= 6; ++i) {
        const enhance::TPoint point = enhance::CurvePoint(i, 6, p0, p1, p2);
        EXPECT_EQ(point.X, expected[i - 1][0]) << "i = " << i;
        EXPECT_EQ(point.Y, expected[i - 1][1]) << "i = " << i;
    }
}

// Other degrees go through the same coefficient and power loops.
TEST(BezierPoint, LinearAndCubicCurves)
{
    const enhance::TPoint line[2] = { { 0, 0 }, { 100, 200 } };
    const enhance::TRealPoint onLine = enhance::BezierPoint(1, line, 0.25);
    EXPECT_DOUBLE_EQ(onLine.X, 25.0);
    EXPECT_DOUBLE_EQ(onLine.Y, 50.0);
    const enhance::TPoint cubic[4] = { { 0, 0 }, { 0, 100 }, { 100, 100 }, { 100, 0 } };
    const enhance::TRealPoint middle = enhance::BezierPoint(3, cubic, 0.5);
    EXPECT_DOUBLE_EQ(middle.X, 50.0);
    EXPECT_DOUBLE_EQ(middle.Y, 75.0);
    EXPECT_THROW(enhance::BezierPoint(61, cubic, 0.5), core::Error);
    EXPECT_THROW(enhance::BezierPoint(-1, cubic, 0.5), core::Error);
}

// Clip points at the edges, each table written as runs of (first entry, value); -1 stands for
// "entry k = k".
TEST(ToneTable, EdgeClipPoints)
{
    const struct {
        int low, high;
        std::vector<std::pair<int, int>> runs;
    } cases[] = {
        { 0, 255, { { 0, -1 } } }, // identity
        { 100, 100, { { 0, 0 }, { 97, 42 }, { 98, 84 }, { 99, 127 }, { 100, 255 } } },
        { 100, 101,
            { { 0, 0 }, { 97, 42 }, { 98, 84 }, { 99, 127 }, { 100, 169 }, { 101, 212 },
                { 102, 255 } } },
        { 255, 255, { { 0, 0 }, { 252, 42 }, { 253, 84 }, { 254, 127 }, { 255, 255 } } },
        { 0, 0, { { 0, 212 }, { 1, 255 } } }, // the last write wins
        { 256, -1, { { 0, 255 } } }, // an empty picture's levels
    };
    for (const auto &c : cases) {
        const ToneTable table = pipelineTable(c.low, c.high);
        for (std::size_t r = 0; r < c.runs.size(); ++r) {
            const int end = r + 1 < c.runs.size() ? c.runs[r + 1].first : 256;
            for (int k = c.runs[r].first; k < end; ++k)
                EXPECT_EQ(table[std::size_t(k)], c.runs[r].second < 0 ? k : c.runs[r].second)
                    << c.low << ", " << c.high << " entry " << k;
        }
    }
}

// For every pair of clip points a picture can give, the table rises: catches an entry left
// unwritten as well as a piece drawn out of order.
TEST(ToneTable, RisesForEveryPairOfClipPoints)
{
    for (int low = 0; low <= 255; ++low)
        for (int high = low; high <= 255; ++high) {
            const ToneTable table = pipelineTable(low, high);
            for (std::size_t k = 1; k < 256; ++k)
                ASSERT_LE(table[k - 1], table[k]) << low << ", " << high << " entry " << k;
        }
}

// Levels far outside 0..255, forwards and backwards, must neither write outside the table nor
// overflow (the sanitizer build checks both) nor hang in a huge loop.
TEST(ToneTable, HostileLevelsAreSafe)
{
    const int levels[] = { INT_MIN, -300, 0, 128, 400, INT_MAX };
    for (int inLow : levels)
        for (int inMid : levels)
            for (int inHigh : levels)
                for (int out : levels)
                    enhance::BuildToneTable(inLow, inMid, inHigh, out, out / 2, ~out);
}

class ToneCurveSizes : public ::testing::TestWithParam<enhance_test::Size>
{
};

// The vector loop against the plain one, through a table of random entries (no order for a
// wrong pick to hide behind), from a start off any alignment.
TEST_P(ToneCurveSizes, VectorLoopMapsAsThePlainLoop)
{
    const enhance_test::Size size = GetParam();
    std::mt19937 random(5);
    ToneTable table;
    for (std::uint8_t &entry : table)
        entry = std::uint8_t(random());
    const image::TBitmap picture = enhance_test::randomPicture(size.width, size.height, 3);
    const std::size_t bytes = picture.rowBytes() * std::size_t(size.height);
    const enhance::detail::PairTable pairs = enhance::detail::pairTable(table);
    enhance_test::forEachSimdTarget([&] {
        std::vector<std::uint8_t> wanted(bytes - 1), got(bytes - 1);
        enhance::detail::mapBytes(table, picture.Bits() + 1, wanted.data(), bytes - 1);
        enhance::detail::mapBytesFast(table, pairs, picture.Bits() + 1, got.data(), bytes - 1);
        ASSERT_EQ(got, wanted);
    });
}

// Dest as an image of its own (the identity curve, then part of a larger Source), as Source
// itself, and sharing Source's store: every row of Dest is its Source row through the table,
// and Source keeps its pixels. Catches stride, row and aliasing slips.
TEST_P(ToneCurveSizes, ApplyToneCurveMapsEveryRowOfDest)
{
    const enhance_test::Size size = GetParam();
    const image::TBitmap source = enhance_test::randomPicture(size.width, size.height, 3);
    const image::TBitmap larger = enhance_test::randomPicture(size.width + 5, size.height + 2, 4);
    const std::vector<std::uint8_t> original = enhance_test::bytesOf(source);
    const ToneTable table = pipelineTable(10, 240);
    const auto expectMapped = [&table](const image::TBitmap &dest, const image::TBitmap &from) {
        for (int y = 0; y < dest.Height(); ++y) {
            std::vector<std::uint8_t> row(dest.rowBytes());
            enhance::detail::mapBytes(table, from.ScanLine(y), row.data(), row.size());
            ASSERT_TRUE(std::equal(row.begin(), row.end(), dest.ScanLine(y))) << "row " << y;
        }
    };
    image::TBitmap own(size.width, size.height), inPlace, sharing;
    enhance::ApplyToneCurve(own, source, 0, 127, 255, 0, 127, 255);
    EXPECT_EQ(enhance_test::bytesOf(own), original);
    enhance::ApplyToneCurve(own, larger, 10, 125, 240, 0, 127, 255);
    expectMapped(own, larger);
    inPlace.Assign(source);
    enhance::ApplyToneCurve(inPlace, inPlace, 10, 125, 240, 0, 127, 255);
    expectMapped(inPlace, source);
    sharing.Assign(source);
    enhance::ApplyToneCurve(sharing, source, 10, 125, 240, 0, 127, 255);
    expectMapped(sharing, source);
    EXPECT_EQ(enhance_test::bytesOf(source), original);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ToneCurveSizes, ::testing::ValuesIn(enhance_test::oddSizes()));

TEST(ApplyToneCurve, RefusesSourceSmallerThanDest)
{
    const image::TBitmap source(4, 4);
    image::TBitmap wider(5, 4), taller(4, 5);
    EXPECT_THROW(enhance::ApplyToneCurve(wider, source, 0, 127, 255, 0, 127, 255), core::Error);
    EXPECT_THROW(enhance::ApplyToneCurve(taller, source, 0, 127, 255, 0, 127, 255), core::Error);
}

} // namespace
