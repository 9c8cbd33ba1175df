#include "test_images.h"


#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <random>

namespace enhance_test {

void PrintTo(const Rgb &pixel, std::ostream *os)
{
    *os << "(" << pixel.red << ", " << pixel.green << ", " << pixel.blue << ")";
}

void PrintTo(const Size &size, std::ostream *os)
{
    *os << size.width << "x" << size.height;
}

image::TBitmap pictureOf(int width, int height, const std::vector<Rgb> &pixels)
{
    image::TBitmap picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = picture.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const Rgb &pixel = pixels.at(std::size_t(y) * std::size_t(width) + std::size_t(x));
            row[3 * x] = std::uint8_t(pixel.blue);
            row[3 * x + 1] = std::uint8_t(pixel.green);
            row[3 * x + 2] = std::uint8_t(pixel.red);
        }
    }
    return picture;
}

std::vector<Rgb> pixelsOf(const image::TBitmap &picture)
{
    std::vector<Rgb> pixels;
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t *row = picture.ScanLine(y);
        for (int x = 0; x < picture.Width(); ++x)
            pixels.push_back(Rgb { row[3 * x + 2], row[3 * x + 1], row[3 * x] });
    }
    return pixels;
}

std::vector<std::uint8_t> bytesOf(const image::TBitmap &picture)
{
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t *row = picture.ScanLine(y);
        bytes.insert(bytes.end(), row, row + picture.rowBytes());
    }
    return bytes;
}

image::TBitmap randomPicture(int width, int height, std::uint32_t seed, int spread)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> level(0, 255), stray(-spread, spread);
    image::TBitmap picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = picture.ScanLine(y);
        for (std::size_t i = 0; i < picture.rowBytes(); i += 3) {
            const int grey = level(random);
            for (std::size_t c = 0; c < 3; ++c) {
                const int v = grey + stray(random);
                row[i + c] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return picture;
}

std::vector<Size> oddSizes()
{
    return { { 1, 1 }, { 1, 7 }, { 7, 1 }, { 2, 2 }, { 3, 5 }, { 5, 3 }, { 17, 9 }, { 33, 2 },
        { 64, 33 }, { 100, 4 } };
}

void forEachSimdTarget(const std::function<void()> &check)
{
    struct Restore {
        ~Restore() { hwy::SetSupportedTargetsForTest(0); }
    } restore;
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        SCOPED_TRACE(hwy::TargetName(target));
        hwy::SetSupportedTargetsForTest(target);
        check();
    }
}

} // namespace enhance_test
