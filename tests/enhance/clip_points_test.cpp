#include "enhance/clip_points.h"

#include "test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using enhance_test::pictureOf;
using enhance_test::Rgb;

namespace {

// The float nearest 0.1 is a little above it: total / 1000 holds up to 67,108,998 pixels, and
// 67,108,999 is the first total where the excess shows. Any percentage gives a defined count.
TEST(ClipCount, FloatExcessFirstShowsAt67108999PixelsAndAnyPercentageIsDefined)
{
    for (std::int64_t thousands = 0; thousands < 67108; ++thousands) {
        ASSERT_EQ(enhance::clipCount(thousands * 1000, 0.1f), thousands);
        ASSERT_EQ(enhance::clipCount(thousands * 1000 + 999, 0.1f), thousands);
    }
    EXPECT_EQ(enhance::clipCount(67108998, 0.1f), 67108);
    EXPECT_EQ(enhance::clipCount(67108999, 0.1f), 67109);
    EXPECT_EQ(enhance::clipCount(1000, std::nanf("")), 0);
    EXPECT_EQ(enhance::clipCount(1000, -5.0f), -1);
    EXPECT_EQ(enhance::clipCount(1000, 1e30f), 1001);
}

// Hand-worked: greys of index = grey, and single pixels that pin the weights of the index.
TEST(FindClipPoints, HandWorkedPictures)
{
    const auto greys = [](std::vector<std::pair<int, int>> runs) {
        std::vector<Rgb> pixels;
        for (const auto &[level, count] : runs)
            pixels.insert(pixels.end(), std::size_t(count), Rgb { level, level, level });
        return pictureOf(int(pixels.size()), 1, pixels);
    };
    const struct {
        const char *name;
        image::TBitmap picture;
        int low, high;
    } cases[] = {
        { "two dark outliers are clipped", greys({ { 0, 2 }, { 255, 1 }, { 100, 1997 } }), 100,
            100 },
        { "three are too many", greys({ { 0, 3 }, { 255, 1 }, { 100, 1996 } }), 0, 100 },
        { "under 1000 pixels", greys({ { 30, 1 }, { 100, 500 }, { 201, 1 } }), 30, 201 },
        { "pure red", pictureOf(1, 1, { { 255, 0, 0 } }), 85, 85 },
        { "pure blue", pictureOf(1, 1, { { 0, 0, 255 } }), 170, 170 },
        { "pure green", pictureOf(1, 1, { { 0, 255, 0 } }), 0, 0 },
        { "white", pictureOf(1, 1, { { 255, 255, 255 } }), 255, 255 },
        { "empty", image::TBitmap(), 256, -1 },
        { "zero width", image::TBitmap(0, 5), 256, -1 },
    };
    for (const auto &c : cases) {
        int low = -100, high = -100;
        enhance::FindClipPoints(c.picture, low, high, 0.1f);
        EXPECT_EQ(low, c.low) << c.name;
        EXPECT_EQ(high, c.high) << c.name;
    }
}

// Grey 100, with 100 pixels at 50 and at 200 in the first stretch counted and 100 at 49 and at
// 201 in the last: counting that skips the levels next to the first clip points misses them.
image::TBitmap latecomers()
{
    image::TBitmap picture(256, 768);
    std::fill_n(picture.Bits(), 256 * 768 * 3, std::uint8_t(100));
    for (const auto &[row, level] : { std::pair { 0, 200 }, { 1, 50 }, { 700, 201 }, { 701, 49 } })
        std::fill_n(picture.ScanLine(row), 3 * 100, std::uint8_t(level));
    return picture;
}

// At most `clip` pixels lie below the low point and more at or below it; the same from the top.
TEST(FindClipPoints, LeaveTheStatedShareOutside)
{
    const image::TBitmap pictures[] = { latecomers(), enhance_test::randomPicture(401, 301, 1, 40),
        enhance_test::randomPicture(300, 3, 2), image::TBitmap(300, 300) };
    for (const image::TBitmap &picture : pictures) {
        const std::size_t total = std::size_t(picture.Width()) * std::size_t(picture.Height());
        enhance::detail::Histogram histogram {};
        enhance::detail::countTails(picture.Bits(), total, 255, 0, histogram);
        std::int64_t below[257] = {}; // below[j]: the pixels of index below j
        for (std::size_t j = 0; j < 256; ++j)
            below[j + 1] = below[j] + histogram[j];
        for (float percent : { 0.0f, 0.0255f, 0.1f, 0.5f, 2.0f, 30.0f, 50.0f }) {
            SCOPED_TRACE(
                ::testing::Message() << "picture " << &picture - pictures << ", " << percent);
            const std::int64_t clip = enhance::clipCount(std::int64_t(total), percent);
            int low = 0, high = 0;
            enhance::FindClipPoints(picture, low, high, percent);
            ASSERT_TRUE(low >= 0 && low <= 255 && high >= 0 && high <= 255) << low << ", " << high;
            EXPECT_TRUE(below[low] <= clip && below[low + 1] > clip) << "low " << low;
            EXPECT_TRUE(below[256] - below[high + 1] <= clip && below[256] - below[high] > clip)
                << "high " << high;
        }
    }
}

class CountTails : public ::testing::TestWithParam<enhance_test::Size>
{
};

// The vector loop must pass on every pixel the plain loop counts, whatever the thresholds; and
// counting pixels through shifts counts what counting the shifted pixels does.
TEST_P(CountTails, VectorLoopCountsAsThePlainLoop)
{
    using namespace enhance::detail;
    const enhance_test::Size size = GetParam();
    const struct {
        int red, blue;
    } shiftCases[] = { { 0, 0 }, { 37, -20 }, { -255, 255 } };
    enhance_test::forEachSimdTarget([&] {
        for (int spread : { 40, 255 }) {
            const image::TBitmap picture
                = enhance_test::randomPicture(size.width, size.height, 7, spread);
            const std::size_t count = std::size_t(size.width) * std::size_t(size.height);
            for (const auto &s : shiftCases) {
                std::vector<std::uint8_t> shifted(3 * count);
                shiftPixels(picture.Bits(), shifted.data(), count, { { s.blue, 0, s.red } });
                const IndexShifts shifts { LevelShift::of(s.red), LevelShift::of(s.blue) };
                for (const auto &[low, high] : std::vector<std::pair<int, int>> { { 255, 0 },
                         { 0, 255 }, { 20, 240 }, { 100, 150 }, { 127, 128 }, { 0, 2 } }) {
                    Histogram wanted {}, got {}, throughShifts {};
                    countTails(shifted.data(), count, low, high, wanted);
                    countTails(picture.Bits(), count, low, high, throughShifts, shifts);
                    countTailsFast(picture.Bits(), count, low, high, got, shifts);
                    ASSERT_EQ(throughShifts, wanted)
                        << "spread " << spread << ", shifts " << s.red << ", " << s.blue << ", "
                        << low << ".." << high;
                    ASSERT_EQ(got, wanted) << "spread " << spread << ", shifts " << s.red << ", "
                                           << s.blue << ", " << low << ".." << high;
                }
            }
        }
    });
}

// Pixels whose red and blue lie between the thresholds and whose index, once shifted, does not:
// a skipping test that forgets a shift passes them by.
TEST(CountTailsThroughShifts, PixelsThatCountOnlyOnceShiftedAreCounted)
{
    using namespace enhance::detail;
    const struct {
        enhance_test::Rgb pixel;
        int redShift, blueShift, low, high, index;
    } cases[]
        = { { { 33, 50, 70 }, 37, -20, 60, 240, 56 }, { { 170, 50, 185 }, 20, 20, 10, 200, 200 } };
    enhance_test::forEachSimdTarget([&] {
        for (const auto &c : cases) {
            const image::TBitmap picture
                = pictureOf(64, 3, std::vector<enhance_test::Rgb>(64 * 3, c.pixel));
            Histogram plain {}, fast {};
            const IndexShifts shifts { LevelShift::of(c.redShift), LevelShift::of(c.blueShift) };
            countTails(picture.Bits(), 64 * 3, c.low, c.high, plain, shifts);
            countTailsFast(picture.Bits(), 64 * 3, c.low, c.high, fast, shifts);
            EXPECT_EQ(plain[std::size_t(c.index)], 64 * 3) << c.index;
            EXPECT_EQ(fast, plain) << c.index;
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Sizes, CountTails, ::testing::ValuesIn(enhance_test::oddSizes()));

} // namespace
