#include "tests/support/photos.h"

#include "imageio/jpeg_image.h"

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

} // namespace testing_support
