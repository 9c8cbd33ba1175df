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

// Rows added up in 16 bits: 257 rows of 255 at most fit. Half the width of 32-bit sums keeps a
// 4000-pixel row's sums in the first-level cache and widens twice as many bytes per step.
constexpr int mostRowsPerPartialSum = 0xFFFF / 0xFF;

// sums[k] += row[k] for k < n. Fixed-length pieces let the compiler widen the loop even where it
// only vectorises loops that need no scalar tail (GCC at -O2); restrict spares it the check for
// overlap that it would not do there either.
void addRow16(std::uint16_t *__restrict sums, const std::uint8_t *__restrict row, std::size_t n)
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
    if (picture.Empty() || width <= 0 || height <= 0)
        return image::TBitmap(width, height);
    ThumbnailScaler scaler(picture.Width(), picture.Height(), width, height);
    for (int y = 0; y < picture.Height(); ++y)
        scaler.addRow(picture.ScanLine(y));
    return scaler.thumbnail();
}

// Source pixels [first, last) of thumbnail pixel i of n, for a source of length size; never
// empty, so a thumbnail larger than the picture repeats pixels. The spans of a smaller thumbnail
// tile the source; those of a larger one are single pixels, several alike.
ThumbnailScaler::Span ThumbnailScaler::spanOf(int i, int n, int size)
{
    const int first = int(std::int64_t(i) * size / n);
    const int last = int(std::int64_t(i + 1) * size / n);
    return { first, std::max(first + 1, last) };
}

ThumbnailScaler::ThumbnailScaler(int pictureWidth, int pictureHeight, int width, int height)
    : m_pictureHeight(pictureHeight)
    , m_thumbnail(width, height)
{
    if (m_thumbnail.Empty() || pictureWidth <= 0 || pictureHeight <= 0)
        return;
    const Rectangle place = fittedPlace(pictureWidth, pictureHeight, width, height);
    m_x = place.x;
    m_y = place.y;
    m_width = place.width;
    m_height = place.height;
    m_columns.resize(std::size_t(m_width));
    for (int j = 0; j < m_width; ++j)
        m_columns[std::size_t(j)] = spanOf(j, m_width, pictureWidth);
    m_rowSums.resize(std::size_t(pictureWidth) * 3);
    m_blockSums.resize(m_columns.size() * 3);
}

// Rows first: adding whole rows is one long loop the compiler can widen; the sums of a block of
// rows then go to the columns, whose count is the thumbnail's, not the picture's.
void ThumbnailScaler::addRow(const std::uint8_t *row)
{
    if (m_nextThumbnailRow >= m_height)
        return;
    const int y = m_nextRow++;
    addRow16(m_rowSums.data(), row, m_rowSums.size());
    const Span rows = spanOf(m_nextThumbnailRow, m_height, m_pictureHeight);
    if (++m_rowsSummed == mostRowsPerPartialSum || y + 1 == rows.last) {
        std::uint64_t *sum = m_blockSums.data();
        for (const Span &span : m_columns)
            for (int c = 0; c < 3; ++c, ++sum)
                for (int x = span.first; x < span.last; ++x)
                    *sum += m_rowSums[std::size_t(x) * 3 + std::size_t(c)];
        std::fill(m_rowSums.begin(), m_rowSums.end(), 0);
        m_rowsSummed = 0;
    }
    if (y + 1 == rows.last)
        finishBlock();
}

// Every thumbnail row whose rows end here shares the block: a thumbnail larger than the picture
// takes the same row for several.
void ThumbnailScaler::finishBlock()
{
    const Span rows = spanOf(m_nextThumbnailRow, m_height, m_pictureHeight);
    for (; m_nextThumbnailRow < m_height
         && spanOf(m_nextThumbnailRow, m_height, m_pictureHeight).last == rows.last;
         ++m_nextThumbnailRow) {
        std::uint8_t *out = m_thumbnail.ScanLine(m_y + m_nextThumbnailRow) + 3 * m_x;
        const std::uint64_t *sum = m_blockSums.data();
        for (const Span &span : m_columns) {
            const std::uint64_t count
                = std::uint64_t(span.last - span.first) * std::uint64_t(rows.last - rows.first);
            for (int c = 0; c < 3; ++c)
                *out++ = std::uint8_t((*sum++ + count / 2) / count);
        }
    }
    std::fill(m_blockSums.begin(), m_blockSums.end(), 0);
}

} // namespace imageio
