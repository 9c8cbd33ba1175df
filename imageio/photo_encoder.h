#pragma once

#include "imageio/jpeg_encoder.h"
#include "imageio/jpeg_markers.h"
#include "imageio/thumbnail_picture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace imageio {

// Encodes a photo handed over a few rows at a time into its JPEG file: encodeJpeg with the
// photo's segments, each APP1 segment's Exif thumbnail made anew (see rebuildExifThumbnail)
// from the rows as they pass, so that the picture need not be held whole. The bytes are those of
// encodeJpeg(picture, ...) with the segments rebuilt from the whole picture. Throws as encodeJpeg
// and rebuildExifThumbnail do.
class PhotoEncoder
{
public:
    // segments must outlive the encoder. A picture without pixels gives no bytes.
    PhotoEncoder(int width, int height, int quality, bool progressive, const JpegMarkers &segments,
        const JpegDensity &density);
    ~PhotoEncoder();
    PhotoEncoder(const PhotoEncoder &) = delete;
    PhotoEncoder &operator=(const PhotoEncoder &) = delete;

    // The picture's next `count` rows, width blue, green, red pixels each, from the top.
    void writeRows(const std::uint8_t *const *rows, int count);

    // After the last row: the file.
    std::vector<std::uint8_t> finish();

private:
    // A segment whose thumbnail is made from the rows.
    struct Rebuild {
        std::size_t segment;
        ThumbnailScaler scaler;
    };

    const JpegMarkers &m_segments;
    std::vector<Rebuild> m_rebuilds;
    std::unique_ptr<JpegEncoder> m_encoder;
};

} // namespace imageio
