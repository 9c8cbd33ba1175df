#include "enhance/smooth_sharpen.h"

#include "core/error.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The filter as a plain nine-tap loop with clamped neighbours, to hold the fast loops to.
void referenceSmoothSharpen(
    image::TBitmap &dest, const image::TBitmap &source, bool sharpen, int threshold, int amount)
{
    threshold = threshold < 0 ? 0 : threshold > 20 ? 20 : threshold;
    amount = amount < 1 ? 1 : amount > 4 ? 4 : amount;
    const int kernel[9] = { 7, 10, 7, 10, 32, 10, 7, 10, 7 };
    const int width = source.Width(), height = source.Height();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sums[3] = { 0, 0, 0 };
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    int yy = y + dy, xx = x + dx;
                    yy = yy < 0 ? 0 : yy >= height ? height - 1 : yy;
                    xx = xx < 0 ? 0 : xx >= width ? width - 1 : xx;
                    const std::uint8_t *pixel = source.ScanLine(yy) + 3 * xx;
                    for (int c = 0; c < 3; ++c)
                        sums[c] += kernel[(dy + 1) * 3 + (dx + 1)] * pixel[c];
                }
            }
            for (int c = 0; c < 3; ++c) {
                const int o = source.ScanLine(y)[3 * x + c];
                const int s = sums[c] / 100;
                int result = s;
                if (sharpen) {
                    const int d = o - s;
                    const int v = o + amount * d;
                    result = std::abs(d) < threshold ? o : v < 0 ? 0 : v > 255 ? 255 : v;
                }
                dest.ScanLine(y)[3 * x + c] = std::uint8_t(result);
            }
        }
    }
}

// The 3x3 example in every channel, each channel offset so that a swap of channels shows.
image::TBitmap workedExample()
{
    const int values[9] = { 10, 20, 30, 40, 250, 60, 70, 80, 90 };
    image::TBitmap picture(3, 3);
    for (int i = 0; i < 9; ++i) {
        std::uint8_t *pixel = picture.ScanLine(i / 3) + 3 * (i % 3);
        pixel[0] = std::uint8_t(values[i]);
        pixel[1] = std::uint8_t(values[i]);
        pixel[2] = std::uint8_t(values[i]);
    }
    return picture;
}

std::vector<int> channel(const image::TBitmap &picture, int c)
{
    std::vector<int> values;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            values.push_back(picture.ScanLine(y)[3 * x + c]);
    return values;
}

TEST(SmoothSharpen, WorkedExample)
{
    const image::TBitmap source = workedExample();
    image::TBitmap sharpened(3, 3), smoothed(3, 3);
    enhance::SmoothSharpen(sharpened, source, true, 7, 2);
    enhance::SmoothSharpen(smoothed, source, false, 7, 2);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(channel(sharpened, c), (std::vector<int> { 0, 0, 0, 0, 255, 26, 52, 56, 90 }))
            << "channel " << c;
        EXPECT_EQ(channel(smoothed, c), (std::vector<int> { 33, 47, 48, 62, 114, 77, 79, 92, 94 }))
            << "channel " << c;
    }
    EXPECT_EQ(channel(source, 0), (std::vector<int> { 10, 20, 30, 40, 250, 60, 70, 80, 90 }));
}

struct Settings {
    bool sharpen;
    int threshold;
    int amount;
};

// Pictures that must come out exactly as they went in, whatever the settings.
TEST(SmoothSharpen, OnePixelAndUniformPicturesAreUnchanged)
{
    const Settings settings[] = { { true, 0, 4 }, { true, 7, 2 }, { false, 20, 1 } };
    image::TBitmap one = enhance_test::pictureOf(1, 1, { { 200, 13, 77 } });
    image::TBitmap uniform = enhance_test::pictureOf(
        40, 3, std::vector<enhance_test::Rgb>(120, enhance_test::Rgb { 91, 160, 3 }));
    for (const image::TBitmap *source : { &one, &uniform }) {
        for (const Settings &s : settings) {
            image::TBitmap dest(source->Width(), source->Height());
            enhance::SmoothSharpen(dest, *source, s.sharpen, s.threshold, s.amount);
            EXPECT_EQ(enhance_test::bytesOf(dest), enhance_test::bytesOf(*source))
                << source->Width() << "x" << source->Height() << " threshold " << s.threshold;
        }
    }
}

struct ClampCase {
    const char *name;
    Settings given;
    Settings same;
};
void PrintTo(const ClampCase &c, std::ostream *os)
{
    *os << c.name;
}

class SmoothSharpenClamping : public ::testing::TestWithParam<ClampCase>
{
};

TEST_P(SmoothSharpenClamping, OutOfRangeParametersActAsTheirLimit)
{
    const ClampCase &c = GetParam();
    const image::TBitmap source = enhance_test::randomPicture(23, 11, 17, 40);
    image::TBitmap given(23, 11), same(23, 11);
    enhance::SmoothSharpen(given, source, c.given.sharpen, c.given.threshold, c.given.amount);
    enhance::SmoothSharpen(same, source, c.same.sharpen, c.same.threshold, c.same.amount);
    EXPECT_EQ(enhance_test::bytesOf(given), enhance_test::bytesOf(same));
}

INSTANTIATE_TEST_SUITE_P(Limits, SmoothSharpenClamping,
    ::testing::Values(ClampCase { "NegativeThresholdIsZero", { true, -5, 2 }, { true, 0, 2 } },
        ClampCase { "LargeThresholdIsTwenty", { true, 50, 2 }, { true, 20, 2 } },
        ClampCase { "ZeroAmountIsOne", { true, 7, 0 }, { true, 7, 1 } },
        ClampCase { "LargeAmountIsFour", { true, 7, 9 }, { true, 7, 4 } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SmoothSharpen, RefusesOneImageTwiceAndDifferentSizes)
{
    image::TBitmap picture = enhance_test::randomPicture(4, 4, 2);
    const std::vector<std::uint8_t> before = enhance_test::bytesOf(picture);
    EXPECT_THROW(enhance::SmoothSharpen(picture, picture, true, 7, 2), core::Error);
    EXPECT_EQ(enhance_test::bytesOf(picture), before);

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
    image::TBitmap expected(9, 5);
    referenceSmoothSharpen(expected, original, true, 7, 2);
    EXPECT_EQ(enhance_test::bytesOf(source), enhance_test::bytesOf(original));
    EXPECT_EQ(enhance_test::bytesOf(dest), enhance_test::bytesOf(expected));
}

struct RandomCase {
    enhance_test::Size size;
    Settings settings;
};
void PrintTo(const RandomCase &c, std::ostream *os)
{
    enhance_test::PrintTo(c.size, os);
    *os << (c.settings.sharpen ? " sharpen" : " smooth") << " threshold " << c.settings.threshold
        << " amount " << c.settings.amount;
}

class SmoothSharpenRandom : public ::testing::TestWithParam<RandomCase>
{
};

// Borders, single rows and columns, and the tail after the last interior block, bit for bit.
TEST_P(SmoothSharpenRandom, MatchesPlainNineTapLoop)
{
    const RandomCase &c = GetParam();
    enhance_test::forEachSimdTarget([&c] {
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            for (int spread : { 20, 255 }) {
                const image::TBitmap source
                    = enhance_test::randomPicture(c.size.width, c.size.height, seed, spread);
                image::TBitmap fast(c.size.width, c.size.height);
                image::TBitmap plain(c.size.width, c.size.height);
                enhance::SmoothSharpen(
                    fast, source, c.settings.sharpen, c.settings.threshold, c.settings.amount);
                referenceSmoothSharpen(
                    plain, source, c.settings.sharpen, c.settings.threshold, c.settings.amount);
                ASSERT_EQ(enhance_test::bytesOf(fast), enhance_test::bytesOf(plain))
                    << "seed " << seed << " spread " << spread;
            }
        }
    });
}

// Only black and white: the largest weighted sums (25,500), the divisions nearest the next
// integer and the pushes furthest past both ends, where a narrow or wrapping lane would show.
TEST(SmoothSharpen, BlackAndWhiteExtremesMatchPlainLoop)
{
    enhance_test::forEachSimdTarget([] {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            image::TBitmap source = enhance_test::randomPicture(77, 9, seed);
            for (int y = 0; y < source.Height(); ++y) {
                std::uint8_t *row = source.ScanLine(y);
                for (std::size_t i = 0; i < source.rowBytes(); ++i)
                    row[i] = row[i] < 64 ? 0 : 255; // mostly white: sums at and near the top
            }
            for (const Settings &s : { Settings { true, 0, 4 }, Settings { true, 20, 4 },
                     Settings { true, 1, 1 }, Settings { false, 0, 1 } }) {
                image::TBitmap fast(77, 9), plain(77, 9);
                enhance::SmoothSharpen(fast, source, s.sharpen, s.threshold, s.amount);
                referenceSmoothSharpen(plain, source, s.sharpen, s.threshold, s.amount);
                ASSERT_EQ(enhance_test::bytesOf(fast), enhance_test::bytesOf(plain))
                    << "seed " << seed << " threshold " << s.threshold << " amount " << s.amount;
            }
        }
    });
}

// Rows whose interior ends just before, at and just after a whole number of 32- and 64-byte
// blocks, or holds less than one block, under every threshold and amount: the last short block
// of a row and the pushes right at the threshold, where an off-by-one would show.
TEST(SmoothSharpen, RowEndsAroundBlockSizesMatchPlainLoop)
{
    enhance_test::forEachSimdTarget([] {
        for (int width : { 12, 13, 22, 23, 24, 33, 34, 35, 44, 65, 66, 67 }) {
            const image::TBitmap source = enhance_test::randomPicture(width, 3, 11, 40);
            for (int threshold = 0; threshold <= 20; ++threshold) {
                for (int amount = 1; amount <= 4; ++amount) {
                    image::TBitmap fast(width, 3), plain(width, 3);
                    enhance::SmoothSharpen(fast, source, true, threshold, amount);
                    referenceSmoothSharpen(plain, source, true, threshold, amount);
                    ASSERT_EQ(enhance_test::bytesOf(fast), enhance_test::bytesOf(plain))
                        << "width " << width << " threshold " << threshold << " amount " << amount;
                }
            }
            image::TBitmap fast(width, 3), plain(width, 3);
            enhance::SmoothSharpen(fast, source, false, 0, 1);
            referenceSmoothSharpen(plain, source, false, 0, 1);
            ASSERT_EQ(enhance_test::bytesOf(fast), enhance_test::bytesOf(plain))
                << "width " << width << " smoothing only";
        }
    });
}

std::vector<RandomCase> randomCases()
{
    std::vector<RandomCase> cases;
    for (const enhance_test::Size &size : enhance_test::oddSizes())
        for (const Settings &settings : { Settings { true, 7, 2 }, Settings { false, 7, 2 },
                 Settings { true, 0, 4 }, Settings { true, 20, 1 }, Settings { true, 3, 3 } })
            cases.push_back({ size, settings });
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmoothSharpenRandom, ::testing::ValuesIn(randomCases()));

} // namespace
