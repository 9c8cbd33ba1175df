#include "imageio/errors.h"
#include "imageio/jpeg_error_number.h"
#include "imageio/jpeg_image.h"

#include "jpeg_test_support.h"

#include <gtest/gtest.h>

#include <functional>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <sys/stat.h>

using imageio::TJPEGImage;
using namespace testjpeg;

namespace {

struct OpenCase {
    const char *name;
    std::function<std::string(const TempFolder &)> prepare; // returns the path to load
};
void PrintTo(const OpenCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoadRefused : public ::testing::TestWithParam<OpenCase>
{
};

// Only regular files are read; a FIFO without a writer must not block the call (the test's
// timeout catches that).
TEST_P(LoadRefused, CannotOpenFileWithItsPath)
{
    TempFolder folder;
    const std::string path = GetParam().prepare(folder);
    TJPEGImage image;
    try {
        image.LoadFile(path);
        FAIL() << "loaded " << path;
    } catch (const imageio::EFOpenError &error) {
        EXPECT_EQ(error.what(), "Cannot open file " + path);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, LoadRefused,
    ::testing::Values(
        OpenCase { "Missing", [](const TempFolder &f) { return f.path("missing.jpg"); } },
        OpenCase { "Folder",
            [](const TempFolder &f) {
                mkdir(f.path("x.jpg").c_str(), 0755);
                return f.path("x.jpg");
            } },
        OpenCase { "Fifo",
            [](const TempFolder &f) {
                mkfifo(f.path("x.jpg").c_str(), 0644);
                return f.path("x.jpg");
            } },
        OpenCase { "Device", [](const TempFolder &) { return std::string("/dev/zero"); } }),
    [](const auto &info) { return std::string(info.param.name); });

// The table is keyed on names; these are the places where a slip in it would show: both ends,
// the renamed Huffman check, the common messages, and messages 6a never had.
TEST(ClassicJpegErrorNumber, MapsTurboCodesToTheNumbersUsersKnow)
{
    const std::pair<int, int> cases[] = {
        { JERR_ARITH_NOTIMPL, 1 },
        { JERR_BAD_DCTSIZE, 6 },
        { JERR_BAD_HUFF_TABLE, 28 },
        { JERR_BAD_IN_COLORSPACE, 7 },
        { JERR_DHT_INDEX, 29 },
        { JERR_INPUT_EMPTY, 41 },
        { JERR_NO_IMAGE, 50 },
        { JERR_NO_SOI, 52 },
        { JERR_OUT_OF_MEMORY, 53 },
        { JERR_SOF_NO_SOS, 58 },
        { JERR_XMS_WRITE, 71 },
        { JERR_BAD_DCT_COEF, 1000 + JERR_BAD_DCT_COEF },
        { JERR_BAD_DROP_SAMPLING, 1000 + JERR_BAD_DROP_SAMPLING },
    };
    for (const auto &[code, number] : cases)
        EXPECT_EQ(imageio::classicJpegErrorNumber(code), number) << "code " << code;
}

} // namespace
