#include "enhance/tone_curve.h"

#include "core/error.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using enhance::ToneTable;

namespace {

// The table built step by step as plainly as possible, every write recorded, nothing clamped:
// it shows whether each entry was written and whether any value left 0..255.
struct PlainTable {
    int value[256] = {};
    bool written[256] = {};
    bool outOfRange = false;
    void set(int j, double v)
    {
        if (j < 0 || j > 255)
            return;
        value[j] = int(v);
        written[j] = true;
        outOfRange = outOfRange || value[j] < 0 || value[j] > 255;
    }
};

PlainTable plainToneTable(int inLow, int inMid, int inHigh)
{
    const int outLow = 0, outMid = 127, outHigh = 255;
    if (inMid == inLow)
        inMid = inLow + 1;
    const float ratio = float(double(inHigh - inMid) / double(inMid - inLow));
    if (!(ratio > 0.15)) {
        inLow += 10;
        if (inLow >= inMid)
            inLow = inMid - 5;
    }
    PlainTable table;
    for (int j = 0; j <= inLow; ++j)
        table.set(j, outLow);
    int x0 = inLow, y0 = outLow;
    for (int i = 1; i <= 6; ++i) {
        const double t = double(i) / 6.0;
        const double s = 1 - t;
        const double px = double(inLow) * 1 * 1 * (s * s) + double(inMid) * 2 * t * s
            + double(inHigh) * 1 * (t * t) * 1;
        const double py = double(outLow) * 1 * 1 * (s * s) + double(outMid) * 2 * t * s
            + double(outHigh) * 1 * (t * t) * 1;
        int x = int(px);
        const int y = int(py);
        if (x == x0)
            x = x0 + 1;
        const float slope = float(double(y - y0) / double(x - x0));
        for (int j = x0; j < x; ++j)
            table.set(j, double(j - x0) * double(slope) + y0);
        x0 = x;
        y0 = y;
    }
    int x = inHigh;
    if (x == x0)
        x = x0 + 1;
    const float slope = float(double(outHigh - y0) / double(x - x0));
    int j = x0;
    for (; j <= x; ++j)
        table.set(j, double(j - x0) * double(slope) + y0);
    for (; j <= 255; ++j)
        table.set(j, 255);
    return table;
}

ToneTable pipelineTable(int low, int high)
{
    return enhance::BuildToneTable(low, (low + high) / 2, high, 0, 127, 255);
}

TEST(ToneTable, WorkedExampleForClipPoints10And240)
{
    // One line per 16 entries, as the table is usually written.
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
    const ToneTable table = pipelineTable(10, 240);
    for (int k = 0; k < 256; ++k)
        EXPECT_EQ(int(table[std::size_t(k)]), int(expected[std::size_t(k)])) << "entry " << k;
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

struct TableCase {
    const char *name;
    int low;
    int high;
    // Runs of (first entry, value); a value of -1 means "entry k = k".
    std::vector<std::pair<int, int>> runs;
};
void PrintTo(const TableCase &c, std::ostream *os)
{
    *os << c.name;
}

class ToneTableEdges : public ::testing::TestWithParam<TableCase>
{
};

TEST_P(ToneTableEdges, GivesTheExpectedTable)
{
    const TableCase &c = GetParam();
    const ToneTable table = pipelineTable(c.low, c.high);
    for (std::size_t r = 0; r < c.runs.size(); ++r) {
        const int end = r + 1 < c.runs.size() ? c.runs[r + 1].first : 256;
        for (int k = c.runs[r].first; k < end; ++k) {
            const int wanted = c.runs[r].second < 0 ? k : c.runs[r].second;
            EXPECT_EQ(int(table[std::size_t(k)]), wanted) << "entry " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ClipPoints, ToneTableEdges,
    ::testing::Values(TableCase { "FullRangeIsIdentity", 0, 255, { { 0, -1 } } },
        TableCase { "FlatGreyGoesWhite", 100, 100,
            { { 0, 0 }, { 97, 42 }, { 98, 84 }, { 99, 127 }, { 100, 255 } } },
        TableCase { "OneLevelApart", 100, 101,
            { { 0, 0 }, { 97, 42 }, { 98, 84 }, { 99, 127 }, { 100, 169 }, { 101, 212 },
                { 102, 255 } } },
        TableCase { "BothAtWhite", 255, 255,
            { { 0, 0 }, { 252, 42 }, { 253, 84 }, { 254, 127 }, { 255, 255 } } },
        TableCase { "BothAtBlackLastWriteWins", 0, 0, { { 0, 212 }, { 1, 255 } } },
        TableCase { "EmptyPictureLevels", 256, -1, { { 0, 255 } } }),
    [](const auto &info) { return std::string(info.param.name); });

// Every pair of clip points a picture can give, against the plain construction: also shows that
// for these pairs every entry is written and no value leaves 0..255.
TEST(ToneTable, EveryClipPointPairMatchesPlainConstruction)
{
    for (int low = 0; low <= 255; ++low) {
        for (int high = low; high <= 255; ++high) {
            const PlainTable plain = plainToneTable(low, (low + high) / 2, high);
            const ToneTable table = pipelineTable(low, high);
            ASSERT_FALSE(plain.outOfRange) << low << ", " << high;
            for (int k = 0; k < 256; ++k) {
                ASSERT_TRUE(plain.written[k]) << low << ", " << high << " entry " << k;
                ASSERT_EQ(int(table[std::size_t(k)]), plain.value[k])
                    << low << ", " << high << " entry " << k;
            }
        }
    }
}

// Levels far outside 0..255 must neither write outside the table nor hang in a huge loop.
TEST(ToneTable, ExtremeLevelsStayInsideTheTable)
{
    const ToneTable huge = enhance::BuildToneTable(-2000000000, 0, 2000000000, -5000, 127, 9999);
    const ToneTable backwards = enhance::BuildToneTable(2000000000, 0, -2000000000, 0, 127, 255);
    EXPECT_EQ(huge[255], 255);
    EXPECT_EQ(backwards[255], 255);
}

class ApplyToneCurveSizes : public ::testing::TestWithParam<enhance_test::Size>
{
};

// Every byte of every row goes through the table; catches stride and tail slips. Dest comes as
// an image of its own, as Source itself, and over part of a wider Source (row by row).
TEST_P(ApplyToneCurveSizes, MapsEveryByteThroughTheTable)
{
    const enhance_test::Size size = GetParam();
    enhance_test::forEachSimdTarget([&size] {
        const ToneTable table = pipelineTable(10, 240);
        const auto expectMapped = [&table](const image::TBitmap &out, const image::TBitmap &in) {
            for (int y = 0; y < out.Height(); ++y)
                for (std::size_t i = 0; i < out.rowBytes(); ++i)
                    ASSERT_EQ(out.ScanLine(y)[i], table[in.ScanLine(y)[i]])
                        << "row " << y << " byte " << i;
        };
        const image::TBitmap source = enhance_test::randomPicture(size.width, size.height, 3);
        image::TBitmap dest(size.width, size.height);
        enhance::ApplyToneCurve(dest, source, 10, 125, 240, 0, 127, 255);
        expectMapped(dest, source);

        image::TBitmap inPlace;
        inPlace.Assign(source);
        enhance::ApplyToneCurve(inPlace, inPlace, 10, 125, 240, 0, 127, 255);
        expectMapped(inPlace, source);

        const image::TBitmap wider = enhance_test::randomPicture(size.width + 5, size.height, 4);
        enhance::ApplyToneCurve(dest, wider, 10, 125, 240, 0, 127, 255);
        expectMapped(dest, wider);
    });
}

// A photo-sized picture is mapped in stretches by different loops; every byte must still go
// through the table.
TEST(ApplyToneCurve, LargePictureMapsEveryByte)
{
    const image::TBitmap source = enhance_test::randomPicture(1024, 700, 6);
    const ToneTable table = pipelineTable(10, 240);
    enhance_test::forEachSimdTarget([&source, &table] {
        image::TBitmap dest(source.Width(), source.Height());
        enhance::ApplyToneCurve(dest, source, 10, 125, 240, 0, 127, 255);
        const std::vector<std::uint8_t> in = enhance_test::bytesOf(source);
        const std::vector<std::uint8_t> out = enhance_test::bytesOf(dest);
        ASSERT_EQ(out.size(), in.size());
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_EQ(out[i], table[in[i]]) << "byte " << i;
    });
}

// The highest byte pairs index the end of the pair table.
TEST(ApplyToneCurve, BlackAndWhiteMapToTheTableEnds)
{
    enhance_test::forEachSimdTarget([] {
        const image::TBitmap white = enhance_test::pictureOf(
            40, 2, std::vector<enhance_test::Rgb>(80, enhance_test::Rgb { 255, 255, 255 }));
        const image::TBitmap black(40, 2);
        const ToneTable table = pipelineTable(10, 240);
        for (const image::TBitmap *source : { &white, &black }) {
            image::TBitmap dest(40, 2);
            enhance::ApplyToneCurve(dest, *source, 10, 125, 240, 0, 127, 255);
            const std::uint8_t wanted = table[source->ScanLine(0)[0]];
            EXPECT_EQ(enhance_test::bytesOf(dest), std::vector<std::uint8_t>(240, wanted));
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Sizes, ApplyToneCurveSizes, ::testing::ValuesIn(enhance_test::oddSizes()));

TEST(ApplyToneCurve, SourceSharingTheStoreStaysUnchanged)
{
    const image::TBitmap original = enhance_test::randomPicture(5, 3, 9);
    image::TBitmap source, dest;
    source.Assign(original);
    dest.Assign(source);
    enhance::ApplyToneCurve(dest, source, 10, 125, 240, 0, 127, 255);
    EXPECT_EQ(enhance_test::bytesOf(source), enhance_test::bytesOf(original));
    EXPECT_NE(enhance_test::bytesOf(dest), enhance_test::bytesOf(original));
}

TEST(ApplyToneCurve, MapsInPlaceWhenDestIsSource)
{
    const image::TBitmap original = enhance_test::randomPicture(6, 2, 4);
    image::TBitmap picture;
    picture.Assign(original);
    enhance::ApplyToneCurve(picture, picture, 10, 125, 240, 0, 127, 255);
    const ToneTable table = pipelineTable(10, 240);
    std::vector<std::uint8_t> expected = enhance_test::bytesOf(original);
    for (std::uint8_t &byte : expected)
        byte = table[byte];
    EXPECT_EQ(enhance_test::bytesOf(picture), expected);
}

// A wider and taller Source is read row by row over Dest's area.
TEST(ApplyToneCurve, LargerSourceIsReadOverDestsArea)
{
    const image::TBitmap source = enhance_test::randomPicture(7, 4, 5);
    image::TBitmap dest(3, 2);
    enhance::ApplyToneCurve(dest, source, 0, 127, 255, 0, 127, 255);
    for (int y = 0; y < 2; ++y)
        for (std::size_t i = 0; i < dest.rowBytes(); ++i)
            ASSERT_EQ(dest.ScanLine(y)[i], source.ScanLine(y)[i]) << "row " << y;
}

TEST(ApplyToneCurve, RefusesSourceSmallerThanDest)
{
    const image::TBitmap source(4, 4);
    image::TBitmap wider(5, 4), taller(4, 5);
    EXPECT_THROW(enhance::ApplyToneCurve(wider, source, 0, 127, 255, 0, 127, 255), core::Error);
    EXPECT_THROW(enhance::ApplyToneCurve(taller, source, 0, 127, 255, 0, 127, 255), core::Error);
}

} // namespace
