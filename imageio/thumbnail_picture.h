#pragma once

#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imageio {

// A width x height picture of picture for an embedded thumbnail: each pixel is the rounded mean of
// the block of source pixels it covers (blocks differ in size by at most one pixel; when the
// thumbnail is larger than the picture, pixels repeat). The picture keeps its proportions: when
// they differ from the thumbnail's by more than rounding, it is centred between black bars, as
// cameras store thumbnails of pictures of another shape. An empty picture gives black.
// Throws std::bad_alloc when memory runs out.
image::TBitmap makeThumbnailPicture(const image::TBitmap &picture, int width, int height);

// makeThumbnailPicture of a picture (with pixels) handed over a row at a time, so that it need
// not be held whole. Throws std::bad_alloc when memory runs out.
class ThumbnailScaler
{
public:
    ThumbnailScaler(int pictureWidth, int pictureHeight, int width, int height);
    // The picture's next row, pictureWidth blue, green, red pixels, from the top.
    void addRow(const std::uint8_t *row);
    // The thumbnail, once every row of the picture has been added.
    const image::TBitmap &thumbnail() const { return m_thumbnail; }

private:
    struct Span {
        int first, last;
    };
    static Span spanOf(int i, int n, int size);
    void finishBlock();

    int m_pictureHeight;
    image::TBitmap m_thumbnail;
    int m_x = 0, m_y = 0, m_width = 0, m_height = 0; // where the picture goes in the thumbnail
    std::vector<Span> m_columns;
    std::vector<std::uint16_t> m_rowSums; // of the rows added since the last fold
    int m_rowsSummed = 0;
    std::vector<std::uint64_t> m_blockSums; // of the thumbnail row's block, per column, channel
    int m_nextRow = 0; // of the picture
    int m_nextThumbnailRow = 0; // of the picture's place in the thumbnail
};

} // namespace imageio
