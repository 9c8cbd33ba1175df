#pragma once

#include "image/bitmap.h"
#include "imageio/jpeg_markers.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace imageio {

// Encodes picture as a JFIF file: YCbCr 4:2:0, float DCT, the standard tables scaled for
// quality (1..100, clamped), baseline or the standard progressive sequence, and segments (APPn
// and comments) written unchanged, in order, right after the JFIF header, which has the given
// print size. Without jfifHeader the file has no JFIF header, as a thumbnail embedded in Exif must
// not. An empty picture gives no bytes.
// Throws EJPEG when the codec stops, EStreamError when the output does not fit in memory.
std::vector<std::uint8_t> encodeJpeg(const image::TBitmap &picture, int quality, bool progressive,
    const JpegMarkers &segments, bool jfifHeader = true, const JpegDensity &density = {});

// Bytes that segments take in a file: their data with two bytes of marker and two of length each.
std::size_t segmentFileBytes(const JpegMarkers &segments);

struct JpegEncoderState;

// encodeJpeg for a picture handed over a few rows at a time, whose segments need not be known
// until its last row has passed: they go into room kept for them after the JFIF header.
// Throws as encodeJpeg does.
class JpegEncoder
{
public:
    // A file for a width x height picture (both at least 1), keeping segmentRoom bytes for the
    // segments of finish().
    JpegEncoder(int width, int height, int quality, bool progressive, bool jfifHeader,
        const JpegDensity &density, std::size_t segmentRoom);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    // Encodes the picture's next `count` rows, width blue, green, red pixels each.
    void writeRows(const std::uint8_t *const *rows, int count);

    // After the last row: the file, with segments (segmentFileBytes at most segmentRoom, else
    // std::length_error) in the room kept for them.
    std::vector<std::uint8_t> finish(const JpegMarkers &segments);

    // Rows encoded per writeRows call at most; more are taken in several steps.
    static constexpr int rowsPerStep = 16;

private:
    void check(int code) const;
    void keepRoom(std::size_t bytes);

    std::vector<std::uint8_t> m_bytes;
    std::unique_ptr<JpegEncoderState> m_encoder;
    std::size_t m_roomAt = 0;
    std::size_t m_room = 0;
};

} // namespace imageio
