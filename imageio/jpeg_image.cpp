#include "imageio/jpeg_image.h"

#include "imageio/errors.h"
#include "imageio/exif_thumbnail.h"
#include "imageio/file_tail.h"
#include "imageio/jpeg_decoder.h"
#include "imageio/jpeg_encoder.h"
#include "imageio/jpeg_layout.h"
#include "imageio/jpeg_markers.h"
#include "imageio/jpeg_scan_bytes.h"
#include "imageio/mpf_index.h"
#include "platform/file_reading.h"
#include "platform/memory.h"
#include "platform/safe_file_writer.h"

#include <new>
#include <optional>
#include <utility>

namespace imageio {

namespace {

constexpr int exifSegmentCode = 0xE1; // APP1, shared with XMP, which the rebuild leaves alone

// Read and checked before the rest of a file: the frame header of nearly every photo, and of
// every file that is no photo enough to tell.
constexpr std::size_t firstBytesChecked = 64 * 1024;

} // namespace

struct TJPEGImage::State {
    // None (hasBytes false) until loaded or encoded; empty when an empty picture was encoded.
    std::vector<std::uint8_t> bytes;
    bool hasBytes = false;
    // The cached decode of bytes, or the picture taken by CopyFromBitmap.
    image::TBitmap picture;
    bool hasPicture = false;
    // Segments and print size of the last file loaded; like ProgressiveSave they outlive
    // CopyFromBitmap, so that the enhanced photo keeps its source's metadata.
    JpegMarkers segments;
    JpegDensity density;
    int declaredWidth = 0;
    int declaredHeight = 0;
    // What followed the loaded file's main picture; it outlives CopyFromBitmap too.
    FileTail tail;
    JpegWarnings warnings;
    RecordOutcome record = RecordOutcome::NotAsked;
};

TJPEGImage::TJPEGImage()
    : m_state(std::make_unique<State>())
{
}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::LoadFile(const std::string &path, const FileMemory &memory)
{
    const auto weigh = [&memory](std::uint64_t size, const std::uint8_t *first, std::size_t count) {
        checkJpegStart(first, count, size);
        if (!platform::fileFitsInMemory(size) || (memory.limit != 0 && size > memory.limit))
            throw core::EStreamError();
        if (memory.reserve)
            memory.reserve(size);
    };
    try {
        LoadFromBytes(platform::readWholeFile(path, firstBytesChecked, weigh));
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

void TJPEGImage::LoadFromBytes(std::vector<std::uint8_t> bytes)
{
    try {
        // An empty file has no header to read; it fails at decoding.
        JpegHeader header;
        JpegLayout layout;
        std::optional<MpfIndex> mpf;
        if (!bytes.empty()) {
            layout = readJpegLayout(bytes.data(), bytes.size());
            header = readJpegHeader(bytes, layout);
            mpf = keepMpfIndex(header.keptSegments, bytes, layout);
        }

        State &s = *m_state;
        s.bytes = std::move(bytes);
        s.hasBytes = true;
        s.picture = image::TBitmap();
        s.hasPicture = false;
        s.segments = std::move(header.keptSegments);
        s.density = header.density;
        s.declaredWidth = header.width;
        s.declaredHeight = header.height;
        s.tail.heldIn(layout.pictureEnd, std::move(mpf));
        s.warnings = {};
        s.record = RecordOutcome::NotAsked;
        if (!s.bytes.empty())
            ProgressiveSave = header.multipleScans;
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

const image::TBitmap &TJPEGImage::Decode()
{
    State &s = *m_state;
    if (!s.hasPicture) {
        // With no bytes at all, the codec reports an empty input.
        s.picture = decodeJpeg(s.bytes, &s.warnings, MemoryBudget);
        s.hasPicture = true;
    }
    return s.picture;
}

void TJPEGImage::CopyToBitmap(image::TBitmap &target)
{
    try {
        target.Assign(Decode());
    } catch (const std::bad_alloc &) {
        throw EJPEG(outOfMemoryNumber);
    }
}

void TJPEGImage::CopyFromBitmap(const image::TBitmap &source)
{
    State &s = *m_state;
    try {
        s.tail.takeFrom(s.bytes);
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
    s.hasBytes = false;
    s.picture.Assign(source);
    s.hasPicture = true;
    s.record = RecordOutcome::NotAsked;
}

void TJPEGImage::Encode()
{
    State &s = *m_state;
    if (s.hasBytes)
        return;
    if (s.hasPicture) {
        // An Exif thumbnail kept as loaded would show, and hide, the picture before the change.
        JpegMarkers segments = s.segments;
        for (JpegMarker &segment : segments)
            if (segment.code == exifSegmentCode)
                segment.data = rebuildExifThumbnail(segment.data, s.picture);
        if (RecordEnhancement)
            s.record = addEnhancementRecord(segments);
        s.bytes = encodeJpeg(s.picture, Quality, ProgressiveSave, segments, true, s.density);
        s.tail.appendTo(s.bytes);
    } else {
        s.bytes.clear();
    }
    s.hasBytes = true;
}

void TJPEGImage::SaveFile(const std::string &path)
{
    try {
        platform::replaceFileContents(path, SaveToBytes());
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

const std::vector<std::uint8_t> &TJPEGImage::SaveToBytes()
{
    try {
        Encode();
        return m_state->bytes;
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

RecordOutcome TJPEGImage::EnhancementRecord() const
{
    return m_state->record;
}

int TJPEGImage::DeclaredWidth() const
{
    return m_state->declaredWidth;
}

int TJPEGImage::DeclaredHeight() const
{
    return m_state->declaredHeight;
}

const JpegWarnings &TJPEGImage::Warnings() const
{
    return m_state->warnings;
}

const std::vector<std::uint8_t> &TJPEGImage::Bytes() const
{
    return m_state->bytes;
}

} // namespace imageio
