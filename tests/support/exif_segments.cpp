#include "tests/support/exif_segments.h"

#include <string>

namespace testjpeg {

namespace {

constexpr std::size_t tiffStart = 6;

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count;
    Bytes value; // in the structure's byte order
};

struct Directory {
    std::size_t at, nextAt;
    std::vector<std::size_t> valueAt; // value field of each entry
};

class TiffBuilder
{
public:
    explicit TiffBuilder(bool bigEndian)
        : m_big(bigEndian)
    {
    }

    Bytes number(std::uint32_t value, int bytes) const
    {
        Bytes out(std::size_t(bytes), 0);
        putTiffNumber(out, 0, value, bytes, m_big);
        return out;
    }

    // A directory, followed by the values that do not fit in their entries, at an even offset.
    Directory append(const std::vector<Entry> &entries)
    {
        evenUp();
        Directory d { m_tiff.size(), m_tiff.size() + 2 + 12 * entries.size(), {} };
        std::size_t valuesAt = d.nextAt + 4;
        add(number(std::uint32_t(entries.size()), 2));
        for (const Entry &e : entries) {
            add(number(e.tag, 2));
            add(number(e.type, 2));
            add(number(e.count, 4));
            d.valueAt.push_back(m_tiff.size());
            Bytes field = e.value.size() <= 4 ? e.value : number(std::uint32_t(valuesAt), 4);
            field.resize(4, 0);
            add(field);
            if (e.value.size() > 4)
                valuesAt += e.value.size() + e.value.size() % 2;
        }
        add(number(0, 4));
        for (const Entry &e : entries)
            if (e.value.size() > 4) {
                add(e.value);
                evenUp();
            }
        return d;
    }

    void add(const Bytes &bytes) { m_tiff.insert(m_tiff.end(), bytes.begin(), bytes.end()); }
    void evenUp() { m_tiff.resize(m_tiff.size() + m_tiff.size() % 2, 0); }
    void patch(std::size_t at, std::size_t value)
    {
        putTiffNumber(m_tiff, at, std::uint32_t(value), 4, m_big);
    }
    std::size_t size() const { return m_tiff.size(); }
    const Bytes &bytes() const { return m_tiff; }

private:
    bool m_big;
    Bytes m_tiff;
};

} // namespace

std::uint32_t tiffNumber(const Bytes &data, std::size_t at, int bytes, bool bigEndian)
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint32_t(data.at(at + std::size_t(bigEndian ? bytes - 1 - i : i))) << (8 * i);
    return value;
}

void putTiffNumber(Bytes &data, std::size_t at, std::uint32_t value, int bytes, bool bigEndian)
{
    for (int i = 0; i < bytes; ++i)
        data.at(at + std::size_t(bigEndian ? bytes - 1 - i : i)) = std::uint8_t(value >> (8 * i));
}

ExifSegment makeExif(const ExifRecipe &recipe)
{
    TiffBuilder tiff(recipe.bigEndian);
    tiff.add(recipe.bigEndian ? Bytes { 'M', 'M', 0, 42 } : Bytes { 'I', 'I', 42, 0 });
    tiff.add(tiff.number(8, 4));
    const std::string make = "Lumivor test camera";
    const Directory ifd0 = tiff.append({
        { 0x010F, 2, std::uint32_t(make.size() + 1),
            Bytes(make.c_str(), make.c_str() + make.size() + 1) },
        { 0x0112, 3, 1, tiff.number(1, 2) },
        { 0x8769, 4, 1, tiff.number(0, 4) },
    });

    ExifSegment exif;
    const auto exifDirectory = [&] {
        Bytes exposure = tiff.number(1, 4);
        const Bytes denominator = tiff.number(250, 4);
        exposure.insert(exposure.end(), denominator.begin(), denominator.end());
        Bytes makerNote(recipe.makerNoteBytes);
        for (std::size_t i = 0; i < makerNote.size(); ++i)
            makerNote[i] = std::uint8_t(i * 7 + 3);
        const Directory d = tiff.append({
            { 0x829A, 5, 1, exposure },
            { 0x927C, 7, std::uint32_t(makerNote.size()), makerNote },
        });
        tiff.patch(ifd0.valueAt[2], d.at);
        exif.makerNotePointerAt = tiffStart + d.valueAt[1];
    };
    const auto thumbnail = [&] {
        if (recipe.thumbnail.empty())
            return;
        const Directory d = tiff.append({
            { 0x0103, 3, 1, tiff.number(6, 2) },
            { 0x0201, 4, 1, tiff.number(0, 4) },
            { 0x0202, 4, 1, tiff.number(std::uint32_t(recipe.thumbnail.size()), 4) },
        });
        tiff.patch(ifd0.nextAt, d.at);
        tiff.evenUp();
        tiff.patch(d.valueAt[1], tiff.size());
        exif.ifd1At = tiffStart + d.at;
        exif.thumbnailAt = tiffStart + tiff.size();
        tiff.add(recipe.thumbnail);
    };
    if (recipe.thumbnailFirst) {
        thumbnail();
        exifDirectory();
    } else {
        exifDirectory();
        thumbnail();
    }
    exif.data = { 'E', 'x', 'i', 'f', 0, 0 };
    exif.data.insert(exif.data.end(), tiff.bytes().begin(), tiff.bytes().end());
    exif.ifd0NextAt = tiffStart + ifd0.nextAt;
    exif.exifPointerAt = tiffStart + ifd0.valueAt[2];
    return exif;
}

} // namespace testjpeg
