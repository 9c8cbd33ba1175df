#include "enhance/enhance_picture.h"

#include "test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using enhance_test::bytesOf;

// Random near-greys squeezed into 60..187 and tinted: every step of the sequence has work to do.
image::TBitmap castPhoto(int width, int height)
{
    image::TBitmap photo
        = enhance_test::randomPicture(width, height, std::uint32_t(width * height), 20);
    for (int y = 0; y < height; ++y)
        for (std::size_t i = 0; i < photo.rowBytes(); ++i)
            photo.ScanLine(y)[i] = std::uint8_t(60 + photo.ScanLine(y)[i] / 2);
    enhance::ShiftChannels(photo, 9, 0, -7);
    return photo;
}

// The sequence as the operations run it on whole pictures, the smoothing through its plain rule.
std::vector<std::uint8_t> onWholePictures(const image::TBitmap &photo)
{
    image::TBitmap first, second;
    first.Assign(photo);
    second.Assign(first);
    enhance::RemoveColourCast(first, second, 20);
    second.Assign(first);
    int low = 0, high = 0;
    enhance::FindClipPoints(second, low, high, 0.1f);
    enhance::ApplyToneCurve(first, second, low, (low + high) / 2, high, 0, 127, 255);
    second.Assign(first);
    enhance::detail::smoothSharpenPlain(first, second, true, 7, 2);
    return bytesOf(first);
}

// The sequence by rows, measured and finished `band` rows at a time into rows of their own,
// filled beforehand so that a row left unwritten shows.
std::vector<std::uint8_t> byRows(const image::TBitmap &photo, int band)
{
    const int height = photo.Height();
    const std::size_t rowBytes = photo.rowBytes();
    enhance::RowSequence sequence;
    for (int y = 0; y < height; y += band)
        sequence.measureRows(photo, y, std::min(band, height - y));
    sequence.findLevels(photo);
    std::vector<std::uint8_t> out(rowBytes * std::size_t(height), 0x5A);
    std::vector<std::uint8_t *> rows;
    for (int y = 0; y < height; ++y)
        rows.push_back(out.data() + std::size_t(y) * rowBytes);
    for (int y = 0; y < height; y += band)
        sequence.finishRows(photo, rows.data() + y, y, std::min(band, height - y));
    return out;
}

class RowSequenceSizes : public ::testing::TestWithParam<enhance_test::Size>
{
};

// Bands of one row, of a few, of the sequence's own and of more than it keeps toned rows for,
// on every target: the rows come out as the operations make the whole picture, and the picture
// itself is only read. EnhancePicture, in place, ends alike.
TEST_P(RowSequenceSizes, MatchesTheOperationsOnWholePictures)
{
    const enhance_test::Size size = GetParam();
    const image::TBitmap photo = castPhoto(size.width, size.height);
    const std::vector<std::uint8_t> original = bytesOf(photo);
    const std::vector<std::uint8_t> wanted = onWholePictures(photo);
    enhance_test::forEachSimdTarget([&] {
        for (const int band : { 1, 3, enhance::RowSequence::bandRows,
                 enhance::RowSequence::bandRows + 3, size.height }) {
            ASSERT_EQ(byRows(photo, band), wanted) << "bands of " << band << " rows";
            ASSERT_EQ(bytesOf(photo), original);
        }
        image::TBitmap inPlace;
        inPlace.Assign(photo);
        enhance::EnhancePicture(inPlace);
        EXPECT_EQ(bytesOf(inPlace), wanted);
        EXPECT_EQ(bytesOf(photo), original);
    });
}

std::vector<enhance_test::Size> sizes()
{
    std::vector<enhance_test::Size> sizes = enhance_test::oddSizes();
    // Narrow and tall, across several bands; and a width the vector loops take whole.
    sizes.insert(sizes.end(), { { 1, 40 }, { 5, 53 }, { 37, 35 }, { 256, 18 } });
    return sizes;
}

INSTANTIATE_TEST_SUITE_P(Sizes, RowSequenceSizes, ::testing::ValuesIn(sizes()));

} // namespace
