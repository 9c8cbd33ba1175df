#include "imageio/jpeg_image.h"

#include "imageio/errors.h"
#include "imageio/jpeg_decoder.h"
#include "imageio/jpeg_markers.h"
#include "imageio/jpeg_scan_bytes.h"
#include "imageio/photo_encoder.h"
#include "platform/file_reading.h"
#include "platform/memory.h"
#include "platform/safe_file_writer.h"

#include <algorithm>
#include <new>
#include <utility>

namespace imageio {

namespace {

constexpr int outOfMemoryNumber = 53;

// Points rows[0..count) at rows first..first+count-1 of the picture to encode.
using RowsOf = std::function<void(const std::uint8_t **rows, int first, int count)>;

// Encodes a width x height picture band by band, each band's rows given by rowsOf.
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
        if (!bytes.empty())
            header = readJpegHeader(bytes);

        State &s = *m_state;
        s.bytes = std::move(bytes);
        s.hasBytes = true;
        s.picture = image::TBitmap();
        s.hasPicture = false;
        s.segments = std::move(header.keptSegments);
        s.density = header.density;
        s.declaredWidth = header.width;
        s.declaredHeight = header.height;
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
        s.picture = decodeJpeg(s.bytes, rowsDecoded);
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
    std::vector<std::uint8_t>().swap(s.bytes);
    s.hasBytes = false;
    s.picture.Assign(source);
    s.hasPicture = true;
}

void TJPEGImage::Encode()
{
    State &s = *m_state;
    if (s.hasBytes)
        return;
    if (s.hasPicture) {
        const image::TBitmap &picture = s.picture;
        s.bytes = encodePhoto(picture.Width(), picture.Height(), Quality, ProgressiveSave,
            s.segments, s.density, [&picture](const std::uint8_t **rows, int first, int count) {
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
        s.bytes = encodePhoto(width, height, Quality, ProgressiveSave, s.segments, s.density,
            [&](const std::uint8_t **rows, int first, int count) {
                fill(bandRows, first, count);
                std::copy_n(bandRows, count, rows);
            });
        s.hasBytes = true;
        return s.bytes;
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

int TJPEGImage::DeclaredWidth() const
{
    return m_state->declaredWidth;
}

int TJPEGImage::DeclaredHeight() const
{
    return m_state->declaredHeight;
}

const std::vector<std::uint8_t> &TJPEGImage::Bytes() const
{
    return m_state->bytes;
}

} // namespace imageio
