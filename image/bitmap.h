#pragma once

#include "image/pixel_allocator.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace image {

// The working image: Width() x Height() pixels, three bytes each in the order blue, green, red,
// rows top-down and contiguous (rowBytes() = Width() * 3, no padding).
//
// Copies share their pixel store until one side asks for writable rows, which first gives that
// side a private duplicate; callers can never see one image change through another.
class TBitmap
{
public:
    TBitmap() = default;
    // Throws std::bad_alloc when the pixels do not fit in memory; negative sizes count as 0.
    TBitmap(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::size_t rowBytes() const { return std::size_t(m_width) * 3; }
    bool Empty() const { return m_width == 0 || m_height == 0; }

    // Resizes to width x height; every pixel becomes 0. Negative sizes count as 0.
    void SetSize(int width, int height);

    // Start of row y (0 = top); null in a picture 0 pixels wide. Throws EInvalidGraphicOperation
    // "Scan line index out of range" for y outside 0..Height()-1. The writable form detaches a
    // shared store first.
    std::uint8_t *ScanLine(int y);
    const std::uint8_t *ScanLine(int y) const;

    // All rows as one block of Height() * rowBytes() bytes (null for an empty picture).
    std::uint8_t *Bits();
    const std::uint8_t *Bits() const;

    // Bits() for a caller that writes every byte before reading any: a shared store is not
    // copied first, so the block's contents are unspecified. Images sharing the old store keep
    // it unchanged.
    std::uint8_t *BitsForOverwrite();

    // Makes this image a copy of source: same size and pixels. Cheap: the store is shared until
    // either side writes.
    void Assign(const TBitmap &source);

    // True while this image and other share one pixel store (for tests of the sharing).
    bool SharesPixelsWith(const TBitmap &other) const;

private:
    void detach();

    using Store = PixelStore;

    int m_width = 0;
    int m_height = 0;
    std::shared_ptr<Store> m_pixels;
};

// Frees the pixel stores this thread keeps for the next copies of the same size. For a step
// about to need that much memory for something else, such as the codec's whole-picture buffers
// of a progressive encoding: kept, the spares would add whole pictures to the peak.
void releaseSpareStore();

} // namespace image
