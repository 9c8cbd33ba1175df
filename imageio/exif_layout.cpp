#include "imageio/exif_layout.h"

#include <algorithm>
#include <set>

namespace imageio {

namespace {

constexpr std::size_t headerBytes = 8;
// Real Exif has IFD0, IFD1, the Exif, GPS and interoperability directories, now and then a few
// sub-images. The bound keeps a crafted structure of thousands of overlapping directories from
// taking quadratic time.
constexpr std::size_t mostDirectories = 64;
// Directory offsets read from pointer entries, zeros included, for the same reason.
constexpr std::size_t mostDirectoryPointers = 4 * mostDirectories;

bool pointsAtDirectory(std::uint16_t tag)
{
    // SubIFDs, Exif, GPS, interoperability.
    return tag == 0x014A || tag == 0x8769 || tag == 0x8825 || tag == 0xA005;
}

class Walk
{
public:
    Walk(const TiffReader &tiff, ExifLayout &layout)
        : m_tiff(tiff)
        , m_layout(layout)
    {
    }

    // Reads the directory at offset and everything it points at; null when it cannot be read.
    std::optional<TiffIfd> visit(std::uint32_t offset)
    {
        if (!m_seen.insert(offset).second || m_seen.size() > mostDirectories) {
            m_layout.complete = false;
            return std::nullopt;
        }
        std::optional<TiffIfd> ifd = TiffIfd::read(m_tiff, offset);
        if (!ifd) {
            m_layout.complete = false;
            return std::nullopt;
        }
        use(ifd->at, ifd->end - ifd->at);
        for (const TiffEntry &entry : ifd->entries) {
            if (!entry.inlineValue())
                use(entry.valueAt, entry.valueBytes);
            if (!pointsAtDirectory(entry.tag))
                continue;
            for (std::uint32_t i = 0; i < entry.count && m_layout.complete; ++i) {
                const std::optional<std::uint32_t> child = entry.number(m_tiff, i);
                if (!child)
                    break;
                if (++m_pointers > mostDirectoryPointers)
                    m_layout.complete = false;
                else if (*child != 0)
                    visit(*child);
            }
        }
        return ifd;
    }

    void use(std::uint64_t offset, std::uint64_t bytes)
    {
        m_layout.used.push_back({ offset, offset + bytes });
    }

private:
    const TiffReader &m_tiff;
    ExifLayout &m_layout;
    std::set<std::uint32_t> m_seen;
    std::size_t m_pointers = 0;
};

// Sorts and merges, so that a range is looked up in logarithmic time: a crafted segment can
// have tens of thousands of values and strips.
void mergeRanges(std::vector<ByteRange> &ranges)
{
    std::sort(ranges.begin(), ranges.end(),
        [](const ByteRange &a, const ByteRange &b) { return a.begin < b.begin; });
    std::size_t kept = 0;
    for (const ByteRange &range : ranges) {
        if (range.begin >= range.end)
            continue;
        if (kept > 0 && range.begin <= ranges[kept - 1].end)
            ranges[kept - 1].end = std::max(ranges[kept - 1].end, range.end);
        else
            ranges[kept++] = range;
    }
    ranges.resize(kept);
}

} // namespace

bool ExifLayout::uses(const ByteRange &range) const
{
    // The first used range that ends after range begins is the only one that can overlap it.
    const auto after = std::upper_bound(used.begin(), used.end(), range.begin,
        [](std::uint64_t at, const ByteRange &u) { return at < u.end; });
    return after != used.end() && after->overlaps(range);
}

std::optional<ExifLayout> readExifLayout(const TiffReader &tiff)
{
    if (!tiff.holds(0, headerBytes))
        return std::nullopt;
    ExifLayout layout;
    Walk walk(tiff, layout);
    walk.use(0, headerBytes);
    const std::optional<TiffIfd> ifd0 = walk.visit(tiff.u32(4));
    if (!ifd0)
        return std::nullopt;
    layout.ifd0NextAt = ifd0->nextAt;
    layout.ifd1Offset = ifd0->next;
    if (layout.ifd1Offset == 0) {
        mergeRanges(layout.used);
        return layout;
    }
    layout.ifd1 = walk.visit(layout.ifd1Offset);
    // Directories chained after IFD1 are rare, but what they use must stay.
    for (std::uint32_t next = layout.ifd1 ? layout.ifd1->next : 0; next != 0 && layout.complete;) {
        const std::optional<TiffIfd> ifd = walk.visit(next);
        next = ifd ? ifd->next : 0;
    }
    mergeRanges(layout.used);
    return layout;
}

} // namespace imageio
