#include "imageio/errors.h"
#include "imageio/jpeg_image.h"
#include "platform/file_errors.h"

#include "tests/support/appended_data.h"
#include "tests/support/exif_segments.h"
#include "tests/support/jpeg_files.h"

#include "tests/support/file_size_limit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using image::TBitmap;
using imageio::TJPEGImage;
using namespace testjpeg;

namespace {

// The enhancement's road through the object: load, take the picture out, put it back, save.
void roundTrip(const std::string &from, const std::string &to)
{
    TJPEGImage image;
    image.LoadFile(from);
    TBitmap picture;
    image.CopyToBitmap(picture);
    image.CopyFromBitmap(picture);
    image.SaveFile(to);
}

mode_t modeOf(const std::string &path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class SaveTest : public ::testing::Test
{
protected:
    TempFolder folder;
    std::string source = folder.path("source.jpg");
    std::string dest = folder.path("dest.jpg");
};

// Whatever the source's quality, the saved file is quality 90; it is progressive exactly when the
// source had more than one scan.
TEST_F(SaveTest, FollowsTheSourcesScansAtQuality90)
{
    for (auto [scans, progressive] :
        { std::pair { Scans::Baseline, false }, std::pair { Scans::Progressive, true },
            std::pair { Scans::SeparateComponents, true } }) {
        SCOPED_TRACE(int(scans));
        Recipe recipe;
        recipe.scans = scans;
        recipe.quality = 40;
        writeFile(source, makeJpeg(recipe));
        roundTrip(source, dest);

        const Header saved = readHeader(readFile(dest));
        EXPECT_EQ(saved.progressiveMode, progressive);
        EXPECT_EQ(saved.multipleScans, progressive);
        EXPECT_EQ(saved.quantTables, standardQuantTables(90));
        EXPECT_EQ(std::pair(saved.width, saved.height), std::pair(recipe.width, recipe.height));
    }
}

// Rows made a few at a time for the encoder give the file that the whole picture gives: the
// segments, a rebuilt Exif thumbnail, Lumivor's record, and a later MPF picture and trailing
// bytes after the picture, also when the loaded bytes were let go before (as a photo's road
// does).
TEST_F(SaveTest, PictureMadeRowByRowSavesAsTheWholePicture)
{
    const std::string comment = "made row by row";
    for (Scans scans : { Scans::Baseline, Scans::Progressive }) {
        SCOPED_TRACE(int(scans));
        Recipe thumbnail;
        thumbnail.width = 16;
        thumbnail.height = 12;
        Recipe recipe;
        recipe.scans = scans;
        recipe.width = 40;
        recipe.height = 37;
        recipe.segments = { { 0xE1, makeExif({ false, makeJpeg(thumbnail) }).data },
            { 0xE2, mpfSegment(2, false) }, { 0xFE, Bytes(comment.begin(), comment.end()) } };
        writeFile(source, withMpfPictures(makeJpeg(recipe), { makeJpeg(thumbnail) }, { 1, 2, 3 }));

        TJPEGImage whole;
        whole.LoadFile(source);
        whole.RecordEnhancement = true;
        TBitmap picture;
        whole.CopyToBitmap(picture);
        whole.CopyFromBitmap(picture);
        const Bytes expected = whole.SaveToBytes();

        TJPEGImage byRows;
        byRows.LoadFile(source);
        byRows.RecordEnhancement = true;
        byRows.CopyFromBitmap(TBitmap());
        const Bytes made = byRows.SaveRowsToBytes(picture.Width(), picture.Height(),
            [&picture](std::uint8_t *const *rows, int first, int count) {
                for (int k = 0; k < count; ++k)
                    std::copy_n(picture.ScanLine(first + k), picture.rowBytes(), rows[k]);
            });
        EXPECT_EQ(made, expected);
        EXPECT_EQ(mpfPictures(made)->size(), 2u);
        EXPECT_EQ(byRows.EnhancementRecord(), imageio::RecordOutcome::Written);
    }
}

// The print size of the source's JFIF header travels; a source without one, or with a density
// that means nothing, gets the codec's default 1 x 1 without unit.
TEST_F(SaveTest, KeepsThePrintSizeOfTheJfifHeader)
{
    struct Case {
        bool jfif;
        int unit, x, y; // of the source
        int savedUnit, savedX, savedY;
    };
    const Case cases[] = { { true, 1, 300, 72, 1, 300, 72 }, { true, 2, 118, 118, 2, 118, 118 },
        { true, 0, 2, 1, 0, 2, 1 }, { false, 1, 300, 300, 0, 1, 1 }, { true, 1, 0, 0, 0, 1, 1 } };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.jfif << " " << c.unit << " " << c.x << "x" << c.y);
        Recipe recipe;
        recipe.jfif = c.jfif;
        recipe.densityUnit = c.unit;
        recipe.xDensity = c.x;
        recipe.yDensity = c.y;
        writeFile(source, makeJpeg(recipe));
        roundTrip(source, dest);
        const Header saved = readHeader(readFile(dest));
        EXPECT_TRUE(saved.sawJfif);
        EXPECT_EQ(std::vector<int>({ saved.densityUnit, saved.xDensity, saved.yDensity }),
            std::vector<int>({ c.savedUnit, c.savedX, c.savedY }));
    }
}

// APP1 to APP15 and comments of a saved file, in file order.
std::vector<std::pair<int, Bytes>> savedSegments(const std::string &path)
{
    const Bytes saved = readFile(path);
    std::vector<std::pair<int, Bytes>> found;
    for (const SegmentPlace &place : headerSegments(saved))
        if (place.code > 0xE0)
            found.emplace_back(place.code,
                Bytes(saved.begin() + long(place.offset + 4),
                    saved.begin() + long(place.offset + place.length)));
    return found;
}

Bytes colourProfile(std::size_t size)
{
    Bytes data(size, 2);
    std::copy_n("ICC_PROFILE", 12, data.begin());
    return data;
}

Bytes text(const std::string &caption)
{
    return Bytes(caption.begin(), caption.end());
}

// jpeg with a comment segment inserted at offset at.
Bytes withComment(Bytes jpeg, std::size_t at, const std::string &caption)
{
    const Bytes comment = withSegments({ 0xFF, 0xD8 }, 0xFE, 1, text(caption));
    jpeg.insert(jpeg.begin() + std::ptrdiff_t(at), comment.begin() + 2, comment.end());
    return jpeg;
}

// A comment between the scans and one after the last follow the header's, in file order.
TEST_F(SaveTest, KeepsCommentsBetweenAndAfterTheScans)
{
    Recipe recipe;
    recipe.scans = Scans::Progressive;
    recipe.segments = { { 0xFE, text("before") } };
    Bytes jpeg = withComment(makeJpeg(recipe), makeJpeg(recipe).size() - 2, "after");
    const Bytes scan { 0xFF, 0xDA };
    const auto second
        = std::search(std::search(jpeg.begin(), jpeg.end(), scan.begin(), scan.end()) + 2,
            jpeg.end(), scan.begin(), scan.end());
    writeFile(source, withComment(jpeg, std::size_t(second - jpeg.begin()), "between"));
    roundTrip(source, dest);
    EXPECT_TRUE(savedSegments(dest)
        == (std::vector<std::pair<int, Bytes>> {
            { 0xFE, text("before") }, { 0xFE, text("between") }, { 0xFE, text("after") } }));
}

// Exif, ICC, XMP, comments and the like survive unchanged and in order right after the JFIF
// header; the Adobe segment and empty segments do not. The ICC chunk is as long as a segment
// can be.
TEST_F(SaveTest, KeepsApplicationSegmentsAndCommentsInSourceOrder)
{
    const std::vector<std::pair<int, Bytes>> kept
        = { { 0xE1, Bytes(300, 1) }, { 0xFE, text("Colorful cups. Aarhus, Denmark.") },
              { 0xE2, colourProfile(65533) }, { 0xE1, Bytes(40, 3) }, { 0xED, Bytes(12, 4) },
              { 0xEF, Bytes(5, 5) }, { 0xFE, Bytes(65533, 0xFF) } };
    Recipe recipe;
    for (const auto &[code, data] : kept)
        recipe.segments.push_back({ code, data });
    recipe.segments.insert(
        recipe.segments.begin() + 4, { 0xEE, { 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1 } });
    recipe.segments.insert(recipe.segments.begin() + 6, { 0xFE, Bytes() });
    recipe.segments.insert(recipe.segments.begin() + 1, { 0xE1, Bytes() });
    writeFile(source, makeJpeg(recipe));
    roundTrip(source, dest);

    EXPECT_TRUE(savedSegments(dest) == kept);
    EXPECT_EQ(headerSegments(readFile(dest))[1].code, 0xE0);
    EXPECT_EQ(headerSegments(readFile(dest))[2].code, 0xE1);
}

// The segments a photo's viewers rely on: Exif, XMP, an ICC profile (two chunks) and IPTC.
std::vector<std::pair<int, Bytes>> vitalSegments()
{
    const std::string xmp = "http://ns.adobe.com/xap/1.0/";
    Bytes xmpData(xmp.begin(), xmp.end());
    xmpData.insert(xmpData.end(), { 0, '<', 'x', '/', '>' });
    Bytes iccFirst = colourProfile(300), iccSecond = colourProfile(200);
    iccFirst[12] = 1;
    iccFirst[13] = iccSecond[13] = 2;
    const std::string iptc = "Photoshop 3.0";
    Bytes iptcData(iptc.begin(), iptc.end() + 1);
    iptcData.insert(iptcData.end(), { '8', 'B', 'I', 'M' });
    return { { 0xE1, makeExif({}).data }, { 0xE1, xmpData }, { 0xE2, iccFirst },
        { 0xE2, iccSecond }, { 0xED, iptcData } };
}

// A file with more segments than any photo keeps whole segments from its start up to 1000 of them
// or 16 MiB, whichever comes first, and none after, not even a small one nor a comment after the
// scan; empty ones are not kept at all. The photo's own Exif, XMP, ICC profile and IPTC after such
// a flood are kept all the same, and the picture is still enhanced.
TEST_F(SaveTest, KeepsTheFirstSegmentsUpToTheBoundAndThePhotosOwnAfterThem)
{
    struct Case {
        int code;
        std::size_t count;
        Bytes data;
        std::size_t kept;
        bool commentKept; // the comments after the photo's own segments and after the scan
    };
    const Case cases[]
        = { { 0xFE, 1001, Bytes(1, 9), 1000, false }, { 0xE1, 999, Bytes(3, 1), 999, false },
              { 0xE1, 300, Bytes(65533, 7), 16 * 1024 * 1024 / 65533, false },
              { 0xE1, 100000, {}, 0, true } };
    const std::vector<std::pair<int, Bytes>> vital = vitalSegments();
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.count << " x " << c.data.size() << " bytes");
        Recipe photo;
        for (const auto &[code, data] : vital)
            photo.segments.push_back({ code, data });
        photo.segments.push_back({ 0xFE, text("after them") });
        const Bytes plain = makeJpeg(photo);
        const Bytes commented = withComment(plain, plain.size() - 2, "after the scan");
        writeFile(source, withSegments(commented, c.code, c.count, c.data));
        roundTrip(source, dest);
        const std::vector<std::pair<int, Bytes>> saved = savedSegments(dest);
        ASSERT_EQ(saved.size(), c.kept + vital.size() + (c.commentKept ? 2 : 0));
        EXPECT_TRUE(std::all_of(saved.begin(), saved.begin() + std::ptrdiff_t(c.kept),
            [&c](const auto &segment) { return segment == std::pair(c.code, c.data); }));
        EXPECT_TRUE(std::equal(vital.begin(), vital.end(), saved.begin() + std::ptrdiff_t(c.kept)));
    }
}

// The saved file is always colour; the profile of a grey or CMYK source does not describe it.
TEST_F(SaveTest, DropsTheColourProfileOfGreyAndCmykSources)
{
    for (Kind kind : { Kind::Grey, Kind::Cmyk }) {
        Recipe recipe;
        recipe.kind = kind;
        recipe.segments = { { 0xE2, colourProfile(100) }, { 0xE1, Bytes(30, 1) } };
        writeFile(source, makeJpeg(recipe));
        roundTrip(source, dest);
        const auto found = savedSegments(dest);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].first, 0xE1);
    }
}

// Without a new picture the loaded bytes are written as they were, also after decoding; a picture
// put back is encoded anew. Source and destination may be the same file.
TEST_F(SaveTest, WritesLoadedBytesUnlessAPictureWasTaken)
{
    Recipe recipe;
    recipe.quality = 50;
    const Bytes original = makeJpeg(recipe);
    writeFile(source, original);
    TJPEGImage image;
    image.LoadFile(source);
    image.SaveFile(dest);
    EXPECT_EQ(readFile(dest), original);
    TBitmap picture;
    image.CopyToBitmap(picture);
    image.SaveFile(dest);
    EXPECT_EQ(readFile(dest), original);

    roundTrip(source, source);
    const Bytes encoded = readFile(source);
    EXPECT_NE(encoded, original);
    EXPECT_EQ(readHeader(encoded).quantTables, standardQuantTables(90));
    EXPECT_EQ(folder.names(), (std::vector<std::string> { "dest.jpg", "source.jpg" }));
}

// Our encoder and decoder keep size, orientation and colours, also for a one-row picture and for
// names that are not UTF-8.
TEST_F(SaveTest, EncodedPictureDecodesBackCloseToIt)
{
    const std::string name = folder.path("caf\xe9\xff.jpg");
    for (auto [width, height] : { std::pair { 40, 24 }, std::pair { 9, 1 } }) {
        TBitmap picture(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t *pixel = picture.ScanLine(y) + 3 * x;
                pixel[0] = std::uint8_t(40 + 4 * x); // blue grows to the right
                pixel[1] = std::uint8_t(100 + 5 * y); // green grows downwards
                pixel[2] = 180;
            }
        TJPEGImage out;
        out.CopyFromBitmap(picture);
        out.SaveFile(name);
        TJPEGImage in;
        in.LoadFile(name);
        TBitmap back;
        in.CopyToBitmap(back);
        ASSERT_EQ(back.Width(), width);
        ASSERT_EQ(back.Height(), height);
        for (std::size_t i = 0; i < picture.rowBytes() * std::size_t(height); ++i)
            ASSERT_NEAR(back.Bits()[i], picture.Bits()[i], 6)
                << width << "x" << height << " @" << i;
    }
}

TEST_F(SaveTest, EmptyPictureSavesAnEmptyFile)
{
    writeFile(dest, makeJpeg({}));
    TJPEGImage image;
    image.CopyFromBitmap(TBitmap(0, 5));
    image.SaveFile(dest);
    EXPECT_TRUE(readFile(dest).empty());
}

TEST_F(SaveTest, ReplacedFileKeepsItsModeAndNewFileFollowsTheUmask)
{
    writeFile(dest, { 1, 2, 3 });
    ASSERT_EQ(chmod(dest.c_str(), 0640), 0);
    writeFile(source, makeJpeg({}));
    roundTrip(source, dest);
    roundTrip(source, folder.path("new.jpg"));

    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(modeOf(dest), 0640u);
    EXPECT_EQ(modeOf(folder.path("new.jpg")), 0666u & ~mask);
}

using testing_support::FileSizeLimit;

TEST_F(SaveTest, ShortWriteKeepsTheOldFileAndReportsIt)
{
    const Bytes old = makeJpeg({});
    writeFile(dest, old);
    TJPEGImage image;
    image.CopyFromBitmap(TBitmap(256, 256)); // black, yet well over the limit below
    try {
        const FileSizeLimit limit(1024);
        image.SaveFile(dest);
        FAIL() << "the short write was not reported";
    } catch (const platform::EWriteError &error) {
        EXPECT_STREQ(error.what(), "Stream write error");
    }
    EXPECT_EQ(readFile(dest), old);
    EXPECT_EQ(folder.names(), std::vector<std::string> { "dest.jpg" });
}

// A destination that cannot be created or replaced fails with its path and is left as it was,
// also a read-only file when running as root, who could write it.
TEST_F(SaveTest, CannotCreateFileLeavesEverythingAsItWas)
{
    writeFile(folder.path("readonly.jpg"), { 9, 9, 9 });
    chmod(folder.path("readonly.jpg").c_str(), 0444);
    mkdir(folder.path("folder.jpg").c_str(), 0755);
    const std::vector<std::string> before = folder.names();
    TJPEGImage image;
    image.CopyFromBitmap(TBitmap(8, 8));
    for (const std::string &path :
        { folder.path("missing/x.jpg"), folder.path("readonly.jpg"), folder.path("folder.jpg") }) {
        try {
            image.SaveFile(path);
            ADD_FAILURE() << "saved to " << path;
        } catch (const platform::EFCreateError &error) {
            EXPECT_EQ(error.what(), "Cannot create file " + path);
        }
    }
    EXPECT_EQ(folder.names(), before);
    EXPECT_EQ(readFile(folder.path("readonly.jpg")), Bytes({ 9, 9, 9 }));
}

} // namespace
