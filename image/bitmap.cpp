#include "image/bitmap.h"

#include "image/error.h"

namespace image {

namespace {

std::shared_ptr<std::vector<std::uint8_t>> newStore(int width, int height)
{
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 3;
    if (bytes == 0)
        return nullptr;
    return std::make_shared<std::vector<std::uint8_t>>(bytes);
}

} // namespace

TBitmap::TBitmap(int width, int height)
{
    SetSize(width, height);
}

void TBitmap::SetSize(int width, int height)
{
    width = width < 0 ? 0 : width;
    height = height < 0 ? 0 : height;
    m_pixels = newStore(width, height);    // allocate first: a failure leaves *this unchanged
    m_width = width;
    m_height = height;
}

std::uint8_t *TBitmap::ScanLine(int y)
{
    if (y < 0 || y >= m_height)
        throw EInvalidGraphicOperation("Scan line index out of range");
    // A picture 0 pixels wide has rows but no store: its rows hold no bytes.
    if (!m_pixels)
        return nullptr;
    detach();
    return m_pixels->data() + std::size_t(y) * rowBytes();
}

const std::uint8_t *TBitmap::ScanLine(int y) const
{
    if (y < 0 || y >= m_height)
        throw EInvalidGraphicOperation("Scan line index out of range");
    if (!m_pixels)
        return nullptr;
    return m_pixels->data() + std::size_t(y) * rowBytes();
}

std::uint8_t *TBitmap::Bits()
{
    if (!m_pixels)
        return nullptr;
    detach();
    return m_pixels->data();
}

const std::uint8_t *TBitmap::Bits() const
{
    return m_pixels ? m_pixels->data() : nullptr;
}

void TBitmap::Assign(const TBitmap &source)
{
    if (this == &source)
        return;
    m_pixels = source.m_pixels;
    m_width = source.m_width;
    m_height = source.m_height;
}

bool TBitmap::SharesPixelsWith(const TBitmap &other) const
{
    return m_pixels && m_pixels == other.m_pixels;
}

void TBitmap::detach()
{
    // use_count() is exact here: every TBitmap is used by one thread at a time, and a store only
    // gains owners through Assign on that same thread.
    if (m_pixels && m_pixels.use_count() > 1)
        m_pixels = std::make_shared<std::vector<std::uint8_t>>(*m_pixels);
}

} // namespace image
