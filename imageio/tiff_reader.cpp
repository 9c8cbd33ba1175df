#include "imageio/tiff_reader.h"

namespace imageio {

namespace {

constexpr std::size_t entryBytes = 12;

// Bytes per value of each TIFF type (1..13, 13 being IFD); 0 for types we do not know, whose
// values a reader cannot measure and so skips.
std::uint64_t typeBytes(std::uint16_t type)
{
    static constexpr std::uint8_t sizes[] = { 0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4 };
    return type < sizeof sizes ? sizes[type] : 0;
}

} // namespace

std::optional<TiffReader> TiffReader::open(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return std::nullopt;
    if (data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0)
        return TiffReader(data, size, false);
    if (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42)
        return TiffReader(data, size, true);
    return std::nullopt;
}

std::uint16_t TiffReader::u16(std::size_t offset) const
{
    const std::uint8_t *p = m_data + offset;
    return m_bigEndian ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
}

std::uint32_t TiffReader::u32(std::size_t offset) const
{
    const std::uint8_t *p = m_data + offset;
    const std::uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
    return m_bigEndian ? b0 << 24 | b1 << 16 | b2 << 8 | b3 : b3 << 24 | b2 << 16 | b1 << 8 | b0;
}

void putTiffU16(std::uint8_t *out, std::uint16_t value, bool bigEndian)
{
    out[bigEndian ? 0 : 1] = std::uint8_t(value >> 8);
    out[bigEndian ? 1 : 0] = std::uint8_t(value);
}

void putTiffU32(std::uint8_t *out, std::uint32_t value, bool bigEndian)
{
    for (int i = 0; i < 4; ++i)
        out[bigEndian ? 3 - i : i] = std::uint8_t(value >> (8 * i));
}

std::optional<std::uint32_t> TiffEntry::number(const TiffReader &tiff, std::uint32_t i) const
{
    const std::uint64_t size = typeBytes(type);
    const std::uint64_t at = valueAt + i * size;
    if (i >= count || (type != tiffShort && type != tiffLong && type != tiffIfd)
        || !tiff.holds(at, size))
        return std::nullopt;
    return type == tiffShort ? tiff.u16(std::size_t(at)) : tiff.u32(std::size_t(at));
}

std::optional<TiffIfd> TiffIfd::read(const TiffReader &tiff, std::uint32_t offset)
{
    if (!tiff.holds(offset, 2))
        return std::nullopt;
    const std::size_t count = tiff.u16(offset);
    TiffIfd ifd;
    ifd.at = offset;
    ifd.nextAt = offset + 2 + count * entryBytes;
    ifd.end = ifd.nextAt + 4;
    if (!tiff.holds(offset, ifd.end - offset))
        return std::nullopt;
    ifd.next = tiff.u32(ifd.nextAt);
    ifd.entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        TiffEntry entry;
        entry.at = offset + 2 + i * entryBytes;
        entry.tag = tiff.u16(entry.at);
        entry.type = tiff.u16(entry.at + 2);
        entry.count = tiff.u32(entry.at + 4);
        entry.valueBytes = typeBytes(entry.type) * entry.count;
        entry.valueAt = entry.inlineValue() ? entry.at + 8 : tiff.u32(entry.at + 8);
        ifd.entries.push_back(entry);
    }
    return ifd;
}

const TiffEntry *TiffIfd::find(std::uint16_t tag) const
{
    for (const TiffEntry &entry : entries)
        if (entry.tag == tag)
            return &entry;
    return nullptr;
}

} // namespace imageio
