#include "imageio/exif_thumbnail.h"

#include "imageio/exif_layout.h"
#include "imageio/jpeg_encoder.h"
#include "imageio/jpeg_frame_size.h"
#include "imageio/thumbnail_picture.h"
#include "imageio/tiff_reader.h"

#include "core/error.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace imageio {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t exifHeader[] = { 'E', 'x', 'i', 'f', 0, 0 };
constexpr std::size_t tiffStart = sizeof exifHeader; // offsets in the structure count from here

constexpr std::uint16_t stripOffsetsTag = 0x0111;
constexpr std::uint16_t stripByteCountsTag = 0x0117;
constexpr std::uint16_t thumbnailOffsetTag = 0x0201;
constexpr std::uint16_t thumbnailLengthTag = 0x0202;

// Exif thumbnails are 160 x 120 by convention. A photo thumbnail with a side over this could not
// be encoded within a segment anyway, and encoding it first would only cost time.
constexpr int largestThumbnailSide = 1024;

// Where the pictures that IFD1 points at claim to lie, clipped to the structure.
struct OldPictures {
    std::optional<ByteRange> jpeg;
    std::vector<ByteRange> strips;
};

std::optional<ByteRange> clipped(const TiffReader &tiff, std::optional<std::uint32_t> offset,
    std::optional<std::uint32_t> length)
{
    if (!offset || !length || *offset >= tiff.size() || *length == 0)
        return std::nullopt;
    return ByteRange { *offset,
        std::min<std::uint64_t>(tiff.size(), std::uint64_t(*offset) + *length) };
}

OldPictures oldPictures(const TiffReader &tiff, const TiffIfd &ifd1)
{
    OldPictures pictures;
    const TiffEntry *offset = ifd1.find(thumbnailOffsetTag);
    const TiffEntry *length = ifd1.find(thumbnailLengthTag);
    if (offset && length)
        pictures.jpeg = clipped(tiff, offset->number(tiff), length->number(tiff));
    // Each strip is one offset and one count; the loop ends at the first that cannot be read.
    const TiffEntry *stripOffsets = ifd1.find(stripOffsetsTag);
    const TiffEntry *stripCounts = ifd1.find(stripByteCountsTag);
    for (std::uint32_t i = 0; stripOffsets && stripCounts; ++i) {
        const std::optional<std::uint32_t> at = stripOffsets->number(tiff, i);
        if (!at)
            break;
        if (const auto strip = clipped(tiff, at, stripCounts->number(tiff, i)))
            pictures.strips.push_back(*strip);
    }
    return pictures;
}

// Writes value into a SHORT or LONG entry of count 1; false when it does not fit the type.
bool putNumber(Bytes &segment, const TiffEntry &entry, std::size_t value, bool bigEndian)
{
    std::uint8_t *at = segment.data() + tiffStart + entry.valueAt;
    if (entry.type == tiffShort && value <= 0xFFFF)
        putTiffU16(at, std::uint16_t(value), bigEndian);
    else if (entry.type == tiffLong && value <= 0xFFFFFFFF)
        putTiffU32(at, std::uint32_t(value), bigEndian);
    else
        return false;
    return true;
}

// The old thumbnail that a new one can replace safely, and the entries that point at it.
struct OldThumbnail {
    TiffEntry offsetEntry;
    TiffEntry lengthEntry;
    std::size_t start = 0;
    std::size_t length = 0;
    JpegFrameSize size;
};

// The old thumbnail, when a new one can take its place: a JPEG thumbnail of a readable size in
// a complete structure, whose bytes nothing else claims.
std::optional<OldThumbnail> replaceableThumbnail(
    const Bytes &segment, const TiffReader &tiff, const ExifLayout &layout)
{
    if (!layout.complete || !layout.ifd1)
        return std::nullopt;
    const TiffIfd &ifd1 = *layout.ifd1;
    const TiffEntry *offsetEntry = ifd1.find(thumbnailOffsetTag);
    const TiffEntry *lengthEntry = ifd1.find(thumbnailLengthTag);
    if (!offsetEntry || !lengthEntry || offsetEntry->count != 1 || lengthEntry->count != 1
        || ifd1.find(stripOffsetsTag))
        return std::nullopt;
    OldThumbnail old;
    old.offsetEntry = *offsetEntry;
    old.lengthEntry = *lengthEntry;
    const std::optional<std::uint32_t> offset = offsetEntry->number(tiff);
    const std::optional<std::uint32_t> length = lengthEntry->number(tiff);
    if (!offset || !length || *length == 0 || !tiff.holds(*offset, *length))
        return std::nullopt;
    old.start = *offset;
    old.length = *length;
    if (layout.uses({ old.start, old.start + old.length }))
        return std::nullopt;
    const std::optional<JpegFrameSize> size
        = readJpegFrameSize(segment.data() + tiffStart + old.start, old.length);
    if (!size || size->width > largestThumbnailSide || size->height > largestThumbnailSide)
        return std::nullopt;
    old.size = *size;
    return old;
}

// The segment with `scaled`, the new thumbnail's picture, in place of the old one, or null when
// it does not fit.
std::optional<Bytes> withNewThumbnail(const Bytes &segment, const TiffReader &tiff,
    const ExifLayout &layout, const OldThumbnail &old, const image::TBitmap &scaled)
{
    // Nothing after an old thumbnail that ends the structure: the new one simply replaces it.
    // Elsewhere every other byte keeps its place: the new one goes into the old one's room when
    // it fits, else to the end, at an even offset as TIFF wants; the room left is zeroed. Where
    // a damaged entry claims bytes past the end, the new thumbnail must not go.
    const bool last = old.start + old.length == tiff.size();
    const auto placeFor = [&](std::size_t bytes) {
        return last || bytes <= old.length ? old.start : tiff.size() + tiff.size() % 2;
    };
    const auto fits = [&](std::size_t bytes) {
        const std::size_t at = placeFor(bytes);
        return tiffStart + at + bytes <= mostSegmentBytes && !layout.uses({ at, at + bytes });
    };
    Bytes thumbnail;
    for (const int quality : exifThumbnailQualities) {
        thumbnail = encodeJpeg(scaled, quality, false, {}, false);
        if (fits(thumbnail.size()))
            break;
        thumbnail.clear();
    }
    if (thumbnail.empty())
        return std::nullopt;

    const std::size_t newOffset = placeFor(thumbnail.size());
    Bytes out;
    if (last) {
        out.assign(segment.begin(), segment.begin() + long(tiffStart + old.start));
    } else {
        out = segment;
        std::fill_n(out.begin() + long(tiffStart + old.start), old.length, 0);
    }
    out.resize(std::max(out.size(), tiffStart + newOffset + thumbnail.size()), 0);
    std::copy(thumbnail.begin(), thumbnail.end(), out.begin() + long(tiffStart + newOffset));
    if (!putNumber(out, old.offsetEntry, newOffset, tiff.bigEndian())
        || !putNumber(out, old.lengthEntry, thumbnail.size(), tiff.bigEndian()))
        return std::nullopt;
    return out;
}

// The segment with IFD1 unlinked and the old pictures' bytes gone, as far as no other part of
// the structure shares them.
Bytes withoutThumbnail(const Bytes &segment, const TiffReader &tiff, const ExifLayout &layout)
{
    Bytes out = segment;
    putTiffU32(out.data() + tiffStart + layout.ifd0NextAt, 0, tiff.bigEndian());
    if (!layout.ifd1)
        return out;
    const OldPictures old = oldPictures(tiff, *layout.ifd1);
    std::vector<ByteRange> ranges = old.strips;
    if (old.jpeg)
        ranges.push_back(*old.jpeg);
    for (const ByteRange &range : ranges)
        if (!layout.uses(range))
            std::fill(out.begin() + long(tiffStart + range.begin),
                out.begin() + long(tiffStart + range.end), 0);
    if (old.jpeg && old.jpeg->end == tiff.size() && !layout.uses(*old.jpeg))
        out.resize(tiffStart + old.jpeg->begin);
    return out;
}

// What rebuildExifThumbnail finds in a segment: nothing to do (null), or its structure and the
// old thumbnail that a new one can replace (or none: the thumbnail is then removed).
struct Plan {
    TiffReader tiff;
    ExifLayout layout;
    std::optional<OldThumbnail> old;
};

std::optional<Plan> plan(const Bytes &segment)
{
    if (segment.size() < tiffStart
        || !std::equal(exifHeader, exifHeader + tiffStart, segment.begin()))
        return std::nullopt;
    const std::optional<TiffReader> tiff
        = TiffReader::open(segment.data() + tiffStart, segment.size() - tiffStart);
    if (!tiff)
        return std::nullopt;
    const std::optional<ExifLayout> layout = readExifLayout(*tiff);
    if (!layout || layout->ifd1Offset == 0)
        return std::nullopt;
    // An IFD1 without a picture leaves nothing stale behind.
    if (layout->ifd1 && !layout->ifd1->find(thumbnailOffsetTag)
        && !layout->ifd1->find(stripOffsetsTag))
        return std::nullopt;
    return Plan { *tiff, *layout, replaceableThumbnail(segment, *tiff, *layout) };
}

// thumbnailOf(size) gives the new thumbnail's picture, empty when there is no picture to make it
// from.
template <typename ThumbnailOf> Bytes rebuild(const Bytes &segment, ThumbnailOf thumbnailOf)
{
    const std::optional<Plan> p = plan(segment);
    if (!p)
        return segment;
    if (p->old) {
        const image::TBitmap scaled = thumbnailOf(p->old->size);
        if (!scaled.Empty()) {
            if (std::optional<Bytes> rebuilt
                = withNewThumbnail(segment, p->tiff, p->layout, *p->old, scaled))
                return std::move(*rebuilt);
        }
    }
    return withoutThumbnail(segment, p->tiff, p->layout);
}

} // namespace

std::vector<std::uint8_t> rebuildExifThumbnail(
    const std::vector<std::uint8_t> &segment, const image::TBitmap &picture)
{
    try {
        return rebuild(segment, [&picture](const JpegFrameSize &size) {
            return picture.Empty() ? image::TBitmap()
                                   : makeThumbnailPicture(picture, size.width, size.height);
        });
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

std::optional<JpegFrameSize> exifThumbnailSize(const std::vector<std::uint8_t> &segment)
{
    try {
        const std::optional<Plan> p = plan(segment);
        if (!p || !p->old)
            return std::nullopt;
        return p->old->size;
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

std::vector<std::uint8_t> rebuildExifThumbnailFrom(
    const std::vector<std::uint8_t> &segment, const image::TBitmap &thumbnail)
{
    try {
        return rebuild(segment, [&thumbnail](const JpegFrameSize &) { return thumbnail; });
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

} // namespace imageio
