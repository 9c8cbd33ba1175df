#include "imageio/errors.h"
#include "imageio/jpeg_image.h"

#include "jpeg_test_support.h"

#include <gtest/gtest.h>

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

Segment segment(int code, std::size_t size, std::uint8_t fill)
{
    return { code, Bytes(size, fill) };
}

class SaveTest : public ::testing::Test
{
protected:
    TempFolder folder;
    std::string source = folder.path("source.jpg");
    std::string dest = folder.path("dest.jpg");
};

struct ScanCase {
    const char *name;
    Scans scans;
    bool savedProgressive;
};
void PrintTo(const ScanCase &c, std::ostream *os)
{
    *os << c.name;
}

class SaveScans : public SaveTest, public ::testing::WithParamInterface<ScanCase>
{
};

// Whatever the source's quality and density, the saved file is quality 90 with density unit 0,
// 1 x 1; it is progressive exactly when the source had more than one scan.
TEST_P(SaveScans, FollowsTheSourcesScansAtQuality90)
{
    Spec spec;
    spec.scans = GetParam().scans;
    spec.quality = 40;
    spec.densityUnit = 1;
    spec.xDensity = 300;
    spec.yDensity = 72;
    writeFile(source, makeJpeg(spec));
    roundTrip(source, dest);

    const Header saved = readHeader(readFile(dest));
    EXPECT_EQ(saved.progressiveMode, GetParam().savedProgressive);
    EXPECT_EQ(saved.multipleScans, GetParam().savedProgressive);
    EXPECT_EQ(saved.quantTables, standardQuantTables(90));
    EXPECT_TRUE(saved.sawJfif);
    EXPECT_EQ(saved.densityUnit, 0);
    EXPECT_EQ(saved.xDensity, 1);
    EXPECT_EQ(saved.yDensity, 1);
    EXPECT_EQ(saved.width, spec.width);
    EXPECT_EQ(saved.height, spec.height);
}

INSTANTIATE_TEST_SUITE_P(Sources, SaveScans,
    ::testing::Values(ScanCase { "Baseline", Scans::Baseline, false },
        ScanCase { "Progressive", Scans::Progressive, true },
        ScanCase { "SequentialSeparateScans", Scans::SeparateComponents, true }),
    [](const auto &info) { return std::string(info.param.name); });

// Exif, ICC, XMP and the like survive unchanged and in order, right after the JFIF header;
// the Adobe segment and comments do not. The ICC chunk has the largest size a segment can have.
TEST_F(SaveTest, KeepsApplicationSegmentsInSourceOrder)
{
    const std::vector<Segment> kept = { segment(0xE1, 300, 1), segment(0xE2, 65533, 2),
        segment(0xE1, 40, 3), segment(0xED, 12, 4), segment(0xEF, 5, 5) };
    Spec spec;
    spec.segments = { kept[0], segment(0xFE, 10, 9), kept[1], kept[2],
        { 0xEE, { 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1 } }, kept[3], kept[4] };
    writeFile(source, makeJpeg(spec));
    roundTrip(source, dest);

    const Bytes saved = readFile(dest);
    const std::vector<SegmentPlace> places = headerSegments(saved);
    ASSERT_GE(places.size(), 2 + kept.size());
    EXPECT_EQ(places[1].code, 0xE0);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const SegmentPlace &place = places[2 + i];
        ASSERT_EQ(place.code, kept[i].code) << "segment " << i;
        const Bytes data(saved.begin() + long(place.offset + 4),
            saved.begin() + long(place.offset + place.length));
        EXPECT_EQ(data, kept[i].data) << "segment " << i;
    }
    for (const SegmentPlace &place : places)
        EXPECT_TRUE(place.code != 0xEE && place.code != 0xFE) << std::hex << place.code;
}

// Saving without a new picture writes the loaded bytes as they were; a picture put back is
// encoded anew.
TEST_F(SaveTest, WritesLoadedBytesUnlessAPictureWasTaken)
{
    Spec spec;
    spec.quality = 50;
    const Bytes original = makeJpeg(spec);
    writeFile(source, original);
    TJPEGImage image;
    image.LoadFile(source);
    image.SaveFile(dest);
    EXPECT_EQ(readFile(dest), original);

    TBitmap picture;
    image.CopyToBitmap(picture);
    image.SaveFile(dest);
    EXPECT_EQ(readFile(dest), original);

    image.CopyFromBitmap(picture);
    image.SaveFile(dest);
    const Bytes encoded = readFile(dest);
    EXPECT_NE(encoded, original);
    EXPECT_EQ(readHeader(encoded).quantTables, standardQuantTables(90));
}

// The round trip through our encoder and decoder keeps size, orientation and colours.
TEST_F(SaveTest, EncodedPictureDecodesBackCloseToIt)
{
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
        out.SaveFile(dest);
        TJPEGImage in;
        in.LoadFile(dest);
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

// The enhancement may write over its own source; the bytes are all in memory by then.
TEST_F(SaveTest, SourceCanBeItsOwnDestination)
{
    const Bytes original = makeJpeg({});
    writeFile(source, original);
    roundTrip(source, source);
    const Bytes saved = readFile(source);
    EXPECT_NE(saved, original);
    EXPECT_EQ(readHeader(saved).width, 24);
    EXPECT_EQ(folder.names(), std::vector<std::string> { "source.jpg" });
}

// Names are bytes: no encoding is assumed or converted.
TEST_F(SaveTest, PathsInAnyEncodingWork)
{
    const std::string latin1 = folder.path("caf\xe9.jpg");
    writeFile(latin1, makeJpeg({}));
    roundTrip(latin1, folder.path("\xff\xfe.jpg"));
    EXPECT_EQ(readHeader(readFile(folder.path("\xff\xfe.jpg"))).height, 16);
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
    struct stat replaced {
    }, created {};
    ASSERT_EQ(stat(dest.c_str(), &replaced), 0);
    ASSERT_EQ(stat(folder.path("new.jpg").c_str(), &created), 0);
    EXPECT_EQ(replaced.st_mode & 07777, 0640u);
    EXPECT_EQ(created.st_mode & 07777, 0666u & ~mask);
}

struct CreateCase {
    const char *name;
    std::function<std::string(const TempFolder &)> prepare; // returns the destination
};
void PrintTo(const CreateCase &c, std::ostream *os)
{
    *os << c.name;
}

class SaveRefused : public ::testing::TestWithParam<CreateCase>
{
};

// A destination that cannot be created or replaced fails with its path and stays as it was,
// even for root, who could write a read-only file.
TEST_P(SaveRefused, CannotCreateFileLeavesEverythingAsItWas)
{
    TempFolder folder;
    const std::string dest = GetParam().prepare(folder);
    const std::vector<std::string> before = folder.names();
    struct stat status {
    };
    const bool existed = stat(dest.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    const Bytes old = existed ? readFile(dest) : Bytes {};

    TJPEGImage image;
    image.CopyFromBitmap(TBitmap(8, 8));
    try {
        image.SaveFile(dest);
        FAIL() << "saved to " << dest;
    } catch (const imageio::EFCreateError &error) {
        EXPECT_EQ(error.what(), "Cannot create file " + dest);
    }
    EXPECT_EQ(folder.names(), before);
    if (existed) {
        EXPECT_EQ(readFile(dest), old);
    }
}

INSTANTIATE_TEST_SUITE_P(Destinations, SaveRefused,
    ::testing::Values(
        CreateCase { "MissingFolder", [](const TempFolder &f) { return f.path("nowhere/x.jpg"); } },
        CreateCase { "ReadOnlyFile",
            [](const TempFolder &f) {
                writeFile(f.path("x.jpg"), { 9, 9, 9 });
                chmod(f.path("x.jpg").c_str(), 0444);
                return f.path("x.jpg");
            } },
        CreateCase { "FolderInTheWay",
            [](const TempFolder &f) {
                mkdir(f.path("x.jpg").c_str(), 0755);
                return f.path("x.jpg");
            } }),
    [](const auto &info) { return std::string(info.param.name); });

// A file size limit makes the write fall short the way a full disk does.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved {};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(SaveTest, ShortWriteKeepsTheOldFileAndReportsIt)
{
    const Bytes old = makeJpeg({});
    writeFile(dest, old);
    Spec big;
    big.width = 256;
    big.height = 256;
    big.quality = 100;
    writeFile(source, makeJpeg(big));
    TJPEGImage image;
    image.LoadFile(source);
    TBitmap picture;
    image.CopyToBitmap(picture);
    image.CopyFromBitmap(picture);
    try {
        const FileSizeLimit limit(4096);
        image.SaveFile(dest);
        FAIL() << "the short write was not reported";
    } catch (const imageio::EWriteError &error) {
        EXPECT_STREQ(error.what(), "Stream write error");
    }
    EXPECT_EQ(readFile(dest), old);
    EXPECT_EQ(folder.names(), (std::vector<std::string> { "dest.jpg", "source.jpg" }));
}

} // namespace
