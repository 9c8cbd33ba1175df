#include "imageio/errors.h"
#include "platform/file_errors.h"
#include "imageio/jpeg_error_number.h"
#include "imageio/jpeg_image.h"

#include "tests/support/jpeg_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <fcntl.h>
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

// A file larger than this machine could hold while enhancing it (here a sparse one of three
// quarters of physical memory, which costs no disk) is refused before its buffer is allocated;
// filling that buffer would otherwise bring the machine to its knees or the program down.
TEST(TJPEGImageLoad, FileTooLargeForMemoryIsRefusedBeforeReading)
{
    const TempFolder folder;
    const std::string path = folder.path("huge.jpg");
    const off_t size = off_t(sysconf(_SC_PHYS_PAGES) / 4 * 3) * off_t(sysconf(_SC_PAGE_SIZE));
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const bool made = ftruncate(fd, size) == 0;
    close(fd);
    if (!made)
        GTEST_SKIP() << "this file system cannot hold a sparse file of " << size << " bytes";

    imageio::TJPEGImage image;
    EXPECT_THROW(image.LoadFile(path), core::EStreamError);
}

// The table is keyed on names; a slip would show at its ends, at the renamed Huffman check, in
// the common messages, or in messages 6a never had.
TEST(ClassicJpegErrorNumber, MapsTurboCodesToTheNumbersUsersKnow)
{
    const std::pair<int, int> cases[] = { { JERR_ARITH_NOTIMPL, 1 }, { JERR_BAD_DCTSIZE, 6 },
        { JERR_BAD_HUFF_TABLE, 28 }, { JERR_BAD_IN_COLORSPACE, 7 }, { JERR_DHT_INDEX, 29 },
        { JERR_INPUT_EMPTY, 41 }, { JERR_NO_IMAGE, 50 }, { JERR_NO_SOI, 52 },
        { JERR_OUT_OF_MEMORY, 53 }, { JERR_SOF_NO_SOS, 58 }, { JERR_XMS_WRITE, 71 },
        { JERR_BAD_DCT_COEF, 1000 + JERR_BAD_DCT_COEF },
        { JERR_BAD_DROP_SAMPLING, 1000 + JERR_BAD_DROP_SAMPLING } };
    for (const auto &[code, number] : cases)
        EXPECT_EQ(imageio::classicJpegErrorNumber(code), number) << "code " << code;
}
