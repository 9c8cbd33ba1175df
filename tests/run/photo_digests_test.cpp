// Pins the whole per-photo sequence: the SHA-256 of the enhanced file of each generated photo.
// Any change to a step, a constant, the order of the steps, decoding or encoding changes some
// digest. A change of output on purpose updates this table in the same commit and says why.
#include "run/enhance_photo.h"

#include "tests/support/jpeg_files.h"
#include "tests/support/sha256.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

namespace {

struct Scene {
    int castRed = 0, castGreen = 0, castBlue = 0;
    int darkest = 0, brightest = 255; // the range the picture's levels are squeezed into
};

// A picture with a bit of everything the steps react to: a smooth gradient, fine texture, a
// saturated disc, a few bright dots, squeezed into a range and tinted by a cast. Integers only,
// so the same picture comes out on every machine.
int sceneSample(const Scene &scene, int width, int height, int x, int y, int k)
{
    const int gradient = x * 160 / std::max(width - 1, 1) + y * 60 / std::max(height - 1, 1);
    const unsigned hash = (unsigned(x) * 73856093u) ^ (unsigned(y) * 19349663u) ^ unsigned(k);
    const int texture = int((hash >> 7) % 21) - 10;
    const int dx = x - width / 3, dy = y - height / 2, radius = std::min(width, height) / 5;
    const bool inDisc = dx * dx + dy * dy < radius * radius;
    const bool dot = (x * 7 + y * 13) % 97 == 0;
    static const int discColour[4] = { 200, 40, 30, 90 };
    const int level = dot ? 250 : inDisc ? discColour[k] : gradient + 20 + texture;
    const int cast[4] = { scene.castRed, scene.castGreen, scene.castBlue, 0 };
    const int squeezed = scene.darkest + level * (scene.brightest - scene.darkest) / 255;
    return std::clamp(squeezed + cast[k], 0, 255);
}

struct DigestCase {
    const char *name;
    int width, height;
    testjpeg::Kind kind;
    testjpeg::Scans scans;
    Scene scene;
    const char *sha256;
};
void PrintTo(const DigestCase &c, std::ostream *os) { *os << c.name; }

class PhotoDigests : public ::testing::TestWithParam<DigestCase> {};

TEST_P(PhotoDigests, EnhancedFileIsExactlyAsPinned)
{
    const DigestCase &c = GetParam();
    testjpeg::Recipe recipe;
    recipe.width = c.width;
    recipe.height = c.height;
    recipe.kind = c.kind;
    recipe.scans = c.scans;
    recipe.quality = 85;
    recipe.sample = [&c](int x, int y, int k) {
        return sceneSample(c.scene, c.width, c.height, x, y, k);
    };
    testing_support::TempFolder folder;
    testjpeg::writeFile(folder.file("in.jpg"), testjpeg::makeJpeg(recipe));

    run::TWorkingImages images;
    run::EnhancePhoto(images, folder.file("in.jpg"), folder.file("out.jpg"));

    EXPECT_EQ(testing_support::sha256Hex(testjpeg::readFile(folder.file("out.jpg"))), c.sha256);
}

using testjpeg::Kind;
using testjpeg::Scans;
constexpr Scene mildCast { 12, 0, -8, 0, 255 };

INSTANTIATE_TEST_SUITE_P(GeneratedPhotos, PhotoDigests, ::testing::Values(
    DigestCase{"Baseline", 640, 480, Kind::Colour, Scans::Baseline, mildCast,
               "db5bf98760d6a85b5882640c64586bfb634fcc977ea928dc53229275198d6d84"},
    DigestCase{"Progressive", 640, 480, Kind::Colour, Scans::Progressive, mildCast,
               "be3eedb601cf1f5cc71943cedf9fedb08350334f3ee4010eca862418bf6160ba"},
    DigestCase{"SeparateComponentScans", 320, 240, Kind::Colour, Scans::SeparateComponents,
               mildCast,
               "6934af0eb227c42df051b1077e8dc2cf16c7fb2501350ec2514e4aa089e00507"},
    DigestCase{"Grey", 320, 240, Kind::Grey, Scans::Baseline, {},
               "1c4ca99ff8225245a1c9029cc83294d75d78fd3fef104030a4979b236bb88b0e"},
    DigestCase{"Cmyk", 160, 120, Kind::Cmyk, Scans::Baseline, mildCast,
               "3bb0089a0155f1f6539c364610d3a92243ce1381d96d4e0ade1d41107b8eb649"},
    DigestCase{"Ycck", 160, 120, Kind::Ycck, Scans::Baseline, mildCast,
               "b76c5a258c58340adc4ce13fd6607e5c39cde8e76ba88449e329e408e5b06b18"},
    DigestCase{"OnePixel", 1, 1, Kind::Colour, Scans::Baseline, mildCast,
               "64612ed9c33b31d015c973669d7c96ad98389bdfbb6f0ff0e9a129796c11fb04"},
    DigestCase{"OneRow", 300, 1, Kind::Colour, Scans::Baseline, mildCast,
               "df77a822059c84225ab851a1be41bd2e3d62974c74d0b15924079862b7d247b4"},
    DigestCase{"OneColumn", 1, 300, Kind::Colour, Scans::Baseline, mildCast,
               "6f65c9da2d20592d87d52712719051b0dd7fcae4cd915cbfb20067b6dfc0a3fc"},
    DigestCase{"Odd17x13", 17, 13, Kind::Colour, Scans::Baseline, mildCast,
               "fa5a9dac60143219834131a774b8d5774c4f68bc67133cc247a6ad86ec54d5f7"},
    DigestCase{"Wide1001x7", 1001, 7, Kind::Colour, Scans::Baseline, mildCast,
               "5588021d7ed9d5f79a0755b9c81176f5f7834b35244b2b63deb8a05258acafab"},
    DigestCase{"StrongCast", 256, 192, Kind::Colour, Scans::Baseline, {45, 10, -30, 0, 255},
               "d0052e132c8558d2cc0f10ac40feeee2d1f32c9f4db407f7411cd057c93e5b49"},
    DigestCase{"LowContrast", 256, 192, Kind::Colour, Scans::Baseline, {4, 0, -3, 100, 150},
               "1e73655b5fe9faf9aaee0b5d741d1d6af10b85e44c8dffa53aa5625e539b0947"},
    DigestCase{"TwelveMegapixels", 4000, 3000, Kind::Colour, Scans::Baseline, mildCast,
               "7c06a500abf95433d4f7f3fd8dfce9f713150f628b1f1bbb950a47466f76f038"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
