#include "image/bitmap.h"

#include "image/error.h"
#include "platform/memory.h"

#include <algorithm>

namespace image {

namespace {

using Store = PixelStore;

// Each thread keeps the two pixel stores it released last, when they are large blocks, and hands
// them to the next copies of the same size. The per-photo sequence copies a picture of one size
// again and again, and two stores are free at a time between its steps; reusing them skips the
// page faults of fresh memory, which cost more than the copies themselves. Stores of another
// size are freed rather than kept, so the spares never add to the peak; a photo's end lets them
// go (releaseSpareStore), so they never outlive it.
constexpr std::size_t smallestSpareBytes = platform::largeBlockBytes;
constexpr int spareCount = 2;

thread_local Store *t_spares[spareCount] = {};
thread_local bool t_sparesUsable = true;    // false once the thread's spares have been freed

void freeSpares() noexcept
{
    for (Store *&spare : t_spares) {
        delete spare;
        spare = nullptr;
    }
}

struct SpareOwner {
    ~SpareOwner()
    {
        freeSpares();
        t_sparesUsable = false;
    }
};
thread_local SpareOwner t_spareOwner;

void releaseStore(Store *store) noexcept
{
    if (t_sparesUsable && store->size() >= smallestSpareBytes) {
        (void)&t_spareOwner;               // makes sure the owner frees them at thread exit
        for (Store *&spare : t_spares) {
            if (!spare) {
                spare = store;
                return;
            }
        }
    }
    delete store;
}

// When the shared_ptr cannot be made it hands the store to releaseStore itself before
// throwing, so nothing more is to be freed here.
std::shared_ptr<Store> adopt(Store *store)
{
    return std::shared_ptr<Store>(store, releaseStore);
}

// A store of `bytes` bytes with unspecified contents.
std::shared_ptr<Store> reusedOrNewStore(std::size_t bytes)
{
    for (Store *&spare : t_spares) {
        if (spare && spare->size() == bytes) {
            Store *reused = spare;
            spare = nullptr;
            return adopt(reused);
        }
    }
    freeSpares();                          // another size would only add to the peak
    return adopt(new Store(bytes));
}

std::shared_ptr<Store> zeroedStore(int width, int height)
{
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 3;
    if (bytes == 0)
        return nullptr;
    std::shared_ptr<Store> store = reusedOrNewStore(bytes);
    std::fill(store->begin(), store->end(), std::uint8_t(0));
    return store;
}

} // namespace

void releaseSpareStore()
{
    freeSpares();
}

TBitmap::TBitmap(int width, int height)
{
    SetSize(width, height);
}

void TBitmap::SetSize(int width, int height)
{
    width = width < 0 ? 0 : width;
    height = height < 0 ? 0 : height;
    m_pixels = zeroedStore(width, height);    // allocate first: a failure leaves *this unchanged
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

std::uint8_t *TBitmap::BitsForOverwrite()
{
    if (!m_pixels)
        return nullptr;
    if (m_pixels.use_count() > 1)
        m_pixels = reusedOrNewStore(m_pixels->size());
    return m_pixels->data();
}

void TBitmap::detach()
{
    // use_count() is exact here: every TBitmap is used by one thread at a time, and a store only
    // gains owners through Assign on that same thread.
    if (m_pixels && m_pixels.use_count() > 1) {
        std::shared_ptr<Store> copy = reusedOrNewStore(m_pixels->size());
        std::copy(m_pixels->begin(), m_pixels->end(), copy->begin());
        m_pixels = std::move(copy);
    }
}

} // namespace image
