#include "imageio/jpeg_image.h"

#include "imageio/errors.h"
#include "imageio/file_tail.h"
#include "imageio/jpeg_decoder.h"
#include "imageio/jpeg_encoder.h"
#include "imageio/jpeg_layout.h"
#include "imageio/jpeg_markers.h"
#include "imageio/jpeg_scan_bytes.h"
#include "imageio/mpf_index.h"
#include "imageio/photo_encoder.h"
#include "platform/file_reading.h"
#include "platform/memory.h"
#include "platform/safe_file_writer.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

namespace imageio {

namespace {

// Encodes a width x height picture band by band, each band's rows given by rowsOf.
template <typename RowsOf>
std::vector<std::uint8_t> encodePhoto(int width, int height, int quality, bool progressive,
    const JpegMarkers &segments, const JpegDensity &density, const RowsOf &rowsOf)
{
    // Stores kept for reuse would only add pictures to the peak, next to the codec's buffers.
    image::releaseSpareStore();
    PhotoEncoder encoder(width, height, quality, progressive, segments, density);
    for (int first = 0; width > 0 && first < height; first += JpegEncoder::rowsPerStep) {
        const int count = std::min(JpegEncoder::rowsPerStep, height - first);
        const std::uint8_t *rows[JpegEncoder::rowsPerStep];
        rowsOf(rows, first, count);
        encoder.writeRows(rows, count);
    }
    return encoder.finish();
}

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

const image::TBitmap &TJPEGImage::Decode(const RowsDecoded &rowsDecoded)
{
    State &s = *m_state;
    if (!s.hasPicture) {
        // With no bytes at all, the codec reports an empty input.
        s.picture = decodeJpeg(s.bytes, &s.warnings, MemoryBudget, rowsDecoded);
        s.hasPicture = true;
    } else if (rowsDecoded && !s.picture.Empty()) {
        rowsDecoded(s.picture, 0, s.picture.Height());
    }
    return s.picture;
}

void TJPEGImage::CopyToBitmap(image::TBitmap &target)
{
    CopyToBitmap(target, {});
}

void TJPEGImage::CopyToBitmap(image::TBitmap &target, const RowsDecoded &rowsDecoded)
{
    try {
        target.Assign(Decode(rowsDecoded));
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
        const image::TBitmap &picture = s.picture;
        encodeRows(picture.Width(), picture.Height(),
            [&picture](const std::uint8_t **rows, int first, int count) {
                for (int k = 0; k < count; ++k)
                    rows[k] = picture.ScanLine(first + k);
            });
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

const std::vector<std::uint8_t> &TJPEGImage::SaveRowsToBytes(
    int width, int height, const RowFiller &fill)
{
    try {
        CopyFromBitmap(image::TBitmap());
        State &s = *m_state;
        s.hasPicture = false;
        const std::size_t rowBytes = std::size_t(std::max(width, 0)) * 3;
        std::vector<std::uint8_t> band(rowBytes * JpegEncoder::rowsPerStep);
        std::uint8_t *bandRows[JpegEncoder::rowsPerStep];
        for (int k = 0; k < JpegEncoder::rowsPerStep; ++k)
            bandRows[k] = band.data() + std::size_t(k) * rowBytes;
        encodeRows(width, height, [&](const std::uint8_t **rows, int first, int count) {
            fill(bandRows, first, count);
            std::copy_n(bandRows, count, rows);
        });
        s.hasBytes = true;
        return s.bytes;
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

// The kept segments, with Lumivor's record when asked for; each Exif thumbnail is made anew as
// the rows pass (PhotoEncoder), and what followed the loaded file's picture comes after it.
void TJPEGImage::encodeRows(int width, int height, const RowsOf &rowsOf)
{
    State &s = *m_state;
    JpegMarkers segments = s.segments;
    if (RecordEnhancement)
        s.record = addEnhancementRecord(segments);
    s.bytes
        = encodePhoto(width, height, Quality, ProgressiveSave, segments, s.density, rowsOf);
    s.tail.appendTo(s.bytes);
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
