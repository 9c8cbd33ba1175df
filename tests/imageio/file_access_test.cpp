#include "imageio/errors.h"
#include "imageio/jpeg_error_number.h"
#include "imageio/jpeg_image.h"

#include "jpeg_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <sys/stat.h>

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
        } catch (const imageio::EFOpenError &error) {
            EXPECT_EQ(error.what(), "Cannot open file " + path);
        }
    }
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
