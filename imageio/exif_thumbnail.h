#pragma once

#include "image/bitmap.h"
#include "imageio/jpeg_frame_size.h"
#include "imageio/jpeg_markers.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace imageio {

// The JPEG qualities a rebuilt thumbnail is tried at, in order, until it fits in the segment:
// 75 looks clean at thumbnail size in about 5 KB for 160 x 120; the lower ones only rescue
// segments that cameras have filled nearly to the limit, whose own thumbnails are that coarse.
constexpr int exifThumbnailQualities[] = { 75, 50, 25 };

// The data of an APP1 segment to write with picture, given the segment's data as loaded
// (beginning with "Exif\0\0" when it is Exif). When IFD1 holds a JPEG thumbnail, that thumbnail
// is made anew from picture (see makeThumbnailPicture) at the old one's pixel size: a baseline
// JPEG without JFIF header, at the first of exifThumbnailQualities that fits. Every other byte
// keeps its place; only IFD1's thumbnail length changes, and its offset when the new thumbnail
// must go to the end; room the old one leaves is zeroed. When that cannot be done safely (an
// unusual or broken structure around IFD1, a strip thumbnail, an old thumbnail without a
// readable frame header, no quality that fits within mostSegmentBytes), the thumbnail is
// removed: IFD0 no longer links to IFD1 and the old thumbnail's bytes are cut off or zeroed,
// unless they also belong to another part of the structure. Data that is not Exif, has no IFD1,
// no picture in IFD1, or an IFD0 that cannot be read (so that no reader finds a thumbnail) comes
// back unchanged. Never throws for any data; throws core::EStreamError or EJPEG 53 when memory
// runs out.
std::vector<std::uint8_t> rebuildExifThumbnail(
    const std::vector<std::uint8_t> &segment, const image::TBitmap &picture);

// The same in two halves, for a picture that is never held whole: the pixel size of the new
// thumbnail for segment (null when none is made, whatever the picture), and the rebuilt segment
// from that thumbnail's picture, makeThumbnailPicture of the picture at that size (ignored when
// there is no size). Throw as rebuildExifThumbnail does.
std::optional<JpegFrameSize> exifThumbnailSize(const std::vector<std::uint8_t> &segment);
std::vector<std::uint8_t> rebuildExifThumbnailFrom(
    const std::vector<std::uint8_t> &segment, const image::TBitmap &thumbnail);

} // namespace imageio
