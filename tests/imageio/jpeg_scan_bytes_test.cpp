// What counts as picture data, and what a file's first bytes already rule out.
#include "imageio/jpeg_scan_bytes.h"

#include "core/error.h"

#include "tests/support/jpeg_files.h"

#include <gtest/gtest.h>

using namespace testjpeg;

namespace {

// A scan header of one component, 8 bytes with its marker.
const Bytes scanHeader = { 0xFF, 0xDA, 0x00, 0x06, 0x01, 0x01, 0x00, 0x3F };

Bytes joined(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Each scan's header and coded data count, up to the marker that ends the data; a stuffed byte,
// fill bytes or a restart marker do not end it. Nothing else counts.
TEST(ScanBytes, CountsOnlyTheScans)
{
    const Bytes start = { 0xFF, 0xD8 }, end = { 0xFF, 0xD9 }, comment = { 0xFF, 0xFE, 0, 4, 1, 2 };
    const Bytes data = { 0x11, 0xFF, 0x00, 0x22, 0xFF, 0xD3, 0x33, 0xFF, 0xFF, 0x00, 0x44 };
    struct Case {
        const char *name;
        Bytes file;
        std::uint64_t counted;
    };
    const Case cases[] = {
        { "no start of image", joined({ scanHeader, data, end }), 0 },
        { "one scan after a comment", joined({ start, comment, scanHeader, data, end }), 19 },
        { "comments between scans and after the end",
            joined({ start, scanHeader, data, comment, comment, scanHeader, data, end, comment,
                scanHeader, data }),
            38 },
        { "garbage between segments", joined({ start, { 0, 1, 2 }, scanHeader, data, end }), 19 },
        { "fill bytes before a marker", joined({ start, scanHeader, data, { 0xFF }, comment }),
            19 },
        { "a scan cut short",
            joined({ start, comment, { scanHeader.begin(), scanHeader.end() - 3 } }), 5 },
    };
    for (const Case &c : cases)
        EXPECT_EQ(imageio::scanBytes(c.file.data(), c.file.size()), c.counted) << c.name;
}

// The start of a file is refused only for what the whole file's checks would refuse too.
TEST(CheckJpegStart, RefusesWhatNoLongerFileCouldMend)
{
    const Bytes photo = makeJpeg({});
    const Bytes huge = withDeclaredSize(photo, 65500, 65500);
    struct Case {
        const char *name;
        Bytes first;
        std::uint64_t fileSize;
        const char *outcome; // "" when it passes
    };
    const Case cases[] = {
        { "empty", {}, 0, "" },
        { "text", { 'h', 'i' }, 1000, "JPEG error #52" },
        { "one byte", { 0xFF }, 1, "JPEG error #52" },
        { "a photo", photo, photo.size(), "" },
        { "a photo's start", Bytes(photo.begin(), photo.begin() + 20), photo.size(), "" },
        { "a huge picture in a small file", huge, huge.size(), "JPEG error #40" },
        { "a huge picture in a file that could hold it", huge, 65500 * 16, "" },
    };
    for (const Case &c : cases) {
        std::string outcome;
        try {
            imageio::checkJpegStart(c.first.data(), c.first.size(), c.fileSize);
        } catch (const core::Error &error) {
            outcome = error.what();
        }
        EXPECT_EQ(outcome, c.outcome) << c.name;
    }
}

} // namespace
