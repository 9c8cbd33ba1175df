// make-exif-seeds FOLDER: writes the Exif segments exif_fuzz starts from, one of each layout the
// thumbnail rebuild treats differently.
#include "tests/support/exif_segments.h"

#include <cstdio>
#include <string>

namespace {

testjpeg::Bytes thumbnail(int width, int height)
{
    testjpeg::Recipe recipe;
    recipe.width = width;
    recipe.height = height;
    return testjpeg::makeJpeg(recipe);
}

testjpeg::Bytes withStrips(testjpeg::ExifSegment exif, bool big)
{
    using namespace testjpeg;
    putTiffNumber(exif.data, ifd1ValueAt(exif, Compression), 1, 2, big);
    putTiffNumber(exif.data, ifd1TagAt(exif, ThumbnailOffset), 0x0111, 2, big);
    putTiffNumber(exif.data, ifd1TagAt(exif, ThumbnailLength), 0x0117, 2, big);
    return exif.data;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-exif-seeds FOLDER\n");
        return 2;
    }
    using testjpeg::makeExif;
    struct Seed {
        const char *name;
        testjpeg::Bytes data;
    };
    const Seed seeds[] = {
        { "intel_last.exif", makeExif({ false, thumbnail(16, 12) }).data },
        { "motorola_last_160x120.exif", makeExif({ true, thumbnail(160, 120) }).data },
        { "motorola_first.exif", makeExif({ true, thumbnail(16, 12), true }).data },
        { "intel_first_wide.exif", makeExif({ false, thumbnail(32, 9), true }).data },
        { "intel_strips.exif", withStrips(makeExif({ false, thumbnail(8, 8) }), false) },
        { "motorola_no_ifd1.exif", makeExif({ true, {} }).data },
    };
    for (const Seed &seed : seeds)
        testjpeg::writeFile(std::string(argv[1]) + "/" + seed.name, seed.data);
    return 0;
}
