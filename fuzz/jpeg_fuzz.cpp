// libFuzzer target: arbitrary bytes as a photo file, through the whole per-photo sequence in
// memory (header, decode, the four operations, encode).
#include "core/error.h"
#include "enhance/enhance_picture.h"
#include "imageio/jpeg_image.h"

#include <cstddef>
#include <cstdint>

namespace {

// Larger pictures only cost time: the code paths are the same, and a mutated frame header could
// otherwise ask for gigabytes of grey on almost every run.
constexpr std::uint64_t maxPixels = 1u << 20;

// Every frame header the codec could act on declares at most maxPixels. All FF Cn start-of-frame
// codes anywhere in the input count, so that no way of reaching one slips past.
bool declaresSmallPicture(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t at = 0; at + 9 <= size; ++at) {
        const std::uint8_t code = data[at + 1];
        if (data[at] != 0xFF || code < 0xC0 || code > 0xCF || code == 0xC4 || code == 0xC8
            || code == 0xCC)
            continue;
        const std::uint64_t height = std::uint64_t(data[at + 5]) << 8 | data[at + 6];
        const std::uint64_t width = std::uint64_t(data[at + 7]) << 8 | data[at + 8];
        if (width * height > maxPixels)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!declaresSmallPicture(data, size))
        return -1; // keep it out of the corpus
    // The working images outlive one input, as the window's do across a folder.
    static image::TBitmap first;
    static image::TBitmap second;
    try {
        imageio::TJPEGImage jpeg;
        jpeg.LoadFromBytes({ data, data + size });
        jpeg.CopyToBitmap(first);
        enhance::EnhancePicture(first, second);
        jpeg.CopyFromBitmap(first);
        jpeg.SaveToBytes();
    } catch (const core::Error &) {
        // The documented outcome for a file that is not a usable photo.
    }
    // Anything else (std::bad_alloc, a logic_error) escapes and libFuzzer reports it.
    return 0;
}
