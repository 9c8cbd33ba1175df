// Pins the whole per-photo sequence: the SHA-256 of the enhanced file of each generated photo.
// Any change to a step, a constant, the order of the steps, decoding or encoding changes some
// digest. A change of output on purpose updates this table in the same commit and says why.
// The files include the record of the enhancement in their XMP, which names the program's
// version and the XMP library's, so a new version of either changes every digest too.
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
               "1abcfbd4d9cef602681dd2b3be1bbcd1f58e840047669fef89a9b357ae2cff7c"},
    DigestCase{"Progressive", 640, 480, Kind::Colour, Scans::Progressive, mildCast,
               "9e9f0a8949187cae1ddb51f18a9a0a84f3e4a42ceadc775a4c325bd8484d1ea6"},
    DigestCase{"SeparateComponentScans", 320, 240, Kind::Colour, Scans::SeparateComponents,
               mildCast,
               "284a7ef42f73a90b5b63acd3ce1c217a9008f19f8217cf32d3456ea2d3594bf2"},
    DigestCase{"Grey", 320, 240, Kind::Grey, Scans::Baseline, {},
               "88c19ad039399e514bc508975545fc584b67a65329ce64f5239c8e57d94cbcdb"},
    DigestCase{"Cmyk", 160, 120, Kind::Cmyk, Scans::Baseline, mildCast,
               "9646d931e757f43a627ad0aeeb127892f881b614198ffed36293afa7bd82c002"},
    DigestCase{"Ycck", 160, 120, Kind::Ycck, Scans::Baseline, mildCast,
               "7e4d13852305ac27eb42c19b33f2e90ab5b279e412a75fe31d811a600a62cdf9"},
    DigestCase{"OnePixel", 1, 1, Kind::Colour, Scans::Baseline, mildCast,
               "40577ed628c2e8e20447bf5c0e9bd66ca8f66955f2e28c6ba4194158b2aeea35"},
    DigestCase{"OneRow", 300, 1, Kind::Colour, Scans::Baseline, mildCast,
               "1d53860f973ef61a29f4c34ada65679590fb43e06155ef29dfd27d07d84e3202"},
    DigestCase{"OneColumn", 1, 300, Kind::Colour, Scans::Baseline, mildCast,
               "e9ad4e3b2732e31770bf4a79b0f8e07afc675189daf6f8c7c7dd21f6b4cfa9fc"},
    DigestCase{"Odd17x13", 17, 13, Kind::Colour, Scans::Baseline, mildCast,
               "12c00a8f39695862d6b4654ed3321a3c8fba0056f1c0b02cce8a22fad60a2e07"},
    DigestCase{"Wide1001x7", 1001, 7, Kind::Colour, Scans::Baseline, mildCast,
               "7603a5a7d890efb75ef9055575be4a702ac10100adff3059d396be987be6f4bd"},
    DigestCase{"StrongCast", 256, 192, Kind::Colour, Scans::Baseline, {45, 10, -30, 0, 255},
               "4a52130e0cab13340818b23dd2623d0134b2f5499fa48e855b625a85e172cd75"},
    DigestCase{"LowContrast", 256, 192, Kind::Colour, Scans::Baseline, {4, 0, -3, 100, 150},
               "1fd102d8cdb87e65677e935887c43a01ba1b5e5872af96a064278d6ad733f1bf"},
    DigestCase{"TwelveMegapixels", 4000, 3000, Kind::Colour, Scans::Baseline, mildCast,
               "f7c1efcf1eb421b1538e1403a71db6d9e2d848bea0dbda549c5c295a0ddf3d00"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
