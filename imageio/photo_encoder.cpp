#include "imageio/photo_encoder.h"

#include "imageio/exif_thumbnail.h"

#include <algorithm>

namespace imageio {

namespace {

constexpr int exifSegmentCode = 0xE1; // APP1, shared with XMP, which the rebuild leaves alone

} // namespace

PhotoEncoder::PhotoEncoder(int width, int height, int quality, bool progressive,
    const JpegMarkers &segments, const JpegDensity &density)
    : m_segments(segments)
{
    if (width <= 0 || height <= 0)
        return;
    // A rebuilt segment is no larger than the old one, or than a segment can be when its new
    // thumbnail takes more room: the room kept for the segments covers them either way.
    std::size_t room = segmentFileBytes(segments);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (segments[i].code != exifSegmentCode)
            continue;
        if (const auto size = exifThumbnailSize(segments[i].data)) {
            m_rebuilds.push_back({ i, ThumbnailScaler(width, height, size->width, size->height) });
            room += mostSegmentBytes - std::min(segments[i].data.size(), mostSegmentBytes);
        }
    }
    m_encoder
        = std::make_unique<JpegEncoder>(width, height, quality, progressive, true, density, room);
}

PhotoEncoder::~PhotoEncoder() = default;

void PhotoEncoder::writeRows(const std::uint8_t *const *rows, int count)
{
    if (!m_encoder)
        return;
    m_encoder->writeRows(rows, count);
    for (Rebuild &rebuild : m_rebuilds)
        for (int k = 0; k < count; ++k)
            rebuild.scaler.addRow(rows[k]);
}

std::vector<std::uint8_t> PhotoEncoder::finish()
{
    if (!m_encoder)
        return {};
    // An Exif thumbnail kept as loaded would show, and hide, the picture before the change.
    JpegMarkers segments = m_segments;
    auto rebuild = m_rebuilds.begin();
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (segments[i].code != exifSegmentCode)
            continue;
        const bool scaled = rebuild != m_rebuilds.end() && rebuild->segment == i;
        segments[i].data = rebuildExifThumbnailFrom(
            segments[i].data, scaled ? rebuild->scaler.thumbnail() : image::TBitmap());
        if (scaled)
            ++rebuild;
    }
    return m_encoder->finish(segments);
}

} // namespace imageio
