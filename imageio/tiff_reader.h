#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace imageio {

// A TIFF structure held in memory, as in an Exif segment: offsets count from the byte order mark.
// Every read is checked against the size, so arbitrary bytes are safe to read through it.
class TiffReader
{
public:
    // Null when the bytes do not begin with "II*\0" or "MM\0*". data must outlive the reader.
    static std::optional<TiffReader> open(const std::uint8_t *data, std::size_t size);

    std::size_t size() const { return m_size; }
    bool bigEndian() const { return m_bigEndian; }
    // Whether the n bytes at offset lie inside.
    bool holds(std::uint64_t offset, std::uint64_t n) const
    {
        return offset <= m_size && n <= m_size - offset;
    }
    // The value at offset in the structure's byte order; the caller checks holds() first.
    std::uint16_t u16(std::size_t offset) const;
    std::uint32_t u32(std::size_t offset) const;

private:
    TiffReader(const std::uint8_t *data, std::size_t size, bool bigEndian)
        : m_data(data)
        , m_size(size)
        , m_bigEndian(bigEndian)
    {
    }

    const std::uint8_t *m_data;
    std::size_t m_size;
    bool m_bigEndian;
};

// Writes value into the 2 or 4 bytes at out in the given byte order.
void putTiffU16(std::uint8_t *out, std::uint16_t value, bool bigEndian);
void putTiffU32(std::uint8_t *out, std::uint32_t value, bool bigEndian);

// Entry types that hold numbers or directory offsets.
constexpr std::uint16_t tiffShort = 3;
constexpr std::uint16_t tiffLong = 4;
constexpr std::uint16_t tiffIfd = 13;

// One 12-byte directory entry. The value lies in the entry itself when it takes 4 bytes or fewer,
// else at the offset the entry holds.
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::size_t at = 0; // where the entry begins
    std::size_t valueAt = 0; // where its value begins: at + 8, or the offset stored there
    std::uint64_t valueBytes = 0; // count times the size of the type; 0 for an unknown type
    bool inlineValue() const { return valueBytes <= 4; }
    // Value i of a SHORT, LONG or IFD entry; null for other types, i past count, or a value outside
    // the structure.
    std::optional<std::uint32_t> number(const TiffReader &tiff, std::uint32_t i = 0) const;
};

// One image file directory: its entries and the offset of the next directory (0 for none).
struct TiffIfd {
    std::size_t at = 0;
    std::size_t end = 0; // just past the next-directory field
    std::vector<TiffEntry> entries;
    std::size_t nextAt = 0; // where the next-directory field lies
    std::uint32_t next = 0;

    // Null when the directory does not lie wholly inside. Entries whose values lie partly or
    // wholly outside are kept; their valueBytes says how far they claim to reach.
    static std::optional<TiffIfd> read(const TiffReader &tiff, std::uint32_t offset);
    const TiffEntry *find(std::uint16_t tag) const;
};

} // namespace imageio
