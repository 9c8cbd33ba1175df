#include "imageio/errors.h"
#include "imageio/jpeg_error_number.h"
#include "imageio/jpeg_image.h"
#include "platform/file_errors.h"

#include "tests/support/jpeg_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <jerror.h>
#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testjpeg;

// Only regular files are read; a FIFO without a writer must not block the call (the test's
// timeout would catch that).
TEST(TJPEGImageLoad, OnlyRegularFilesOpen)
{
    const TempFolder folder;
    mkdir(folder.path("folder.jpg").c_str(), 0755);
    mkfifo(folder.path("fifo.jpg").c_str(), 0644);
    for (const std::string &path : { folder.path("missing.jpg"), folder.path("folder.jpg"),
             folder.path("fifo.jpg"), std::string("/dev/zero") }) {
        imageio::TJPEGImage image;
        try {
            image.LoadFile(path);
            ADD_FAILURE() << "loaded " << path;
        } catch (const platform::EFOpenError &error) {
            EXPECT_EQ(error.what(), "Cannot open file " + path);
        }
    }
}

// A file is judged by its first bytes and its size before the rest is read. Sparse files of
// three quarters of physical memory (which cost no disk): one that is no JPEG ends as such, one
// that begins like a photo as too large for this machine; a photo beyond the caller's limit is
// refused too, and one within it is counted by the caller before it is read. None of them takes
// long or memory to speak of.
TEST(TJPEGImageLoad, FilesAreJudgedByTheirStartAndSizeBeforeTheyAreRead)
{
    const TempFolder folder;
    const Bytes photo = makeJpeg({});
    const off_t huge = off_t(sysconf(_SC_PHYS_PAGES) / 4 * 3) * off_t(sysconf(_SC_PAGE_SIZE));
    struct Case {
        const char *name;
        Bytes start;
        off_t size;
        std::uint64_t limit;
        const char *outcome; // "" when it loads
    };
    const Case cases[] = {
        { "no JPEG", Bytes(16, 0), huge, 0, "JPEG error #52" },
        { "a photo's start", photo, huge, 0, "Out of memory while expanding memory stream" },
        { "over the limit", photo, off_t(photo.size()), photo.size() - 1,
            "Out of memory while expanding memory stream" },
        { "within the limit", photo, off_t(photo.size()), photo.size(), "" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.path("file.jpg");
        writeFile(path, c.start);
        if (truncate(path.c_str(), c.size) != 0)
            GTEST_SKIP() << "this file system cannot hold a sparse file of " << c.size << " bytes";
        std::vector<std::uint64_t> reserved;
        imageio::FileMemory memory { c.limit,
            [&](std::uint64_t bytes) { reserved.push_back(bytes); } };
        std::string outcome;
        const auto started = std::chrono::steady_clock::now();
        try {
            imageio::TJPEGImage image;
            image.LoadFile(path, memory);
        } catch (const core::Error &error) {
            outcome = error.what();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(reserved,
            outcome.empty() ? std::vector<std::uint64_t> { photo.size() }
                            : std::vector<std::uint64_t> {});
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 256 * 1024) << "kilobytes at the peak";
}

// The table is keyed on names; a slip would show at its ends, at the renamed Huffman check, in
// the common messages, or in messages 6a never had.
TEST(ClassicJpegErrorNumber, MapsTurboCodesToTheNumbersUsersKnow)
{
    const std::pair<int, int> cases[] = { { JERR_ARITH_NOTIMPL, 1 }, { JERR_BAD_DCTSIZE, 6 },
        { JERR_BAD_HUFF_TABLE, 28 }, { JERR_BAD_IN_COLORSPACE, 7 }, { JERR_DHT_INDEX, 29 },
        { JERR_INPUT_EMPTY, 41 }, { JERR_NO_IMAGE, 50 }, { JERR_NO_SOI, 52 },
        { JERR_OUT_OF_MEMORY, 53 }, { JERR_SOF_NO_SOS, 58 }, { JERR_XMS_WRITE, 71 },
        { JWRN_ADOBE_XFORM, 110 }, { JWRN_JPEG_EOF, imageio::prematureEndNumber },
        { JWRN_TOO_MUCH_DATA, 119 },
        { JERR_BAD_DCT_COEF, 1000 + JERR_BAD_DCT_COEF },
        { JERR_BAD_DROP_SAMPLING, 1000 + JERR_BAD_DROP_SAMPLING } };
    for (const auto &[code, number] : cases)
        EXPECT_EQ(imageio::classicJpegErrorNumber(code), number) << "code " << code;
}
