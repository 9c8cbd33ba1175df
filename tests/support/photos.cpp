#include "tests/support/photos.h"

#include "imageio/jpeg_image.h"

#include <cmath>
#include <cstdint>

namespace testing_support {

image::TBitmap samplePicture(int width, int height, int seed)
{
    image::TBitmap picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = picture.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const int base = 40 + (x * 150) / (width > 1 ? width - 1 : 1) + (y * 40) / (height);
            const bool spot = (x * 7 + y * 13 + seed) % 29 == 0;
            row[3 * x + 0] = std::uint8_t(spot ? 250 : base - 20 + seed % 7);
            row[3 * x + 1] = std::uint8_t(spot ? 245 : base);
            row[3 * x + 2] = std::uint8_t(spot ? 5 : base + 18);
        }
    }
    return picture;
}

void writeSamplePhoto(const std::string &path, int width, int height, int seed)
{
    imageio::TJPEGImage jpeg;
    jpeg.CopyFromBitmap(samplePicture(width, height, seed));
    jpeg.SaveFile(path);
}

image::TBitmap photoLike(int width, int height)
{
    image::TBitmap picture(width, height);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = picture.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const double shade = 0.5 + 0.35 * std::sin(x * 0.004) * std::cos(y * 0.003)
                                 + 0.1 * std::sin((x + y) * 0.05);
            const int grain = int(noise >> 28) - 8;
            const int base = int(shade * 220) + grain;
            auto clamp = [](int v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[3 * x + 0] = clamp(base - 12);       // blue
            row[3 * x + 1] = clamp(base + int(20 * std::sin(y * 0.01)));
            row[3 * x + 2] = clamp(base + 15);       // red: a warm cast
        }
    }
    return picture;
}

} // namespace testing_support
