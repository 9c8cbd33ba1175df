// Damaged files made from valid ones: every variant must either decode or fail with one of our
// errors, quickly and without a sanitizer report. The tallies print at the end of each test.
#include "imageio/errors.h"
#include "imageio/jpeg_image.h"

#include "tests/support/jpeg_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>

#include <sys/resource.h>
#include <unistd.h>

using image::TBitmap;
using imageio::TJPEGImage;
using namespace testjpeg;

namespace {

// No damaged variant may take long or much memory; these leave room for the sanitizer builds.
constexpr double slowestAllowedSeconds = 10.0;
constexpr long largestAllowedKilobytes = 1024 * 1024;

struct Outcome {
    std::string text; // "decoded" or the error message
    bool decoded = false;
    int width = 0, height = 0;
    double seconds = 0;
};

// Where the damaged bytes come from: a file, as a run reads them, or memory, which spares the
// file system thousands of small writes where only the decoder is in question.
enum class Through { File, Memory };

// How loading and decoding these bytes ends: decoded, or one of our errors. Anything else fails
// the test. Counts the outcomes and keeps the slowest time.
class Prober
{
public:
    Outcome probe(const Bytes &bytes, Through through = Through::File)
    {
        if (through == Through::File)
            writeFile(m_path, bytes);
        Outcome outcome;
        const auto start = std::chrono::steady_clock::now();
        try {
            TJPEGImage image;
            if (through == Through::File)
                image.LoadFile(m_path);
            else
                image.LoadFromBytes(bytes);
            TBitmap picture;
            image.CopyToBitmap(picture);
            outcome.decoded = true;
            outcome.width = picture.Width();
            outcome.height = picture.Height();
            outcome.text = "decoded";
        } catch (const core::Error &error) {
            outcome.text = error.what();
        } catch (const std::exception &error) {
            ADD_FAILURE() << "not one of our errors: " << error.what();
            outcome.text = "foreign error";
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        outcome.seconds = took.count();
        m_slowest = std::max(m_slowest, took.count());
        ++m_tally[outcome.text];
        ++m_variants;
        return outcome;
    }

    void report(const std::string &what) const
    {
        std::cout << what << ": " << m_variants << " variants, slowest " << m_slowest << " s\n";
        for (const auto &[text, count] : m_tally)
            std::cout << "    " << count << " x " << text << "\n";
        EXPECT_LT(m_slowest, slowestAllowedSeconds);
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss, largestAllowedKilobytes);
    }

private:
    TempFolder m_folder;
    std::string m_path = m_folder.path("damaged.jpg");
    std::map<std::string, int> m_tally;
    int m_variants = 0;
    double m_slowest = 0;
};

Recipe recipe(Kind kind, Scans scans)
{
    Recipe r;
    r.width = 40;
    r.height = 24;
    r.kind = kind;
    r.scans = scans;
    r.segments.push_back({ 0xE1, Bytes(40, 'x') });
    return r;
}

struct Source {
    const char *name;
    Bytes bytes;
};

std::vector<Source> validSources()
{
    return { { "baseline", makeJpeg(recipe(Kind::Colour, Scans::Baseline)) },
        { "progressive", makeJpeg(recipe(Kind::Colour, Scans::Progressive)) },
        { "grey", makeJpeg(recipe(Kind::Grey, Scans::Baseline)) },
        { "cmyk", makeJpeg(recipe(Kind::Cmyk, Scans::Progressive)) } };
}

// Every marker in the file: the header's segments, and in multi-scan files the tables and scan
// headers between scans. Restart markers and stuffed zero bytes are no markers.
std::vector<std::size_t> markerOffsets(const Bytes &jpeg)
{
    std::vector<std::size_t> offsets;
    for (std::size_t at = 0; at + 1 < jpeg.size(); ++at) {
        const int code = jpeg[at + 1];
        if (jpeg[at] == 0xFF && code != 0x00 && code != 0xFF && (code < 0xD0 || code > 0xD7))
            offsets.push_back(at);
    }
    return offsets;
}

std::size_t offsetOf(const std::vector<SegmentPlace> &header, int code)
{
    for (const SegmentPlace &segment : header)
        if (segment.code == code)
            return segment.offset;
    return 0;
}

Bytes cut(const Bytes &bytes, std::size_t size)
{
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
}

// Cut exactly at a marker: before the frame header the file reads as one without a picture,
// before the first scan as a header without picture data; from the first scan on the codec makes
// up the rest and the picture keeps its full size. Cuts inside a segment and inside the picture
// data must decode or fail cleanly too.
TEST(CorruptFiles, TruncatedAtEveryMarkerAndInsideThePictureData)
{
    Prober prober;
    for (const Source &source : validSources()) {
        const Bytes &jpeg = source.bytes;
        const std::vector<SegmentPlace> header = headerSegments(jpeg);
        const std::size_t frame = std::max(offsetOf(header, 0xC0), offsetOf(header, 0xC2));
        const std::size_t firstScan = header.back().offset;
        ASSERT_GT(frame, 0u) << source.name;
        ASSERT_EQ(header.back().code, 0xDA) << source.name;

        for (const std::size_t marker : markerOffsets(jpeg)) {
            const std::string where
                = std::string(source.name) + " cut at " + std::to_string(marker);
            const Outcome outcome = prober.probe(cut(jpeg, marker));
            if (marker == 0)
                EXPECT_EQ(outcome.text, "JPEG error #41") << where;
            else if (marker <= frame)
                EXPECT_EQ(outcome.text, "JPEG error #50") << where;
            else if (marker <= firstScan)
                EXPECT_EQ(outcome.text, "JPEG error #58") << where;
            else
                EXPECT_TRUE(outcome.decoded && outcome.width == 40 && outcome.height == 24)
                    << where << ": " << outcome.text;
            for (const std::size_t inside : { 1, 2, 3 })
                if (marker + inside < jpeg.size())
                    prober.probe(cut(jpeg, marker + inside));
        }
        // Inside the entropy-coded data of every scan: a quarter, half and three quarters in.
        const std::vector<std::size_t> markers = markerOffsets(jpeg);
        for (std::size_t i = 0; i + 1 < markers.size(); ++i) {
            if (jpeg[markers[i] + 1] != 0xDA)
                continue;
            const std::size_t data
                = markers[i] + 2 + (std::size_t(jpeg[markers[i] + 2]) << 8) + jpeg[markers[i] + 3];
            for (int quarter = 1; quarter < 4; ++quarter) {
                const std::size_t size = data + (markers[i + 1] - data) * std::size_t(quarter) / 4;
                const Outcome outcome = prober.probe(cut(jpeg, size));
                EXPECT_TRUE(outcome.decoded && outcome.width == 40 && outcome.height == 24)
                    << source.name << " cut at " << size << ": " << outcome.text;
            }
        }
    }
    prober.report("truncations");
}

// Every bit of every header byte, flipped one at a time.
TEST(CorruptFiles, BitFlipsInTheHeaderSegments)
{
    Prober prober;
    for (const Source &source : validSources()) {
        const std::vector<SegmentPlace> header = headerSegments(source.bytes);
        const std::size_t end = header.back().offset + header.back().length;
        for (std::size_t at = 0; at < end; ++at) {
            for (int bit = 0; bit < 8; ++bit) {
                Bytes damaged = source.bytes;
                damaged[at] ^= std::uint8_t(1 << bit);
                const Outcome outcome = prober.probe(damaged, Through::Memory);
                if (outcome.decoded) {
                    EXPECT_GT(outcome.width, 0);
                    EXPECT_GT(outcome.height, 0);
                }
            }
        }
    }
    prober.report("header bit flips");
}

// The frame header claims 65500 x 65500 pixels and a few bytes of data follow: far more pixels
// than the bytes could code, refused before anything that size is allocated.
TEST(CorruptFiles, HugeDeclaredSizeWithAlmostNoData)
{
    Prober prober;
    for (const Source &source : validSources()) {
        const std::vector<SegmentPlace> header = headerSegments(source.bytes);
        const Outcome outcome = prober.probe(cut(withDeclaredSize(source.bytes, 65500, 65500),
            header.back().offset + header.back().length + 8));
        EXPECT_EQ(outcome.text, "JPEG error #40") << source.name;
    }
    prober.report("65500 x 65500");
}

// A scan repeated over and over is only a warning to the codec, yet each costs a pass over the
// picture: such a file is refused once its scans add up to 32 passes, or pass 1000 scans, instead
// of being decoded for minutes. Within that it decodes as before.
TEST(CorruptFiles, ScansRepeatedWithoutEnd)
{
    Recipe grey;
    grey.width = 512;
    grey.height = 512;
    grey.kind = Kind::Grey;
    grey.scans = Scans::Progressive;
    grey.flat = { 128 };
    const Bytes jpeg = makeJpeg(grey);
    const std::vector<std::size_t> markers = markerOffsets(jpeg);
    int scans = 0;
    std::size_t smallest = 0, smallestSize = jpeg.size();
    for (std::size_t i = 0; i + 1 < markers.size(); ++i) {
        if (jpeg[markers[i] + 1] != 0xDA)
            continue;
        ++scans;
        if (markers[i + 1] - markers[i] < smallestSize) {
            smallest = markers[i];
            smallestSize = markers[i + 1] - markers[i];
        }
    }
    const Bytes scan(jpeg.begin() + std::ptrdiff_t(smallest),
        jpeg.begin() + std::ptrdiff_t(smallest + smallestSize));

    Prober prober;
    // Each scan of a grey file is a whole pass.
    for (const int total : { 24, 900, 20000 }) {
        Bytes repeated(jpeg.begin(), jpeg.end() - 2); // up to the end-of-image marker
        for (int i = scans; i < total; ++i)
            repeated.insert(repeated.end(), scan.begin(), scan.end());
        repeated.insert(repeated.end(), { 0xFF, 0xD9 });
        const Outcome outcome = prober.probe(repeated);
        if (total <= 32)
            EXPECT_TRUE(outcome.decoded && outcome.width == 512) << total << ": " << outcome.text;
        else
            EXPECT_EQ(outcome.text, "JPEG error #14") << total;
    }
    prober.report("repeated scans");
}

Recipe progressive(Kind kind)
{
    Recipe r;
    r.kind = kind;
    r.scans = Scans::Progressive;
    return r;
}

Recipe photoLike(int width, int height)
{
    Recipe r;
    r.width = width;
    r.height = height;
    r.scans = Scans::Progressive;
    r.sample = [](int x, int y, int k) {
        return (x * 3 + y * 5 + k * 60
                   + int(((unsigned(x) * 73856093u ^ unsigned(y) * 19349663u) >> 9) % 32))
            % 256;
    };
    return r;
}

Bytes cutAfterFirstScan(const Bytes &jpeg)
{
    const std::vector<std::size_t> markers = markerOffsets(jpeg);
    for (std::size_t i = 0; i + 1 < markers.size(); ++i)
        if (jpeg[markers[i] + 1] == 0xDA)
            return cut(jpeg, markers[i + 1]);
    return jpeg;
}

// Files made to stall a run or exhaust the machine end quickly with their error, the Prober
// keeping time and memory in bounds; a real photo cut short still decodes.
TEST(CorruptFiles, HostileFilesEndQuickly)
{
    struct Case {
        const char *name;
        Bytes file;
        const char *outcome;
    };
    const Case cases[] = {
        // Comments to more than a byte per 4096 pixels of the whole file.
        { "65500 x 16000 baseline without data, padded",
            paddedWithComments(withoutPictureData({}, 65500, 16000, 1), 262132), "JPEG error #40" },
        { "65500 x 16000 progressive without data, padded",
            paddedWithComments(
                withoutPictureData(progressive(Kind::Colour), 65500, 16000, 1), 262132),
            "JPEG error #40" },
        { "1,000,000 empty APP1 segments before a photo", withSegments(makeJpeg({}), 0xE1, 1000000),
            "decoded" },
        { "16000 x 16000, 1000 scans without data",
            withoutPictureData(progressive(Kind::Colour), 16000, 16000, 1000), "JPEG error #40" },
        { "4096 x 4096, 900 scans without data",
            withoutPictureData(progressive(Kind::Grey), 4096, 4096, 900), "JPEG error #14" },
        { "65500 x 16000 without data", withoutPictureData({}, 65500, 16000, 1), "JPEG error #40" },
        { "1600 x 1200 photo cut after its first scan",
            cutAfterFirstScan(makeJpeg(photoLike(1600, 1200))), "decoded" },
    };
    Prober prober;
    for (const Case &c : cases) {
        const Outcome outcome = prober.probe(c.file);
        EXPECT_EQ(outcome.text, c.outcome) << c.name;
        if (!outcome.decoded) {
            EXPECT_LT(outcome.seconds, 1.0) << c.name;
        }
    }
    prober.report("hostile files");
}

TEST(CorruptFiles, TextAndEmptyFilesNamedJpg)
{
    Prober prober;
    const std::string text = "This is not a photo.\n";
    EXPECT_EQ(prober.probe(Bytes(text.begin(), text.end())).text, "JPEG error #52");
    EXPECT_EQ(prober.probe(Bytes()).text, "JPEG error #41");
    EXPECT_EQ(prober.probe(Bytes { 0xFF, 0xD8 }).text, "JPEG error #50");
    prober.report("text and empty");
}

} // namespace
