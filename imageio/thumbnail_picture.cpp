#include "imageio/thumbnail_picture.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace imageio {

namespace {

struct Rectangle {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the picture goes inside the thumbnail. A difference of one pixel is rounding, not
// another shape: filling it keeps a black line off the edge.
Rectangle fittedPlace(int pictureWidth, int pictureHeight, int width, int height)
{
    const std::int64_t pw = pictureWidth, ph = pictureHeight;
    Rectangle place { 0, 0, width, height };
    if (pw * height > ph * width)
        place.height = int(std::max<std::int64_t>(1, (width * ph + pw / 2) / pw));
    else
        place.width = int(std::max<std::int64_t>(1, (height * pw + ph / 2) / ph));
    if (width - place.width < 2 && height - place.height < 2)
        return { 0, 0, width, height };
    place.x = (width - place.width) / 2;
    place.y = (height - place.height) / 2;
    return place;
}

// Source pixels [first, last) of thumbnail pixel i of n, for a source of length size; never
// empty, so a thumbnail larger than the picture repeats pixels.
struct Span {
    int first, last;
};
Span spanOf(int i, int n, int size)
{
    const int first = int(std::int64_t(i) * size / n);
    const int last = int(std::int64_t(i + 1) * size / n);
    return { first, std::max(first + 1, last) };
}

// Rows added up in 16 bits: 257 rows of 255 at most fit. Half the width of 32-bit sums keeps a
// 4000-pixel row's sums in the first-level cache and widens twice as many bytes per step.
constexpr int mostRowsPerPartialSum = 0xFFFF / 0xFF;

// sums[k] += row[k] for k < n. Fixed-length pieces let the compiler widen the loop even where it
// only vectorises loops that need no scalar tail (GCC at -O2); restrict spares it the check for
// overlap that it would not do there either.
void addRow(std::uint16_t *__restrict sums, const std::uint8_t *__restrict row, std::size_t n)
{
    constexpr std::size_t piece = 64;
    std::size_t k = 0;
    for (; k + piece <= n; k += piece)
        for (std::size_t i = 0; i < piece; ++i)
            sums[k + i] = std::uint16_t(sums[k + i] + row[k + i]);
    for (; k < n; ++k)
        sums[k] = std::uint16_t(sums[k] + row[k]);
}

} // namespace

image::TBitmap makeThumbnailPicture(const image::TBitmap &picture, int width, int height)
{
    image::TBitmap thumbnail(width, height);
    if (picture.Empty() || thumbnail.Empty())
        return thumbnail;
    const Rectangle place = fittedPlace(picture.Width(), picture.Height(), width, height);

    std::vector<Span> columns(std::size_t(place.width));
    for (int j = 0; j < place.width; ++j)
        columns[std::size_t(j)] = spanOf(j, place.width, picture.Width());

    // Rows first: adding whole rows is one long loop the compiler can widen; the sums of a block
    // of rows then go to the columns, whose count is the thumbnail's, not the picture's.
    const std::size_t rowBytes = picture.rowBytes();
    std::vector<std::uint16_t> rowSums(rowBytes);
    std::vector<std::uint64_t> blockSums(columns.size() * 3);
    for (int i = 0; i < place.height; ++i) {
        const Span rows = spanOf(i, place.height, picture.Height());
        std::fill(blockSums.begin(), blockSums.end(), 0);
        for (int first = rows.first; first < rows.last; first += mostRowsPerPartialSum) {
            const int last = std::min(rows.last, first + mostRowsPerPartialSum);
            std::fill(rowSums.begin(), rowSums.end(), 0);
            for (int y = first; y < last; ++y)
                addRow(rowSums.data(), picture.Bits() + std::size_t(y) * rowBytes, rowBytes);
            std::uint64_t *sum = blockSums.data();
            for (const Span &span : columns)
                for (int c = 0; c < 3; ++c, ++sum)
                    for (int x = span.first; x < span.last; ++x)
                        *sum += rowSums[std::size_t(x) * 3 + std::size_t(c)];
        }
        std::uint8_t *out = thumbnail.ScanLine(place.y + i) + 3 * place.x;
        const std::uint64_t *sum = blockSums.data();
        for (const Span &span : columns) {
            const std::uint64_t count
                = std::uint64_t(span.last - span.first) * std::uint64_t(rows.last - rows.first);
            for (int c = 0; c < 3; ++c)
                *out++ = std::uint8_t((*sum++ + count / 2) / count);
        }
    }
    return thumbnail;
}

} // namespace imageio
