#include "imageio/errors.h"
#include "imageio/jpeg_image.h"

#include "tests/support/jpeg_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

#include <cstdio>
#include <jpeglib.h>

using image::TBitmap;
using imageio::TJPEGImage;
using namespace testjpeg;

namespace {

TBitmap decodeThroughImage(const Bytes &jpeg)
{
    const TempFolder folder;
    writeFile(folder.path("in.jpg"), jpeg);
    TJPEGImage image;
    image.LoadFile(folder.path("in.jpg"));
    TBitmap picture;
    image.CopyToBitmap(picture);
    return picture;
}

// Blue, green, red as the codec itself decodes the file; CMYK through the usual conversion.
Bytes expectedBgr(const Bytes &jpeg, Kind kind)
{
    if (kind == Kind::Colour || kind == Kind::Grey)
        return referenceDecode(jpeg, JCS_EXT_BGR);
    Bytes bgr;
    const Bytes cmyk = referenceDecode(jpeg, JCS_CMYK);
    for (std::size_t i = 0; i < cmyk.size(); i += 4)
        for (std::size_t ink : { 2, 1, 0 })
            bgr.push_back(std::uint8_t((cmyk[i + ink] * cmyk[i + 3] + 127) / 255));
    return bgr;
}

bool samePixels(const Bytes &expected, const TBitmap &picture)
{
    return expected.size() == picture.rowBytes() * std::size_t(picture.Height())
        && std::equal(expected.begin(), expected.end(), picture.Bits());
}

// A pattern decodes exactly as the codec does it with our settings (catches flipped rows, a wrong
// stride, wrong settings); a uniform colour keeps its colour (catches swapped channels and a
// wrong CMYK conversion, independently of the reference).
TEST(TJPEGImageDecode, MatchesTheCodecAndKeepsColours)
{
    struct Case {
        Kind kind;
        Scans scans;
        int width, height;
        std::vector<int> flat; // component values of a uniform picture ...
        int blue, green, red; // ... and how it must come out
    };
    const Case cases[]
        = { { Kind::Colour, Scans::Baseline, 24, 16, { 200, 120, 40 }, 40, 120, 200 },
              { Kind::Colour, Scans::Progressive, 33, 17, { 10, 90, 250 }, 250, 90, 10 },
              { Kind::Colour, Scans::Baseline, 7, 1, { 60, 70, 80 }, 80, 70, 60 },
              { Kind::Grey, Scans::Baseline, 19, 9, { 123 }, 123, 123, 123 },
              // Such files store inverted ink: 255 is no ink.
              { Kind::Cmyk, Scans::Baseline, 24, 16, { 255, 128, 64, 200 }, 50, 100, 200 },
              { Kind::Ycck, Scans::Progressive, 24, 16, { 64, 255, 128, 255 }, 128, 255, 64 } };
    for (const Case &c : cases) {
        SCOPED_TRACE(
            ::testing::Message() << "kind " << int(c.kind) << ", " << c.width << "x" << c.height);
        Recipe recipe;
        recipe.kind = c.kind;
        recipe.scans = c.scans;
        recipe.width = c.width;
        recipe.height = c.height;
        const Bytes patterned = makeJpeg(recipe);
        const TBitmap picture = decodeThroughImage(patterned);
        ASSERT_EQ(picture.Width(), c.width);
        ASSERT_EQ(picture.Height(), c.height);
        EXPECT_TRUE(samePixels(expectedBgr(patterned, c.kind), picture));

        recipe.flat = c.flat;
        recipe.quality = 100;
        const TBitmap uniform = decodeThroughImage(makeJpeg(recipe));
        for (int y : { 0, recipe.height - 1 }) {
            EXPECT_NEAR(uniform.ScanLine(y)[0], c.blue, 2) << "row " << y;
            EXPECT_NEAR(uniform.ScanLine(y)[1], c.green, 2) << "row " << y;
            EXPECT_NEAR(uniform.ScanLine(y)[2], c.red, 2) << "row " << y;
        }
    }
}

// A caller working on rows while the file is decoded gets them in bands from the top, each band
// as it ends up and none twice; a picture decoded before comes whole, once. A caller that gives
// up leaves the target alone.
TEST(TJPEGImageDecode, HandsOverEachBandOfRowsOnceDecoded)
{
    for (const auto &[kind, scans] : { std::pair { Kind::Colour, Scans::Baseline },
             std::pair { Kind::Colour, Scans::Progressive },
             std::pair { Kind::Cmyk, Scans::Baseline } }) {
        SCOPED_TRACE(::testing::Message() << "kind " << int(kind) << ", scans " << int(scans));
        Recipe recipe;
        recipe.kind = kind;
        recipe.scans = scans;
        recipe.width = 40;
        recipe.height = 37;
        TJPEGImage image;
        image.LoadFromBytes(makeJpeg(recipe));
        Bytes handed;
        int next = 0;
        TBitmap picture;
        image.CopyToBitmap(picture, [&](const TBitmap &decoded, int first, int count) {
            EXPECT_EQ(first, next);
            EXPECT_GT(count, 0);
            next = first + count;
            handed.insert(handed.end(), decoded.ScanLine(first),
                decoded.ScanLine(first) + decoded.rowBytes() * std::size_t(count));
        });
        EXPECT_EQ(next, recipe.height);
        EXPECT_TRUE(samePixels(handed, picture));

        int calls = 0;
        TBitmap again;
        image.CopyToBitmap(again, [&](const TBitmap &, int first, int count) {
            ++calls;
            EXPECT_EQ(std::pair(first, count), std::pair(0, recipe.height));
        });
        EXPECT_EQ(calls, 1);

        TJPEGImage givenUp;
        givenUp.LoadFromBytes(makeJpeg(recipe));
        TBitmap untouched;
        EXPECT_THROW(givenUp.CopyToBitmap(untouched,
                         [](const TBitmap &, int first, int) {
                             if (first > 0)
                                 throw std::runtime_error("enough");
                         }),
            std::runtime_error);
        EXPECT_TRUE(untouched.Empty());
    }
}

// Cut inside its first scan, a file still decodes, at full size, to what the codec makes of it;
// for a progressive file that includes block smoothing of the missing detail.
TEST(TJPEGImageDecode, FileCutInsideItsFirstScanDecodesAtFullSize)
{
    for (Scans scans : { Scans::Baseline, Scans::Progressive }) {
        Recipe recipe;
        recipe.width = 64;
        recipe.height = 48;
        recipe.scans = scans;
        Bytes jpeg = makeJpeg(recipe);
        const std::size_t dataStart
            = headerSegments(jpeg).back().offset + headerSegments(jpeg).back().length;
        std::size_t dataEnd = dataStart; // the next marker other than a stuffed byte or restart
        while (dataEnd + 1 < jpeg.size()
            && !(jpeg[dataEnd] == 0xFF && jpeg[dataEnd + 1] != 0
                && (jpeg[dataEnd + 1] < 0xD0 || jpeg[dataEnd + 1] > 0xD7)))
            ++dataEnd;
        jpeg.resize((dataStart + dataEnd) / 2);
        const TBitmap picture = decodeThroughImage(jpeg);
        EXPECT_EQ(picture.Width(), 64);
        EXPECT_EQ(picture.Height(), 48);
        EXPECT_TRUE(samePixels(expectedBgr(jpeg, Kind::Colour), picture));
    }
}

// The codec's warnings reach the caller, each kind once with its count, after the decoded picture
// is let go too; a file that ends early says so, and a new load starts afresh.
TEST(TJPEGImageDecode, ReportsTheCodecsWarnings)
{
    Recipe recipe;
    recipe.width = 64;
    recipe.height = 48;
    recipe.scans = Scans::Progressive;
    const Bytes clean = makeJpeg(recipe);
    // Before the second and third scan headers, right after table segments; stray bytes right
    // after scan data would be read as more of it.
    std::vector<std::size_t> scans;
    for (std::size_t at = 0; at + 1 < clean.size(); ++at)
        if (clean[at] == 0xFF && clean[at + 1] == 0xDA)
            scans.push_back(at);
    ASSERT_GE(scans.size(), 3u);
    Bytes stray = clean;
    stray.insert(stray.begin() + std::ptrdiff_t(scans[2]), { 4, 5, 6 });
    stray.insert(stray.begin() + std::ptrdiff_t(scans[1]), { 1, 2, 3 });
    struct Case {
        const char *name;
        Bytes file;
        bool endedEarly;
        std::vector<std::pair<std::string, std::uint64_t>> kinds;
    };
    const Case cases[]
        = { { "stray bytes before two markers", stray, false,
                { { "Corrupt JPEG data: 3 extraneous bytes before marker 0xda", 2 } } },
              { "cut in its first scan", Bytes(clean.begin(), clean.begin() + 700), true,
                  { { "Premature end of JPEG file", 1 },
                      { "Corrupt JPEG data: premature end of data segment", 1 } } },
              { "clean", clean, false, {} } };
    TJPEGImage image;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        image.LoadFromBytes(c.file);
        TBitmap picture;
        image.CopyToBitmap(picture);
        image.CopyFromBitmap(TBitmap());
        EXPECT_EQ(image.Warnings().endedEarly, c.endedEarly);
        std::vector<std::pair<std::string, std::uint64_t>> kinds;
        for (const imageio::JpegWarning &warning : image.Warnings().kinds)
            kinds.emplace_back(warning.text, warning.count);
        EXPECT_EQ(kinds, c.kinds);
    }
}

Bytes cutBefore(int code)
{
    Bytes jpeg = makeJpeg({});
    for (const SegmentPlace &place : headerSegments(jpeg))
        if (place.code == code)
            jpeg.resize(place.offset);
    return jpeg;
}

// A header declaring 65500 x 65500 pixels, far beyond half of the test machine's memory, with
// more than a byte of coded data per 4096 pixels, which a real file could have.
Bytes hugeHeader()
{
    Bytes jpeg = withDeclaredSize(makeJpeg({}), 65500, 65500);
    const SegmentPlace scan = headerSegments(jpeg).back();
    jpeg.insert(jpeg.begin() + std::ptrdiff_t(scan.offset + scan.length), 65500 * 16, 0x55);
    return jpeg;
}

// The number users know, raised at the right operation, quickly, with the working image left as
// it was.
TEST(TJPEGImageDecode, FailuresReportTheClassicNumberAndLeaveTheTargetAlone)
{
    struct Case {
        const char *name;
        Bytes file;
        bool failsAtLoad;
        int number;
    };
    const Case cases[] = { { "not a JPEG", { 'h', 'e', 'l', 'l', 'o' }, true, 52 },
        { "empty", {}, false, 41 }, { "cut before the frame", cutBefore(0xC0), true, 50 },
        { "cut before the first scan", cutBefore(0xDA), true, 58 },
        { "too large for this machine", hugeHeader(), false, 53 } };
    const TempFolder folder;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(folder.path("bad.jpg"), c.file);
        TJPEGImage image;
        TBitmap target(3, 2);
        target.ScanLine(1)[5] = 77;
        const auto started = std::chrono::steady_clock::now();
        try {
            image.LoadFile(folder.path("bad.jpg"));
            EXPECT_FALSE(c.failsAtLoad) << "LoadFile accepted the file";
            image.CopyToBitmap(target);
            ADD_FAILURE() << "CopyToBitmap accepted the file";
        } catch (const imageio::EJPEG &error) {
            EXPECT_EQ(error.what(), "JPEG error #" + std::to_string(c.number));
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(target.Width(), 3);
        EXPECT_EQ(target.ScanLine(1)[5], 77);
    }
}

} // namespace
