// What a file holds after its main picture: the later pictures of a multi-picture file, a motion
// photo's video, anything else. It travels byte for byte after the new picture.
#include "imageio/jpeg_image.h"
#include "imageio/jpeg_layout.h"

#include "tests/support/appended_data.h"
#include "tests/support/exif_segments.h"

#include <gtest/gtest.h>

#include <functional>

using image::TBitmap;
using imageio::TJPEGImage;
using namespace testjpeg;

namespace {

struct Saved {
    Bytes bytes;
    imageio::JpegWarnings warnings;
};

// The enhancement's road through the object, the decoded picture let go before the new one comes;
// saving the picture once more gives the same file.
Saved enhanced(const Bytes &file)
{
    TJPEGImage image;
    image.LoadFromBytes(file);
    TBitmap picture;
    image.CopyToBitmap(picture);
    image.CopyFromBitmap(TBitmap());
    image.CopyFromBitmap(picture);
    const Bytes saved = image.SaveToBytes();
    image.CopyFromBitmap(picture);
    EXPECT_EQ(image.SaveToBytes(), saved);
    return { saved, image.Warnings() };
}

bool endsWith(const Bytes &bytes, const Bytes &end)
{
    return bytes.size() >= end.size() && std::equal(end.rbegin(), end.rend(), bytes.rbegin());
}

Bytes after(const Bytes &bytes, std::size_t at)
{
    return Bytes(bytes.begin() + std::ptrdiff_t(at), bytes.end());
}

// A camera's main picture: Exif, the MPF segment for the given number of pictures, then a
// maker's segment with a small picture of its own.
Bytes mpfMain(std::size_t pictures, bool bigEndian, Scans scans)
{
    Recipe main = recipe(48, 32, Kind::Colour, scans);
    main.segments
        = { { 0xE1, makeExif({ bigEndian, {} }).data }, { 0xE2, mpfSegment(pictures, bigEndian) },
              { 0xE3, makeJpeg(recipe(8, 8, Kind::Grey, Scans::Baseline)) } };
    return makeJpeg(main);
}

std::vector<Bytes> laterPictures(std::size_t count)
{
    std::vector<Bytes> pictures;
    for (std::size_t i = 0; i < count; ++i)
        pictures.push_back(makeJpeg(recipe(16 + 8 * int(i), 12, Kind::Colour, Scans::Baseline)));
    return pictures;
}

// The later pictures come out byte for byte, where the rewritten index says, and the first entry
// is the whole new main picture; what followed the pictures stays at the end.
TEST(MultiPictureFiles, LaterPicturesTravelAndTheIndexPointsAtThem)
{
    struct Case {
        const char *name;
        std::size_t later;
        bool bigEndian;
        Scans scans;
        Bytes trailer;
    };
    const Case cases[] = { { "two pictures", 1, false, Scans::Baseline, {} },
        { "three pictures and a video", 2, true, Scans::Progressive, videoStandIn(700) } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes main = mpfMain(c.later + 1, c.bigEndian, c.scans);
        const std::vector<Bytes> later = laterPictures(c.later);
        const Bytes file = withMpfPictures(main, later, c.trailer);
        const Saved saved = enhanced(file);

        const Bytes tail = after(file, main.size());
        ASSERT_TRUE(endsWith(saved.bytes, tail));
        const std::optional<std::vector<Bytes>> pictures = mpfPictures(saved.bytes);
        ASSERT_TRUE(pictures);
        ASSERT_EQ(pictures->size(), c.later + 1);
        EXPECT_EQ(pictures->front(),
            Bytes(saved.bytes.begin(), saved.bytes.end() - std::ptrdiff_t(tail.size())));
        for (std::size_t i = 0; i < c.later; ++i)
            EXPECT_EQ((*pictures)[i + 1], later[i]) << "picture " << i + 2;
        EXPECT_TRUE(saved.warnings.kinds.empty());
    }
}

void putNumber(Bytes &file, std::size_t at, std::uint32_t value)
{
    putTiffNumber(file, at, value, 4, false);
}

// An index that does not parse or does not point at pictures goes, so that no reader follows it;
// the bytes after the main picture stay, as they would without an index.
TEST(MultiPictureFiles, AnIndexThatCannotBeFollowedIsDropped)
{
    const Bytes main = mpfMain(3, false, Scans::Baseline);
    const Bytes file = withMpfPictures(main, laterPictures(2));
    const std::size_t header = mpfHeaderAt(file);
    const Bytes soi { 0xFF, 0xD8 };
    const std::size_t inside = std::size_t(
        std::search(file.begin() + std::ptrdiff_t(header), file.end(), soi.begin(), soi.end())
        - file.begin());
    ASSERT_LT(inside, main.size());
    struct Case {
        const char *name;
        std::function<void(Bytes &)> damage;
    };
    const Case cases[] = {
        { "index outside the segment", [&](Bytes &f) { putNumber(f, header + 4, 0xFFF0); } },
        { "more images than entries", [&](Bytes &f) { putNumber(f, header + 30, 4); } },
        { "offset beside a picture", [&](Bytes &f) { ++f[mpfEntryAt(f, 1) + 8]; } },
        { "offset at a picture inside the main one",
            [&](Bytes &f) { putNumber(f, mpfEntryAt(f, 1) + 8, std::uint32_t(inside - header)); } },
        { "picture reaching past the end",
            [&](Bytes &f) { putNumber(f, mpfEntryAt(f, 2) + 4, 0x10000); } },
        { "pictures cut off", [&](Bytes &f) { f.resize(main.size()); } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = file;
        c.damage(damaged);
        const Saved saved = enhanced(damaged);
        EXPECT_FALSE(mpfPictures(saved.bytes));
        EXPECT_TRUE(endsWith(saved.bytes, after(damaged, main.size())));
    }
}

// Both kinds of motion photo find their video counted from the end of the file.
TEST(MotionPhotos, TheVideoStaysWhereItsEndRelativeOffsetPoints)
{
    const Bytes video = videoStandIn(5000);
    Recipe google;
    google.segments = { { 0xE1, motionPhotoXmp(video.size()) } };
    const auto googleVideo
        = [](const Bytes &file) { return after(file, file.size() - microVideoOffset(file)); };
    struct Case {
        const char *name;
        Bytes main, trailer;
        std::function<Bytes(const Bytes &)> video;
    };
    const Case cases[] = { { "Google", makeJpeg(google), video, googleVideo },
        { "Samsung", makeJpeg({}), samsungTrailer(video), samsungVideo } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = c.main;
        file.insert(file.end(), c.trailer.begin(), c.trailer.end());
        ASSERT_EQ(c.video(file), video);
        const Saved saved = enhanced(file);
        EXPECT_TRUE(endsWith(saved.bytes, c.trailer));
        EXPECT_EQ(c.video(saved.bytes), video);
        EXPECT_TRUE(saved.warnings.kinds.empty());
    }
}

// The walk meets the picture's end marker where the codec does: not inside a segment, not
// inside the scans, past stray and fill bytes; and a file cut short has none.
TEST(JpegLayout, FindsWhereThePictureEnds)
{
    const Bytes progressive = makeJpeg(recipe(40, 24, Kind::Colour, Scans::Progressive));
    Recipe withThumbnail;
    withThumbnail.segments = { { 0xE1, makeExif({ false, progressive }).data } };
    const Bytes thumbnailInExif = makeJpeg(withThumbnail);
    Bytes stray = progressive;
    stray.insert(stray.end() - 2, { 0x12, 0x34, 0xFF, 0xFF });
    Bytes garbageAfter = progressive;
    garbageAfter.insert(garbageAfter.end(), { 0x00, 0xFF, 0xD9, 0xFF });
    struct Case {
        const char *name;
        Bytes file;
        std::size_t pictureEnd;
    };
    const Case cases[] = { { "thumbnail in Exif", thumbnailInExif, thumbnailInExif.size() },
        { "stray and fill bytes before the end", stray, stray.size() },
        { "bytes after the end", garbageAfter, progressive.size() },
        { "cut in a scan", Bytes(progressive.begin(), progressive.end() - 40),
            progressive.size() - 40 } };
    for (const Case &c : cases)
        EXPECT_EQ(imageio::readJpegLayout(c.file.data(), c.file.size()).pictureEnd, c.pictureEnd)
            << c.name;
}

} // namespace
