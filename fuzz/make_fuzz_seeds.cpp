// make-fuzz-seeds FOLDER: writes the small photo files the fuzzer starts from, one of each kind
// the decoder treats differently.
#include "tests/support/exif_segments.h"
#include "tests/support/jpeg_files.h"

#include <cstdio>
#include <string>

namespace {

testjpeg::Recipe recipe(int width, int height, testjpeg::Kind kind, testjpeg::Scans scans)
{
    testjpeg::Recipe r;
    r.width = width;
    r.height = height;
    r.kind = kind;
    r.scans = scans;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds FOLDER\n");
        return 2;
    }
    using testjpeg::Kind;
    using testjpeg::Recipe;
    using testjpeg::Scans;
    struct Seed {
        const char *name;
        Recipe recipe;
    };
    Recipe withExif;
    withExif.segments.push_back({ 0xE1, { 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42 } });
    withExif.segments.push_back({ 0xFE, { 'n', 'o', 't', 'e' } });
    Recipe withThumbnail = recipe(40, 30, Kind::Colour, Scans::Baseline);
    withThumbnail.segments.push_back({ 0xE1,
        testjpeg::makeExif(
            { true, testjpeg::makeJpeg(recipe(16, 12, Kind::Colour, Scans::Baseline)) })
            .data });
    const Seed seeds[] = {
        { "baseline.jpg", Recipe {} },
        { "progressive.jpg", recipe(24, 16, Kind::Colour, Scans::Progressive) },
        { "separate_scans.jpg", recipe(17, 9, Kind::Colour, Scans::SeparateComponents) },
        { "grey.jpg", recipe(20, 12, Kind::Grey, Scans::Baseline) },
        { "grey_progressive.jpg", recipe(9, 7, Kind::Grey, Scans::Progressive) },
        { "cmyk.jpg", recipe(16, 8, Kind::Cmyk, Scans::Baseline) },
        { "ycck_progressive.jpg", recipe(12, 10, Kind::Ycck, Scans::Progressive) },
        { "one_row.jpg", recipe(33, 1, Kind::Colour, Scans::Baseline) },
        { "one_column.jpg", recipe(1, 21, Kind::Colour, Scans::Baseline) },
        { "with_segments.jpg", withExif },
        { "with_exif_thumbnail.jpg", withThumbnail },
    };
    for (const Seed &seed : seeds)
        testjpeg::writeFile(
            std::string(argv[1]) + "/" + seed.name, testjpeg::makeJpeg(seed.recipe));
    return 0;
}
