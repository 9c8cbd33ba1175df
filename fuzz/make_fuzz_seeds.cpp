// make-fuzz-seeds FOLDER: writes the small photo files the fuzzer starts from, one of each kind
// the decoder treats differently, and small ones of each kind made to stall or exhaust it.
#include "tests/support/appended_data.h"
#include "tests/support/exif_segments.h"
#include "tests/support/jpeg_files.h"
#include "tests/support/xmp_packets.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds FOLDER\n");
        return 2;
    }
    using testjpeg::Kind;
    using testjpeg::Recipe;
    using testjpeg::recipe;
    using testjpeg::Scans;
    struct Seed {
        const char *name;
        Recipe recipe;
    };
    Recipe withExif;
    withExif.segments.push_back({ 0xE1, { 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42 } });
    withExif.segments.push_back({ 0xFE, { 'n', 'o', 't', 'e' } });
    Recipe described = withExif;
    described.densityUnit = 1;
    described.xDensity = 300;
    described.yDensity = 300;
    const Recipe progressiveGrey = recipe(64, 64, Kind::Grey, Scans::Progressive);
    const Recipe progressiveColour = recipe(24, 16, Kind::Colour, Scans::Progressive);
    Recipe withThumbnail = recipe(40, 30, Kind::Colour, Scans::Baseline);
    withThumbnail.segments.push_back({ 0xE1,
        testjpeg::makeExif(
            { true, testjpeg::makeJpeg(recipe(16, 12, Kind::Colour, Scans::Baseline)) })
            .data });
    // An edited photo's packet, with a history to add to and an alias the XMP library would move.
    Recipe withXmp = withExif;
    withXmp.segments.push_back(testjpeg::xmpSegment(
        testjpeg::xmpPacket("   <tiff:Software>Editor 2</tiff:Software>\n"
                            "   <xmpMM:History><rdf:Seq><rdf:li stEvt:action=\"saved\" "
                            "stEvt:softwareAgent=\"Editor 2\"/>"
                            "</rdf:Seq></xmpMM:History>",
            2)));
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
        { "density_300dpi.jpg", described },
        { "with_exif_thumbnail.jpg", withThumbnail },
        { "with_xmp.jpg", withXmp },
    };
    for (const Seed &seed : seeds)
        testjpeg::writeFile(
            std::string(argv[1]) + "/" + seed.name, testjpeg::makeJpeg(seed.recipe));

    using testjpeg::Bytes;
    struct Built {
        const char *name;
        Bytes file;
    };
    const Bytes photo = testjpeg::makeJpeg(withExif);
    // Within the fuzzer's 8 KB.
    const auto paddedTo8000
        = [](const Bytes &jpeg) { return testjpeg::paddedWithComments(jpeg, 8000 - jpeg.size()); };
    Bytes cut = testjpeg::makeJpeg(progressiveColour);
    const testjpeg::SegmentPlace firstScan = testjpeg::headerSegments(cut).back();
    cut.resize(firstScan.offset + firstScan.length + 8);
    Recipe multiPicture = progressiveColour;
    multiPicture.segments.push_back({ 0xE2, testjpeg::mpfSegment(2, false) });
    Bytes motionPhoto = testjpeg::makeJpeg(Recipe {});
    const Bytes trailer = testjpeg::samsungTrailer(testjpeg::videoStandIn(64));
    motionPhoto.insert(motionPhoto.end(), trailer.begin(), trailer.end());
    const Built built[] = {
        // Past the bound of kept segments, comments and Exif-like ones mixed.
        { "many_segments.jpg",
            testjpeg::withSegments(testjpeg::withSegments(photo, 0xFE, 500), 0xE1, 600, { 'x' }) },
        // Scans without data that add up to more than the decoder's work allows.
        { "many_scans.jpg", testjpeg::withoutPictureData(progressiveGrey, 64, 64, 40) },
        { "size_bomb.jpg", testjpeg::withoutPictureData(Recipe {}, 65500, 16000, 1) },
        { "work_bomb.jpg", testjpeg::withoutPictureData(progressiveColour, 16000, 16000, 100) },
        { "cut_in_first_scan.jpg", cut },
        // A second picture indexed by MPF, and a motion photo's trailer after the picture.
        { "multi_picture.jpg",
            testjpeg::withMpfPictures(testjpeg::makeJpeg(multiPicture), { photo }) },
        { "motion_photo.jpg", motionPhoto },
        // 32 megapixels without data, padded with comments to a byte per 4096 pixels of the file.
        { "padded_bomb.jpg", paddedTo8000(testjpeg::withoutPictureData(Recipe {}, 8000, 4000, 1)) },
        { "padded_progressive_bomb.jpg",
            paddedTo8000(testjpeg::withoutPictureData(progressiveColour, 8000, 4000, 1)) },
        // A picture larger than the fuzzer decodes, with enough data to pass every check.
        { "large_declared.jpg",
            testjpeg::withDeclaredSize(
                testjpeg::makeJpeg(recipe(64, 64, Kind::Colour, Scans::Baseline)), 2048, 2048) },
    };
    for (const Built &seed : built)
        testjpeg::writeFile(std::string(argv[1]) + "/" + seed.name, seed.file);
    return 0;
}
