// libFuzzer target: arbitrary bytes as the data of an APP1 segment, through the Exif thumbnail
// rebuild. Besides the sanitizers' checks it holds the rebuild to what it promises for any data:
// nothing thrown, no growth past a segment's limit, a rebuilt thumbnail that decodes at the old
// one's size, and a result that a second pass leaves as it is.
#include "image/bitmap.h"
#include "imageio/exif_layout.h"
#include "imageio/exif_thumbnail.h"
#include "imageio/jpeg_decoder.h"
#include "imageio/jpeg_frame_size.h"
#include "imageio/tiff_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t tiffStart = 6;

// Small, so that the time goes to the parsing, and of another shape than most thumbnails, so
// that letterboxing runs too.
const image::TBitmap &picture()
{
    static const image::TBitmap p = [] {
        image::TBitmap bitmap(48, 40);
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width() * 3; ++x)
                bitmap.ScanLine(y)[x] = std::uint8_t(x * 5 + y * 3);
        return bitmap;
    }();
    return p;
}

// Larger thumbnails only cost time, up to three encodings of a megapixel per pass: the code
// paths are the same. Every frame header anywhere in the input counts.
constexpr std::uint64_t maxThumbnailPixels = 1u << 16;

bool declaresSmallThumbnail(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t at = 0; at + 9 <= size; ++at) {
        const std::uint8_t code = data[at + 1];
        if (data[at] != 0xFF || code < 0xC0 || code > 0xCF || code == 0xC4 || code == 0xC8
            || code == 0xCC)
            continue;
        const std::uint64_t height = std::uint64_t(data[at + 5]) << 8 | data[at + 6];
        const std::uint64_t width = std::uint64_t(data[at + 7]) << 8 | data[at + 8];
        if (width * height > maxThumbnailPixels)
            return false;
    }
    return true;
}

[[noreturn]] void broken(const char *promise)
{
    std::fprintf(stderr, "exif_fuzz: %s\n", promise);
    std::abort();
}

// The JPEG thumbnail that IFD1 of an Exif segment links to, or none.
std::optional<Bytes> linkedThumbnail(const Bytes &segment)
{
    if (segment.size() < tiffStart || !std::equal(segment.begin(), segment.begin() + 6, "Exif\0"))
        return std::nullopt;
    const auto tiff
        = imageio::TiffReader::open(segment.data() + tiffStart, segment.size() - tiffStart);
    if (!tiff)
        return std::nullopt;
    const auto layout = imageio::readExifLayout(*tiff);
    if (!layout || !layout->ifd1)
        return std::nullopt;
    const imageio::TiffEntry *offset = layout->ifd1->find(0x0201);
    const imageio::TiffEntry *length = layout->ifd1->find(0x0202);
    if (!offset || !length || !offset->number(*tiff) || !length->number(*tiff)
        || !tiff->holds(*offset->number(*tiff), *length->number(*tiff)))
        return std::nullopt;
    const auto begin = segment.begin() + long(tiffStart + *offset->number(*tiff));
    return Bytes(begin, begin + long(*length->number(*tiff)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!declaresSmallThumbnail(data, size))
        return -1; // keep it out of the corpus
    const Bytes segment(data, data + size);
    // Anything thrown escapes and libFuzzer reports it: no data may make the rebuild throw.
    const Bytes out = imageio::rebuildExifThumbnail(segment, picture());

    if (out.size() > std::max(segment.size(), imageio::mostSegmentBytes))
        broken("the segment grew past its limit");
    if (out != segment) {
        const std::optional<Bytes> before = linkedThumbnail(segment);
        const std::optional<Bytes> after = linkedThumbnail(out);
        if (after) {
            const auto size = before ? imageio::readJpegFrameSize(before->data(), before->size())
                                     : std::nullopt;
            const image::TBitmap decoded = imageio::decodeJpeg(*after);
            if (!size || decoded.Width() != size->width || decoded.Height() != size->height)
                broken("the new thumbnail is not of the old one's size");
        }
    }
    if (imageio::rebuildExifThumbnail(out, picture()) != out)
        broken("a second pass changed the result");
    return 0;
}
