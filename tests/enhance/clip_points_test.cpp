#include "enhance/clip_points.h"

#include "test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using enhance_test::Rgb;

namespace {

void referenceClipPoints(const image::TBitmap &picture, int &low, int &high, float percent)
{
    std::int64_t histogram[256] = {};
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const std::uint8_t *pixel = picture.ScanLine(y) + 3 * x;
            ++histogram[(pixel[2] + 2 * pixel[0]) / 3];
        }
    std::int64_t total = 0;
    for (std::int64_t counter : histogram)
        total += counter;
    const std::int64_t clip = std::int64_t(double(total) * double(percent) * 0.01);
    std::int64_t sum = 0;
    for (low = 0; low < 256; ++low)
        if ((sum += histogram[low]) > clip)
            break;
    sum = 0;
    for (high = 255; high >= 0; --high)
        if ((sum += histogram[high]) > clip)
            break;
}

// A picture of `count` pixels of the given brightness indices (grey pixels have index = grey).
image::TBitmap greys(const std::vector<std::pair<int, int>> &runs)
{
    std::vector<Rgb> pixels;
    for (const auto &[level, count] : runs)
        for (int i = 0; i < count; ++i)
            pixels.push_back({ level, level, level });
    return enhance_test::pictureOf(int(pixels.size()), 1, pixels);
}

// The float nearest 0.1 is a little above it: total / 1000 holds up to 67,108,998 pixels, and
// 67,108,999 is the first total where the excess shows.
TEST(ClipCount, FloatExcessFirstShowsAt67108999Pixels)
{
    for (std::int64_t thousands = 0; thousands < 67108; ++thousands) {
        ASSERT_EQ(enhance::clipCount(thousands * 1000, 0.1f), thousands);
        ASSERT_EQ(enhance::clipCount(thousands * 1000 + 999, 0.1f), thousands);
    }
    EXPECT_EQ(enhance::clipCount(67108998, 0.1f), 67108);
    EXPECT_EQ(enhance::clipCount(67108999, 0.1f), 67109);
}

TEST(ClipCount, StaysDefinedForAnyPercentage)
{
    EXPECT_EQ(enhance::clipCount(1000, std::nanf("")), 0);
    EXPECT_EQ(enhance::clipCount(1000, -5.0f), -1);
    EXPECT_EQ(enhance::clipCount(1000, 1e30f), 1001);
    EXPECT_EQ(enhance::clipCount(1000, 50.0f), 500);
}

struct ClipCase {
    const char *name;
    image::TBitmap picture;
    int low;
    int high;
};
void PrintTo(const ClipCase &c, std::ostream *os)
{
    *os << c.name;
}

class FindClipPointsCases : public ::testing::TestWithParam<ClipCase>
{
};

TEST_P(FindClipPointsCases, FindsBothPoints)
{
    const ClipCase &c = GetParam();
    int low = -100, high = -100;
    enhance::FindClipPoints(c.picture, low, high, 0.1f);
    EXPECT_EQ(low, c.low);
    EXPECT_EQ(high, c.high);
}

INSTANTIATE_TEST_SUITE_P(Examples, FindClipPointsCases,
    ::testing::Values(ClipCase { "TwoDarkOutliersAreClipped",
                          greys({ { 0, 2 }, { 255, 1 }, { 100, 1997 } }), 100, 100 },
        ClipCase {
            "ThreeDarkOutliersAreTooMany", greys({ { 0, 3 }, { 255, 1 }, { 100, 1996 } }), 0, 100 },
        ClipCase { "UnderAThousandPixelsKeepEveryLevel",
            greys({ { 30, 1 }, { 100, 500 }, { 201, 1 } }), 30, 201 },
        ClipCase { "OnePixel", enhance_test::pictureOf(1, 1, { { 40, 200, 10 } }), 20, 20 },
        ClipCase { "PureRedIs85", enhance_test::pictureOf(1, 1, { { 255, 0, 0 } }), 85, 85 },
        ClipCase { "PureBlueIs170", enhance_test::pictureOf(1, 1, { { 0, 0, 255 } }), 170, 170 },
        ClipCase { "PureGreenIs0", enhance_test::pictureOf(1, 1, { { 0, 255, 0 } }), 0, 0 },
        ClipCase { "WhiteIs255", enhance_test::pictureOf(1, 1, { { 255, 255, 255 } }), 255, 255 },
        ClipCase { "EmptyPictureRunsOffBothEnds", image::TBitmap(), 256, -1 },
        ClipCase { "ZeroWidthIsEmpty", image::TBitmap(0, 5), 256, -1 }),
    [](const auto &info) { return std::string(info.param.name); });

class FindClipPointsRandom : public ::testing::TestWithParam<enhance_test::Size>
{
};

// A miscounted pixel anywhere in the histogram moves a clip point for some percentage, so
// percentages from 0 to 50 in fine steps check most bins of it.
TEST_P(FindClipPointsRandom, MatchesPlainLoop)
{
    const enhance_test::Size size = GetParam();
    enhance_test::forEachSimdTarget([&size] {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            const image::TBitmap picture
                = enhance_test::randomPicture(size.width, size.height, seed, 60);
            for (int step = 0; step <= 100; ++step) {
                const float percent = step == 0 ? 0.1f : float(step) * 0.5f;
                int low = 0, high = 0, wantedLow = 0, wantedHigh = 0;
                enhance::FindClipPoints(picture, low, high, percent);
                referenceClipPoints(picture, wantedLow, wantedHigh, percent);
                ASSERT_EQ(low, wantedLow) << "seed " << seed << ", " << percent << "%";
                ASSERT_EQ(high, wantedHigh) << "seed " << seed << ", " << percent << "%";
            }
        }
    });
}

// Pictures large enough for the clip points to be read off the darkest and brightest pixels
// alone, built so that this succeeds, fails or is refused, and must give the plain loop's
// answer every time.
TEST(FindClipPoints, LargePicturesMatchPlainLoop)
{
    const int width = 256, height = 320;
    std::vector<image::TBitmap> pictures;
    // Mid-grey but for rows, a whole period apart, that hold every brightness: rows picked at
    // some regular step see dark and bright ends far fuller than the whole picture has them.
    for (int period : { 8, 16, 32, 64 }) {
        for (int offset : { 0, period / 2 }) {
            image::TBitmap stripes(width, height);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    for (int c = 0; c < 3; ++c)
                        stripes.ScanLine(y)[3 * x + c]
                            = std::uint8_t(y % period == offset ? x : 128);
            pictures.push_back(stripes);
        }
    }
    // Noise with one pixel in 25 pure black and one in 25 pure white: both clip points at the
    // very ends.
    image::TBitmap ends = enhance_test::randomPicture(width, height, 5, 40);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((x + 7 * y) % 25 < 2)
                for (int c = 0; c < 3; ++c)
                    ends.ScanLine(y)[3 * x + c] = (x + 7 * y) % 25 == 0 ? 0 : 255;
    pictures.push_back(ends);
    // Mostly strong yellow (no blue at all) over noise: most pixels have an ordinary
    // brightness but a channel at the very bottom.
    image::TBitmap yellow = enhance_test::randomPicture(width, height, 6, 60);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((x + y) % 10 != 0) {
                std::uint8_t *pixel = yellow.ScanLine(y) + 3 * x;
                pixel[0] = 0;
                pixel[1] = pixel[2] = std::uint8_t(150 + (x * y) % 100);
            }
    pictures.push_back(yellow);
    // One grey throughout: nothing lies outside any band.
    pictures.push_back(enhance_test::pictureOf(
        width, height, std::vector<Rgb>(std::size_t(width) * height, Rgb { 90, 90, 90 })));

    enhance_test::forEachSimdTarget([&pictures] {
        for (std::size_t k = 0; k < pictures.size(); ++k) {
            for (float percent : { 0.1f, 0.5f, 2.0f, 4.0f }) {
                int low = 0, high = 0, wantedLow = 0, wantedHigh = 0;
                enhance::FindClipPoints(pictures[k], low, high, percent);
                referenceClipPoints(pictures[k], wantedLow, wantedHigh, percent);
                EXPECT_EQ(low, wantedLow) << "picture " << k << ", " << percent << "%";
                EXPECT_EQ(high, wantedHigh) << "picture " << k << ", " << percent << "%";
            }
        }
    });
}

std::vector<enhance_test::Size> clipSizes()
{
    std::vector<enhance_test::Size> sizes = enhance_test::oddSizes();
    sizes.push_back({ 129, 33 });
    sizes.push_back({ 401, 301 });
    return sizes;
}

INSTANTIATE_TEST_SUITE_P(Sizes, FindClipPointsRandom, ::testing::ValuesIn(clipSizes()));

} // namespace
