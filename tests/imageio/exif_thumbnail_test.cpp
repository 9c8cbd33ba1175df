// Exif thumbnails of saved photos: made anew from the saved picture, or removed where that cannot
// be done safely, with every other byte of the segment left in its place.
#include "imageio/exif_thumbnail.h"
#include "imageio/jpeg_image.h"
#include "imageio/thumbnail_picture.h"

#include "tests/support/exif_segments.h"
#include "tests/support/jpeg_files.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

#include <cstdio>
#include <jpeglib.h>

using image::TBitmap;
using imageio::rebuildExifThumbnail;
using namespace testjpeg;

namespace {

using Levels = std::array<double, 3>; // mean blue, green, red

// Gentle gradients around a base colour, given as blue, green, red.
TBitmap tinted(int width, int height, std::array<int, 3> bgr)
{
    TBitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                picture.ScanLine(y)[3 * x + c]
                    = std::uint8_t(bgr[std::size_t(c)] + 20 * x / width - 20 * y / height);
    return picture;
}

Levels meanLevels(const std::uint8_t *bgr, std::size_t pixels)
{
    Levels sums {};
    for (std::size_t i = 0; i < pixels * 3; ++i)
        sums[i % 3] += bgr[i];
    for (double &sum : sums)
        sum /= double(pixels);
    return sums;
}

Levels meanLevels(const TBitmap &picture)
{
    return meanLevels(picture.Bits(), std::size_t(picture.Width()) * std::size_t(picture.Height()));
}

// A camera's thumbnail: a JPEG of one colour (red, green, blue), with a JFIF header.
Bytes flatJpeg(int width, int height, std::vector<int> rgb, int quality = 75)
{
    Recipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.flat = std::move(rgb);
    recipe.quality = quality;
    return makeJpeg(recipe);
}

// Random levels: no quality makes a small JPEG of it, least of all at its own size.
TBitmap noise(int width, int height)
{
    TBitmap picture(width, height);
    std::uint32_t state = 1;
    for (std::size_t i = 0; i < picture.rowBytes() * std::size_t(height); ++i)
        picture.Bits()[i] = std::uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    return picture;
}

// The thumbnail that IFD1 of data points at; data's layout up to IFD1 is exif's.
Bytes thumbnailIn(const Bytes &data, const ExifSegment &exif, bool bigEndian)
{
    const std::size_t offset = tiffNumber(data, ifd1ValueAt(exif, ThumbnailOffset), 4, bigEndian);
    const std::size_t length = tiffNumber(data, ifd1ValueAt(exif, ThumbnailLength), 4, bigEndian);
    EXPECT_LE(6 + offset + length, data.size());
    if (6 + offset + length > data.size())
        return {};
    return Bytes(data.begin() + long(6 + offset), data.begin() + long(6 + offset + length));
}

// A decoded thumbnail has the old size, no JFIF header, one baseline frame, and the colours of
// picture, not of the old thumbnail.
void expectThumbnailOf(const TBitmap &picture, const Bytes &thumbnail, int width, int height)
{
    ASSERT_FALSE(thumbnail.empty());
    const Header header = readHeader(thumbnail);
    EXPECT_EQ(std::pair(header.width, header.height), std::pair(width, height));
    EXPECT_FALSE(header.sawJfif);
    EXPECT_FALSE(header.progressiveMode);
    EXPECT_EQ(headerSegments(thumbnail)[1].code, 0xDB); // tables right after the start
    const Bytes bgr = referenceDecode(thumbnail, JCS_EXT_BGR);
    const Levels got = meanLevels(bgr.data(), std::size_t(width * height));
    const Levels want = meanLevels(picture);
    for (std::size_t c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], want[c], 6.0) << "channel " << c;
}

// A camera's thumbnail of one colour, smaller than the new one will be.
Bytes smallOldThumbnail()
{
    return flatJpeg(40, 30, { 40, 90, 200 }, 50);
}

// A busy picture at high quality: more room than the new thumbnail needs.
Bytes roomyOldThumbnail()
{
    Recipe old;
    old.width = 40;
    old.height = 30;
    old.quality = 100;
    return makeJpeg(old);
}

struct RebuildCase {
    const char *name;
    bool bigEndian;
    bool thumbnailFirst;
    Bytes (*oldThumbnail)();
    bool movesToEnd; // the new thumbnail does not fit in the old one's room
};
void PrintTo(const RebuildCase &c, std::ostream *os)
{
    *os << c.name;
}

class RebuiltThumbnail : public ::testing::TestWithParam<RebuildCase>
{
};

// Only the length and, when it moves, the offset of the thumbnail change; the old thumbnail's
// bytes are overwritten, cut off or zeroed. A second pass finds the result as rebuildable as a
// camera's segment and gives the same bytes, so the segment does not grow from save to save.
TEST_P(RebuiltThumbnail, ShowsThePictureAndLeavesEveryOtherByteInPlace)
{
    const RebuildCase &c = GetParam();
    const bool big = c.bigEndian;
    const Bytes old = c.oldThumbnail();
    const ExifSegment exif = makeExif({ big, old, c.thumbnailFirst });
    const TBitmap picture = tinted(160, 120, { 50, 110, 210 });

    const Bytes out = rebuildExifThumbnail(exif.data, picture);
    const Bytes thumbnail = thumbnailIn(out, exif, big);
    expectThumbnailOf(picture, thumbnail, 40, 30);

    const std::size_t oldStart = exif.thumbnailAt, oldEnd = oldStart + old.size();
    const std::size_t newStart = 6 + tiffNumber(out, ifd1ValueAt(exif, ThumbnailOffset), 4, big);
    const std::size_t newEnd = newStart + thumbnail.size();
    EXPECT_EQ(newStart != oldStart, c.movesToEnd);
    if (c.movesToEnd) {
        EXPECT_EQ(newStart, exif.data.size() + exif.data.size() % 2);
    }
    const std::size_t offsetField = ifd1ValueAt(exif, ThumbnailOffset);
    const std::size_t lengthField = ifd1ValueAt(exif, ThumbnailLength);
    int moved = 0, stale = 0;
    for (std::size_t p = 0; p < exif.data.size() && p < out.size(); ++p) {
        if ((p >= offsetField && p < offsetField + 4) || (p >= lengthField && p < lengthField + 4)
            || (p >= newStart && p < newEnd))
            continue;
        if (p >= oldStart && p < oldEnd)
            stale += out[p] != 0;
        else
            moved += out[p] != exif.data[p];
    }
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(stale, 0);
    EXPECT_EQ(rebuildExifThumbnail(out, picture), out);
}

INSTANTIATE_TEST_SUITE_P(Layouts, RebuiltThumbnail,
    ::testing::Values(RebuildCase { "IntelLast", false, false, smallOldThumbnail, false },
        RebuildCase { "MotorolaLast", true, false, roomyOldThumbnail, false },
        RebuildCase { "IntelFirstSmall", false, true, smallOldThumbnail, true },
        RebuildCase { "MotorolaFirstRoomy", true, true, roomyOldThumbnail, false }),
    [](const auto &info) { return std::string(info.param.name); });

// The whole road: a photo with Exif and XMP is loaded, given a new picture and saved; the saved
// Exif thumbnail shows the new picture, the XMP segment is as it was.
TEST(ExifThumbnailSave, SavedPhotoCarriesAThumbnailOfItsNewPicture)
{
    TempFolder folder;
    const ExifSegment exif = makeExif({ true, flatJpeg(40, 30, { 40, 90, 200 }) });
    const std::string xmpText = "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>";
    const Bytes xmp(xmpText.begin(), xmpText.end());
    Recipe photo;
    photo.width = 160;
    photo.height = 120;
    photo.flat = { 40, 90, 200 };
    photo.segments = { { 0xE1, exif.data }, { 0xE1, xmp } };
    writeFile(folder.path("source.jpg"), makeJpeg(photo));

    const TBitmap enhanced = tinted(160, 120, { 50, 110, 210 });
    imageio::TJPEGImage image;
    image.LoadFile(folder.path("source.jpg"));
    TBitmap picture;
    image.CopyToBitmap(picture);
    image.CopyFromBitmap(enhanced);
    image.SaveFile(folder.path("saved.jpg"));

    const Bytes saved = readFile(folder.path("saved.jpg"));
    std::vector<Bytes> app1;
    for (const SegmentPlace &place : headerSegments(saved))
        if (place.code == 0xE1)
            app1.emplace_back(saved.begin() + long(place.offset + 4),
                saved.begin() + long(place.offset + place.length));
    ASSERT_EQ(app1.size(), 2u);
    EXPECT_EQ(app1[1], xmp);
    expectThumbnailOf(enhanced, thumbnailIn(app1[0], exif, true), 40, 30);
}

enum class Expect {
    Unchanged,
    Removed, // IFD1 unlinked, the old thumbnail's bytes zeroed or cut off
    Unlinked, // IFD1 unlinked; the bytes it claims belong to something else or to nothing
};

struct OddCase {
    const char *name;
    bool bigEndian;
    std::function<void(ExifSegment &, bool bigEndian)> change;
    Expect expect;
};
void PrintTo(const OddCase &c, std::ostream *os)
{
    *os << c.name;
}

void setLong(ExifSegment &exif, std::size_t at, std::uint32_t value, bool big)
{
    putTiffNumber(exif.data, at, value, 4, big);
}

void setTag(ExifSegment &exif, Ifd1Entry entry, std::uint16_t tag, bool big)
{
    putTiffNumber(exif.data, ifd1TagAt(exif, entry), tag, 2, big);
}

class OddSegment : public ::testing::TestWithParam<OddCase>
{
};

// Segments that are no Exif with a thumbnail come back as they are; those whose thumbnail cannot
// be rebuilt safely lose it cleanly, and nothing else changes.
TEST_P(OddSegment, IsLeftAloneOrLosesItsThumbnailCleanly)
{
    const OddCase &c = GetParam();
    const Bytes oldThumbnail = flatJpeg(40, 30, { 40, 90, 200 });
    ExifSegment exif = makeExif({ c.bigEndian, oldThumbnail });
    c.change(exif, c.bigEndian);
    const Bytes out = rebuildExifThumbnail(exif.data, tinted(160, 120, { 50, 110, 210 }));

    if (c.expect == Expect::Unchanged) {
        EXPECT_EQ(out, exif.data);
        return;
    }
    ASSERT_LE(out.size(), exif.data.size());
    EXPECT_EQ(tiffNumber(out, exif.ifd0NextAt, 4, c.bigEndian), 0u);
    const std::size_t oldEnd = exif.thumbnailAt + oldThumbnail.size();
    int changed = 0, stale = 0;
    for (std::size_t p = 0; p < out.size(); ++p) {
        if (p >= exif.ifd0NextAt && p < exif.ifd0NextAt + 4)
            continue;
        if (c.expect == Expect::Removed && p >= exif.thumbnailAt && p < oldEnd)
            stale += out[p] != 0;
        else
            changed += out[p] != exif.data[p];
    }
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(stale, 0);
    if (c.expect == Expect::Unlinked) {
        EXPECT_EQ(out.size(), exif.data.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OddSegment,
    ::testing::Values(OddCase { "NotExif", false,
                          [](ExifSegment &e, bool) {
                              const std::string xmp = "http://ns.adobe.com/xap/1.0/\0<x/>";
                              e.data.assign(xmp.begin(), xmp.end());
                          },
                          Expect::Unchanged },
        OddCase { "NoIfd1", true,
            [](ExifSegment &e, bool big) { setLong(e, e.ifd0NextAt, 0, big); }, Expect::Unchanged },
        OddCase { "Ifd0CutShort", false, [](ExifSegment &e, bool) { e.data.resize(30); },
            Expect::Unchanged },
        OddCase { "Ifd1WithoutPicture", true,
            [](ExifSegment &e, bool big) {
                setTag(e, ThumbnailOffset, 0x011A, big);
                setTag(e, ThumbnailLength, 0x011B, big);
            },
            Expect::Unchanged },
        OddCase { "ThumbnailPastTheEnd", false,
            [](ExifSegment &e, bool big) {
                const std::size_t at = ifd1ValueAt(e, ThumbnailLength);
                setLong(e, at, tiffNumber(e.data, at, 4, big) + 1000, big);
            },
            Expect::Removed },
        OddCase { "ThumbnailInsideIfd0", true,
            [](ExifSegment &e, bool big) { setLong(e, ifd1ValueAt(e, ThumbnailOffset), 8, big); },
            Expect::Unlinked },
        OddCase { "ThumbnailSharedWithMakerNote", false,
            [](ExifSegment &e, bool big) {
                setLong(e, e.makerNotePointerAt, std::uint32_t(e.thumbnailAt - 6 + 100), big);
            },
            Expect::Unlinked },
        OddCase { "Ifd1OutsideTheSegment", false,
            [](ExifSegment &e, bool big) { setLong(e, e.ifd0NextAt, 60000, big); },
            Expect::Unlinked },
        OddCase { "Ifd1LinksBackToIfd0", true,
            [](ExifSegment &e, bool big) { setLong(e, e.ifd1At + 2 + 3 * 12, 8, big); },
            Expect::Removed },
        OddCase { "ExifDirectoryIsIfd0", false,
            [](ExifSegment &e, bool big) { setLong(e, e.exifPointerAt, 8, big); },
            Expect::Removed },
        OddCase { "StripThumbnail", true,
            [](ExifSegment &e, bool big) {
                putTiffNumber(e.data, ifd1ValueAt(e, Compression), 1, 2, big);
                setTag(e, ThumbnailOffset, 0x0111, big);
                setTag(e, ThumbnailLength, 0x0117, big);
            },
            Expect::Removed },
        OddCase { "ThumbnailNotAJpeg", false,
            [](ExifSegment &e, bool) { e.data[e.thumbnailAt + 1] = 0; }, Expect::Removed }),
    [](const auto &info) { return std::string(info.param.name); });

// A thumbnail that would take the segment past its limit is made at a lower quality; when even
// that does not fit, the thumbnail is removed.
TEST(ExifThumbnail, SegmentLimitLowersTheQualityOrRemovesTheThumbnail)
{
    const Bytes old = flatJpeg(40, 30, { 128, 128, 128 }, 5);
    ExifRecipe recipe { false, old };
    const ExifSegment roomy = makeExif(recipe);
    const TBitmap picture = tinted(160, 120, { 50, 110, 210 });
    const std::size_t firstTry
        = thumbnailIn(rebuildExifThumbnail(roomy.data, picture), roomy, false).size();

    // One byte short of room for the first try.
    recipe.makerNoteBytes
        += imageio::mostSegmentBytes + old.size() - roomy.data.size() - firstTry + 1;
    const ExifSegment tight = makeExif(recipe);
    const Bytes lowered = rebuildExifThumbnail(tight.data, picture);
    EXPECT_LE(lowered.size(), imageio::mostSegmentBytes);
    const Bytes thumbnail = thumbnailIn(lowered, tight, false);
    EXPECT_LT(thumbnail.size(), firstTry);
    expectThumbnailOf(picture, thumbnail, 40, 30);

    const Bytes removed = rebuildExifThumbnail(tight.data, noise(40, 30));
    EXPECT_EQ(tiffNumber(removed, tight.ifd0NextAt, 4, false), 0u);
    EXPECT_EQ(removed.size(), tight.thumbnailAt);
}

// A damaged entry that claims bytes past the end of the segment keeps them: a larger thumbnail is
// not written over them, so the thumbnail goes instead.
TEST(ExifThumbnail, DoesNotGrowIntoBytesClaimedPastTheEnd)
{
    ExifSegment exif = makeExif({ true, flatJpeg(40, 30, { 128, 128, 128 }, 5) });
    putTiffNumber(exif.data, exif.makerNotePointerAt, std::uint32_t(exif.data.size() - 6), 4, true);
    const Bytes out = rebuildExifThumbnail(exif.data, noise(40, 30));
    EXPECT_EQ(tiffNumber(out, exif.ifd0NextAt, 4, true), 0u);
    EXPECT_EQ(out.size(), exif.thumbnailAt);
}

struct PlaceCase {
    const char *name;
    int pictureWidth, pictureHeight, width, height;
    int x, y, placeWidth, placeHeight; // where the picture shows; black elsewhere
};
void PrintTo(const PlaceCase &c, std::ostream *os)
{
    *os << c.name;
}

class ThumbnailPlace : public ::testing::TestWithParam<PlaceCase>
{
};

// A picture of another shape sits centred between black bars; a difference of one pixel is
// rounding and is filled. Full red catches sums that overflow.
TEST_P(ThumbnailPlace, FlatPictureFillsItsPlaceBetweenBlackBars)
{
    const PlaceCase &c = GetParam();
    TBitmap picture(c.pictureWidth, c.pictureHeight);
    for (int y = 0; y < c.pictureHeight; ++y)
        for (int x = 0; x < c.pictureWidth; ++x)
            std::copy_n("\x0a\x50\xff", 3, picture.ScanLine(y) + 3 * x);
    const TBitmap thumbnail = imageio::makeThumbnailPicture(picture, c.width, c.height);
    ASSERT_EQ(std::pair(thumbnail.Width(), thumbnail.Height()), std::pair(c.width, c.height));
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const bool inside
                = x >= c.x && x < c.x + c.placeWidth && y >= c.y && y < c.y + c.placeHeight;
            const std::uint8_t *pixel = thumbnail.ScanLine(y) + 3 * x;
            const std::vector<int> want
                = inside ? std::vector<int> { 10, 80, 255 } : std::vector<int> { 0, 0, 0 };
            ASSERT_EQ(std::vector<int>(pixel, pixel + 3), want) << "at " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ThumbnailPlace,
    ::testing::Values(PlaceCase { "SameShape", 160, 120, 40, 30, 0, 0, 40, 30 },
        PlaceCase { "WideBetweenBarsAboveAndBelow", 64, 36, 32, 24, 0, 3, 32, 18 },
        PlaceCase { "TallBetweenBarsLeftAndRight", 30, 40, 40, 30, 8, 0, 23, 30 },
        PlaceCase { "OnePixelOffIsRounding", 161, 120, 160, 120, 0, 0, 160, 120 },
        PlaceCase { "SmallerPictureRepeatsPixels", 8, 6, 40, 30, 0, 0, 40, 30 },
        PlaceCase { "MoreRowsThanSixteenBitSumsHold", 300, 300, 1, 1, 0, 0, 1, 1 }),
    [](const auto &info) { return std::string(info.param.name); });

// Each thumbnail pixel is the rounded mean of its own 3 x 3 block: a checkerboard of two values
// per block and channel, different in every block, so that a shifted or mixed block shows.
TEST(ThumbnailPicture, EachPixelIsTheRoundedMeanOfItsBlock)
{
    TBitmap picture(9, 6);
    const auto levels
        = [](int block, int c, bool odd) { return 10 + 30 * block + 7 * c + (odd ? 6 : 0); };
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x)
            for (int c = 0; c < 3; ++c)
                picture.ScanLine(y)[3 * x + c]
                    = std::uint8_t(levels(y / 3 * 3 + x / 3, c, (x % 3 + y % 3) % 2 == 1));
    const TBitmap thumbnail = imageio::makeThumbnailPicture(picture, 3, 2);
    for (int block = 0; block < 6; ++block)
        for (int c = 0; c < 3; ++c) {
            // Five plain and four raised pixels in each block: a + 24/9 rounds to a + 3.
            EXPECT_EQ(
                thumbnail.ScanLine(block / 3)[3 * (block % 3) + c], levels(block, c, false) + 3)
                << "block " << block << ", channel " << c;
        }
}

} // namespace
