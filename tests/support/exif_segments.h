#pragma once

#include "tests/support/jpeg_files.h"

#include <cstddef>
#include <cstdint>

// Exif APP1 segments built byte by byte, independently of imageio.
namespace testjpeg {

struct ExifRecipe {
    bool bigEndian = false;
    Bytes thumbnail; // IFD1's JPEG picture; empty for no IFD1
    // IFD1 and its thumbnail right after IFD0, before the Exif directory, as Photoshop writes
    // them; else they come last, as cameras write them.
    bool thumbnailFirst = false;
    std::size_t makerNoteBytes = 16;
};

// Positions in data (not TIFF offsets) of the parts tests look at or damage.
struct ExifSegment {
    Bytes data; // "Exif\0\0", TIFF header, IFD0 (Make, Orientation, Exif pointer), Exif directory
                // (ExposureTime, MakerNote), IFD1 (Compression 6, thumbnail offset and length)
    std::size_t ifd0NextAt = 0; // IFD0's next-directory field
    std::size_t exifPointerAt = 0; // value field of IFD0's Exif pointer
    std::size_t makerNotePointerAt = 0; // value field of the MakerNote entry
    std::size_t ifd1At = 0; // IFD1 itself, 0 when there is none
    std::size_t thumbnailAt = 0; // the thumbnail's first byte
};
ExifSegment makeExif(const ExifRecipe &recipe);

// IFD1's entries, in this order, in segments made by makeExif.
enum Ifd1Entry { Compression, ThumbnailOffset, ThumbnailLength };
// Where entry's tag lies, and where its value.
inline std::size_t ifd1TagAt(const ExifSegment &exif, Ifd1Entry entry)
{
    return exif.ifd1At + 2 + 12 * std::size_t(entry);
}
inline std::size_t ifd1ValueAt(const ExifSegment &exif, Ifd1Entry entry)
{
    return ifd1TagAt(exif, entry) + 8;
}

// The 2- or 4-byte number at data[at] in the given byte order, and writing one.
std::uint32_t tiffNumber(const Bytes &data, std::size_t at, int bytes, bool bigEndian);
void putTiffNumber(Bytes &data, std::size_t at, std::uint32_t value, int bytes, bool bigEndian);

} // namespace testjpeg
