#include "imageio/errors.h"
#include "imageio/jpeg_image.h"

#include "jpeg_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include <cstdio>
#include <jpeglib.h>

using image::TBitmap;
using imageio::TJPEGImage;
using namespace testjpeg;

namespace {

TBitmap decodeThroughImage(const TempFolder &folder, const Bytes &jpeg)
{
    writeFile(folder.path("in.jpg"), jpeg);
    TJPEGImage image;
    image.LoadFile(folder.path("in.jpg"));
    TBitmap picture;
    image.CopyToBitmap(picture);
    return picture;
}

// Blue, green, red expected from the codec's own decode of the same file.
Bytes expectedBgr(const Bytes &jpeg, Kind kind)
{
    Bytes bgr;
    if (kind == Kind::Grey) {
        for (std::uint8_t grey : referenceDecode(jpeg, JCS_GRAYSCALE))
            bgr.insert(bgr.end(), { grey, grey, grey });
    } else if (kind == Kind::Colour) {
        const Bytes rgb = referenceDecode(jpeg, JCS_RGB);
        for (std::size_t i = 0; i < rgb.size(); i += 3)
            bgr.insert(bgr.end(), { rgb[i + 2], rgb[i + 1], rgb[i] });
    } else {
        const Bytes cmyk = referenceDecode(jpeg, JCS_CMYK);
        for (std::size_t i = 0; i < cmyk.size(); i += 4) {
            const unsigned k = cmyk[i + 3];
            bgr.push_back(std::uint8_t((cmyk[i + 2] * k + 127) / 255));
            bgr.push_back(std::uint8_t((cmyk[i + 1] * k + 127) / 255));
            bgr.push_back(std::uint8_t((cmyk[i] * k + 127) / 255));
        }
    }
    return bgr;
}

struct DecodeCase {
    const char *name;
    Kind kind;
    Scans scans;
    int width, height;
    std::vector<int> flat; // component values of a uniform picture
    int blue, green, red; // what that uniform picture must look like
};
void PrintTo(const DecodeCase &c, std::ostream *os)
{
    *os << c.name;
}

class DecodeKinds : public ::testing::TestWithParam<DecodeCase>
{
};

// Same pixels as the codec's own decode, row 0 at the top, bytes blue-green-red: catches swapped
// channels, flipped rows, a wrong stride, wrong codec settings and a wrong CMYK conversion.
TEST_P(DecodeKinds, MatchesTheCodecsOwnDecodeExactly)
{
    const DecodeCase &c = GetParam();
    Spec spec;
    spec.kind = c.kind;
    spec.scans = c.scans;
    spec.width = c.width;
    spec.height = c.height;
    const Bytes jpeg = makeJpeg(spec);
    TempFolder folder;
    const TBitmap picture = decodeThroughImage(folder, jpeg);
    ASSERT_EQ(picture.Width(), c.width);
    ASSERT_EQ(picture.Height(), c.height);
    const Bytes expected = expectedBgr(jpeg, c.kind);
    ASSERT_EQ(expected.size(), picture.rowBytes() * std::size_t(c.height));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), picture.Bits()));
}

// A uniform colour must come out as that colour: pins down which component lands in which byte
// independently of any reference decode.
TEST_P(DecodeKinds, UniformPictureKeepsItsColour)
{
    const DecodeCase &c = GetParam();
    Spec spec;
    spec.kind = c.kind;
    spec.scans = c.scans;
    spec.flat = c.flat;
    spec.quality = 100;
    TempFolder folder;
    const TBitmap picture = decodeThroughImage(folder, makeJpeg(spec));
    for (int y : { 0, spec.height - 1 }) {
        const std::uint8_t *pixel = picture.ScanLine(y);
        EXPECT_NEAR(pixel[0], c.blue, 2) << "row " << y;
        EXPECT_NEAR(pixel[1], c.green, 2) << "row " << y;
        EXPECT_NEAR(pixel[2], c.red, 2) << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeKinds,
    ::testing::Values(DecodeCase { "Colour", Kind::Colour, Scans::Baseline, 24, 16,
                          { 200, 120, 40 }, 40, 120, 200 },
        DecodeCase { "ColourProgressive", Kind::Colour, Scans::Progressive, 33, 17, { 10, 90, 250 },
            250, 90, 10 },
        DecodeCase {
            "OddSizeOneRow", Kind::Colour, Scans::Baseline, 7, 1, { 60, 70, 80 }, 80, 70, 60 },
        DecodeCase { "Grey", Kind::Grey, Scans::Baseline, 19, 9, { 123 }, 123, 123, 123 },
        // Such files store inverted ink: 255 is no ink.
        DecodeCase {
            "Cmyk", Kind::Cmyk, Scans::Baseline, 24, 16, { 255, 128, 64, 200 }, 50, 100, 200 },
        DecodeCase {
            "Ycck", Kind::Ycck, Scans::Progressive, 24, 16, { 64, 255, 128, 255 }, 128, 255, 64 }),
    [](const auto &info) { return std::string(info.param.name); });

// Decoding happens once per load; later copies share the cached picture.
TEST(TJPEGImageDecode, SecondCopyReusesTheDecodedPicture)
{
    TempFolder folder;
    writeFile(folder.path("in.jpg"), makeJpeg({}));
    TJPEGImage image;
    image.LoadFile(folder.path("in.jpg"));
    TBitmap first, second;
    image.CopyToBitmap(first);
    image.CopyToBitmap(second);
    EXPECT_TRUE(first.SharesPixelsWith(second));
}

// A file cut inside its first scan decodes without error, at full size, to what the codec
// makes of it; for a progressive file that includes block smoothing of the missing detail.
TEST(TJPEGImageDecode, FileCutInsideItsFirstScanDecodesAtFullSize)
{
    for (Scans scans : { Scans::Baseline, Scans::Progressive }) {
        Spec spec;
        spec.width = 64;
        spec.height = 48;
        spec.scans = scans;
        Bytes jpeg = makeJpeg(spec);
        const SegmentPlace sos = headerSegments(jpeg).back();
        ASSERT_EQ(sos.code, 0xDA);
        // Halfway through the scan's data, before whatever segment follows it.
        const std::size_t dataStart = sos.offset + sos.length;
        std::size_t dataEnd = dataStart;
        const auto endsData = [&jpeg](std::size_t at) {
            const int next = jpeg[at + 1];
            return jpeg[at] == 0xFF && next != 0 && (next < 0xD0 || next > 0xD7);
        };
        while (dataEnd + 1 < jpeg.size() && !endsData(dataEnd))
            ++dataEnd;
        jpeg.resize((dataStart + dataEnd) / 2);
        TempFolder folder;
        const TBitmap picture = decodeThroughImage(folder, jpeg);
        ASSERT_EQ(picture.Width(), 64);
        ASSERT_EQ(picture.Height(), 48);
        const Bytes expected = expectedBgr(jpeg, Kind::Colour);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), picture.Bits()));
    }
}

struct FailureCase {
    const char *name;
    std::function<Bytes()> file;
    bool failsAtLoad;
    int number;
};
void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

Bytes cutBefore(int code)
{
    Bytes jpeg = makeJpeg({});
    for (const SegmentPlace &place : headerSegments(jpeg))
        if (place.code == code) {
            jpeg.resize(place.offset);
            return jpeg;
        }
    throw std::runtime_error("segment not found");
}

// A header declaring a picture far beyond half of this machine's memory.
Bytes hugeHeader()
{
    Bytes jpeg = makeJpeg({});
    for (const SegmentPlace &place : headerSegments(jpeg))
        if (place.code == 0xC0) {
            for (std::size_t i : { 5u, 7u }) { // height, then width
                jpeg[place.offset + i] = 0xFF;
                jpeg[place.offset + i + 1] = 0xDC; // 65500
            }
        }
    return jpeg;
}

class DecodeFailures : public ::testing::TestWithParam<FailureCase>
{
};

// The message numbers users see, at the operation where the codec stops, and a working image
// that stays as it was.
TEST_P(DecodeFailures, ReportsTheClassicNumberAndLeavesTheTargetAlone)
{
    const FailureCase &c = GetParam();
    TempFolder folder;
    writeFile(folder.path("bad.jpg"), c.file());
    TJPEGImage image;
    TBitmap target(3, 2);
    target.ScanLine(1)[5] = 77;
    const std::string expected = "JPEG error #" + std::to_string(c.number);
    const auto started = std::chrono::steady_clock::now();
    try {
        image.LoadFile(folder.path("bad.jpg"));
        ASSERT_FALSE(c.failsAtLoad) << "LoadFile accepted the file";
        image.CopyToBitmap(target);
        FAIL() << "CopyToBitmap accepted the file";
    } catch (const imageio::EJPEG &error) {
        EXPECT_EQ(error.what(), expected);
        EXPECT_EQ(error.Number(), c.number);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.Height(), 2);
    EXPECT_EQ(target.ScanLine(1)[5], 77);
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeFailures,
    ::testing::Values(FailureCase { "NotAJpeg",
                          [] {
                              return Bytes { 'h', 'e', 'l', 'l', 'o', '\n' };
                          },
                          true, 52 },
        FailureCase { "Empty", [] { return Bytes {}; }, false, 41 },
        FailureCase { "CutBeforeTheFrame", [] { return cutBefore(0xC0); }, true, 50 },
        FailureCase { "CutBeforeTheFirstScan", [] { return cutBefore(0xDA); }, true, 58 },
        FailureCase { "TooLargeForThisMachine", hugeHeader, false, 53 }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
