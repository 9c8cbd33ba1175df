#include "bench/bench_images.h"

#include <cmath>
#include <cstdint>

namespace bench {

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

const image::TBitmap &photo()
{
    static const image::TBitmap picture = photoLike(photoWidth, photoHeight);
    return picture;
}

} // namespace bench
