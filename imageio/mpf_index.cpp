#include "imageio/mpf_index.h"

#include "imageio/tiff_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace imageio {

namespace {

constexpr std::uint8_t signature[] = { 'M', 'P', 'F', 0 };
constexpr std::size_t mpHeaderAt = sizeof signature; // in the segment's data
constexpr int app2 = 0xE2;
constexpr std::size_t markerAndLength = 4;

constexpr std::uint16_t numberOfImagesTag = 0xB001;
constexpr std::uint16_t mpEntryTag = 0xB002;
constexpr std::uint16_t tiffUndefined = 7;

// An MP entry: attributes, size, offset from the MP header, two dependent entry numbers.
constexpr std::size_t entryBytes = 16;
constexpr std::size_t sizeAt = 4;
constexpr std::size_t offsetAt = 8;

bool startsPicture(const std::vector<std::uint8_t> &file, std::uint64_t at, std::uint64_t size)
{
    return size >= 2 && at <= file.size() && size <= file.size() - at && file[at] == 0xFF
        && file[at + 1] == 0xD8;
}

// The index in segment, whose data lies at segmentAt in file, under the conditions keepMpfIndex
// names.
std::optional<MpfIndex> readMpfIndex(const std::vector<std::uint8_t> &segment,
    std::size_t segmentAt, const std::vector<std::uint8_t> &file, std::size_t pictureEnd)
{
    const std::optional<TiffReader> tiff
        = TiffReader::open(segment.data() + mpHeaderAt, segment.size() - mpHeaderAt);
    if (!tiff || !tiff->holds(4, 4))
        return std::nullopt;
    const std::optional<TiffIfd> ifd = TiffIfd::read(*tiff, tiff->u32(4));
    const TiffEntry *images = ifd ? ifd->find(numberOfImagesTag) : nullptr;
    const TiffEntry *entries = ifd ? ifd->find(mpEntryTag) : nullptr;
    const std::optional<std::uint32_t> count = images ? images->number(*tiff) : std::nullopt;
    if (!entries || !count || *count == 0 || entries->type != tiffUndefined
        || entries->count != std::uint64_t(*count) * entryBytes
        || !tiff->holds(entries->valueAt, entries->valueBytes))
        return std::nullopt;

    MpfIndex index;
    index.bigEndian = tiff->bigEndian();
    index.entriesAt = mpHeaderAt + entries->valueAt;
    const std::uint64_t mpHeaderInFile = segmentAt + mpHeaderAt;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::size_t entry = entries->valueAt + i * entryBytes;
        const std::uint32_t offset = tiff->u32(entry + offsetAt);
        if (i == 0) {
            if (offset != 0) // the first picture is the one that holds the index
                return std::nullopt;
            continue;
        }
        const std::uint64_t start = mpHeaderInFile + offset;
        if (start < pictureEnd || !startsPicture(file, start, tiff->u32(entry + sizeAt)))
            return std::nullopt;
        index.laterPictures.push_back(start - pictureEnd);
    }
    return index;
}

} // namespace

bool isMpfSegmentData(const std::uint8_t *data, std::size_t size)
{
    return size >= sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
}

bool isMpfSegment(const JpegMarker &segment)
{
    return segment.code == app2 && isMpfSegmentData(segment.data.data(), segment.data.size());
}

std::optional<MpfIndex> keepMpfIndex(
    JpegMarkers &segments, const std::vector<std::uint8_t> &file, const JpegLayout &layout)
{
    const auto first = std::find_if(segments.begin(), segments.end(), isMpfSegment);
    if (first == segments.end())
        return std::nullopt;
    // The kept segment is the one the walk found, unless the codec and the walk parted ways.
    std::optional<MpfIndex> index;
    const std::optional<ByteSpan> &found = layout.mpfSegment;
    if (found && found->size == first->data.size()
        && std::equal(first->data.begin(), first->data.end(), file.begin() + found->at))
        index = readMpfIndex(first->data, found->at, file, layout.pictureEnd);
    const std::size_t kept = index ? std::size_t(first - segments.begin()) : segments.size();
    std::size_t to = 0;
    for (std::size_t from = 0; from < segments.size(); ++from) {
        if (from != kept && isMpfSegment(segments[from]))
            continue;
        if (to != from)
            segments[to] = std::move(segments[from]);
        ++to;
    }
    segments.resize(to);
    return index;
}

void rewriteMpfIndex(std::vector<std::uint8_t> &encoded, const MpfIndex &index)
{
    const std::optional<ByteSpan> segment
        = readJpegLayout(encoded.data(), encoded.size()).mpfSegment;
    if (!segment || segment->size < index.entriesAt + (index.laterPictures.size() + 1) * entryBytes)
        return;
    constexpr std::uint64_t most = std::numeric_limits<std::uint32_t>::max();
    const std::uint64_t mainSize = encoded.size();
    const std::uint64_t mpHeaderInFile = segment->at + mpHeaderAt;
    const bool fits = mainSize <= most
        && std::all_of(index.laterPictures.begin(), index.laterPictures.end(),
            [&](std::uint64_t later) { return mainSize + later - mpHeaderInFile <= most; });
    if (!fits) {
        const auto from = encoded.begin() + std::ptrdiff_t(segment->at - markerAndLength);
        encoded.erase(from, from + std::ptrdiff_t(markerAndLength + segment->size));
        return;
    }
    std::uint8_t *entry = encoded.data() + segment->at + index.entriesAt;
    putTiffU32(entry + sizeAt, std::uint32_t(mainSize), index.bigEndian);
    for (const std::uint64_t later : index.laterPictures) {
        entry += entryBytes;
        putTiffU32(
            entry + offsetAt, std::uint32_t(mainSize + later - mpHeaderInFile), index.bigEndian);
    }
}

} // namespace imageio
