#pragma once

#include "tests/support/jpeg_files.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Files that hold more than their main picture, built from the public descriptions of their
// layouts, independently of imageio: multi-picture (MPF) files and motion photos.
namespace testjpeg {

// The data of an APP2 MPF segment: "MPF\0", an MP header in the given byte order, and an MP index
// directory with entries for `pictures` pictures, their sizes and offsets still 0.
Bytes mpfSegment(std::size_t pictures, bool bigEndian);

// main, which holds a segment from mpfSegment, followed by the later pictures and then trailer,
// the index filled in: the main picture's size, the later ones' sizes and offsets.
Bytes withMpfPictures(
    const Bytes &main, const std::vector<Bytes> &later, const Bytes &trailer = {});

// Where entry i of the first MPF segment's index lies in file, and that segment's MP header.
std::size_t mpfEntryAt(const Bytes &file, std::size_t i);
std::size_t mpfHeaderAt(const Bytes &file);

// The pictures the first MPF segment's index lists, cut out of file as a reader does; null when
// there is no MPF segment, and for an entry whose bytes are not inside file, an empty one.
std::optional<std::vector<Bytes>> mpfPictures(const Bytes &file);

// A short stand-in for an MP4 video: an "ftyp" box and some data.
Bytes videoStandIn(std::size_t size);

// A Google motion photo: main, given the XMP segment of motionPhotoXmp, followed by the video.
// The XMP gives the video's place counted from the end of the file, in GCamera:MicroVideoOffset
// and in its Container:Directory.
Bytes motionPhotoXmp(std::size_t videoSize);
// Where the XMP of a file says the video begins, counted from the file's end; 0 when it does not.
std::size_t microVideoOffset(const Bytes &file);

// The trailer Samsung appends for a motion photo: a "MotionPhoto_Data" block holding the video,
// then the SEF directory ("SEFH", its entries, each pointing back at its block) and "SEFT".
Bytes samsungTrailer(const Bytes &video);
// The video that file's SEF trailer points at, read from the end as readers do; empty when
// there is none.
Bytes samsungVideo(const Bytes &file);

} // namespace testjpeg
