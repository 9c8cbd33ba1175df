#include "imageio/jpeg_encoder.h"

#include "imageio/errors.h"
#include "imageio/jpeg_error_manager.h"
#include "imageio/jpeg_error_number.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace imageio {

namespace {

constexpr std::size_t firstOutputBlock = 64 * 1024;

// Appends to a vector owned by the C++ wrapper, so the bytes are ours on every path, even when
// the codec stops before term_destination.
struct VectorDestination : jpeg_destination_mgr {
    std::vector<std::uint8_t> *out = nullptr;
    std::size_t used = 0;
    bool outOfMemory = false;

    bool grow() noexcept
    {
        try {
            out->resize(out->empty() ? firstOutputBlock : out->size() * 2);
            return true;
        } catch (const std::exception &) {
            outOfMemory = true;
            return false;
        }
    }
};

extern "C" {

static void startOutput(j_compress_ptr cinfo) noexcept
{
    auto *dest = static_cast<VectorDestination *>(cinfo->dest);
    dest->out->clear();
    if (!dest->grow())
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0); // longjmp only after the try block is gone
    dest->next_output_byte = dest->out->data();
    dest->free_in_buffer = dest->out->size();
}

static boolean takeFullBuffer(j_compress_ptr cinfo) noexcept
{
    auto *dest = static_cast<VectorDestination *>(cinfo->dest);
    const std::size_t used = dest->out->size();
    if (!dest->grow())
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->next_output_byte = dest->out->data() + used;
    dest->free_in_buffer = dest->out->size() - used;
    return TRUE;
}

static void endOutput(j_compress_ptr cinfo) noexcept
{
    auto *dest = static_cast<VectorDestination *>(cinfo->dest);
    dest->used = dest->out->size() - dest->free_in_buffer;
}

} // extern "C"

} // namespace

// Heap-only, like the decoder's state.
struct JpegEncoderState {
    jpeg_compress_struct cinfo {};
    ErrorManager errors {};
    VectorDestination destination {};
    bool created = false;

    explicit JpegEncoderState(std::vector<std::uint8_t> *out)
    {
        cinfo.err = useErrorManager(errors);
        destination.out = out;
        destination.init_destination = startOutput;
        destination.empty_output_buffer = takeFullBuffer;
        destination.term_destination = endOutput;
    }
    ~JpegEncoderState()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
    JpegEncoderState(const JpegEncoderState &) = delete;
    JpegEncoderState &operator=(const JpegEncoderState &) = delete;
};

namespace {

using Encoder = JpegEncoderState;

// Guarded steps: after setjmp only libjpeg calls and plain locals. Each returns 0 or the codec's
// message code.

int startCompress(Encoder *e, JDIMENSION width, JDIMENSION height, int quality, bool progressive,
    bool jfif, const JpegDensity *density)
{
    if (setjmp(e->errors.jump))
        return e->errors.msg_code;
    jpeg_compress_struct &cinfo = e->cinfo;
    jpeg_create_compress(&cinfo);
    e->created = true;
    cinfo.dest = &e->destination;
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    cinfo.dct_method = JDCT_FLOAT; // after jpeg_set_defaults, which resets it
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.write_JFIF_header = jfif ? TRUE : FALSE;
    cinfo.density_unit = UINT8(density->unit);
    cinfo.X_density = UINT16(density->x);
    cinfo.Y_density = UINT16(density->y);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    return 0;
}

// The codec only reads the rows, so handing it the caller's const rows is safe.
int writeRows(Encoder *e, const std::uint8_t *const *rows, JDIMENSION count)
{
    if (setjmp(e->errors.jump))
        return e->errors.msg_code;
    jpeg_compress_struct &cinfo = e->cinfo;
    for (JDIMENSION done = 0; done < count;) {
        const JDIMENSION written
            = jpeg_write_scanlines(&cinfo, const_cast<JSAMPARRAY>(rows + done), count - done);
        if (written == 0)
            break; // cannot happen with our destination; finishing will complain
        done += written;
    }
    return 0;
}

int finishCompress(Encoder *e)
{
    if (setjmp(e->errors.jump))
        return e->errors.msg_code;
    jpeg_finish_compress(&e->cinfo);
    return 0;
}

constexpr std::size_t markerHeaderBytes = 4; // FF, the code, and the length in two bytes

} // namespace

std::size_t segmentFileBytes(const JpegMarkers &segments)
{
    std::size_t bytes = 0;
    for (const JpegMarker &segment : segments)
        bytes += markerHeaderBytes + segment.data.size();
    return bytes;
}

JpegEncoder::JpegEncoder(int width, int height, int quality, bool progressive, bool jfifHeader,
    const JpegDensity &density, std::size_t segmentRoom)
    : m_encoder(std::make_unique<JpegEncoderState>(&m_bytes))
{
    check(startCompress(m_encoder.get(), JDIMENSION(width), JDIMENSION(height),
        std::clamp(quality, 1, 100), progressive, jfifHeader, &density));
    keepRoom(segmentRoom);
}

JpegEncoder::~JpegEncoder() = default;

void JpegEncoder::check(int code) const
{
    if (code == 0)
        return;
    if (m_encoder->destination.outOfMemory)
        throw core::EStreamError();
    throw EJPEG(classicJpegErrorNumber(code));
}

// The codec has written the start of the file; it goes on past the room. Between two guarded
// steps the destination's position is ours to move.
void JpegEncoder::keepRoom(std::size_t bytes)
{
    VectorDestination &destination = m_encoder->destination;
    m_roomAt = m_bytes.size() - destination.free_in_buffer;
    m_room = bytes;
    const std::size_t after = m_roomAt + bytes;
    try {
        // The codec expects room for at least one more byte.
        if (m_bytes.size() <= after)
            m_bytes.resize(std::max(after + 1, 2 * m_bytes.size()));
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
    destination.next_output_byte = m_bytes.data() + after;
    destination.free_in_buffer = m_bytes.size() - after;
}

void JpegEncoder::writeRows(const std::uint8_t *const *rows, int count)
{
    for (int done = 0; done < count; done += rowsPerStep)
        check(::imageio::writeRows(
            m_encoder.get(), rows + done, JDIMENSION(std::min(rowsPerStep, count - done))));
}

std::vector<std::uint8_t> JpegEncoder::finish(const JpegMarkers &segments)
{
    const std::size_t segmentBytes = segmentFileBytes(segments);
    if (segmentBytes > m_room)
        throw std::length_error("JPEG segments larger than the room kept for them");
    for (const JpegMarker &segment : segments)
        if (segment.data.size() > mostSegmentBytes)
            throw EJPEG(classicJpegErrorNumber(JERR_BAD_LENGTH));
    check(finishCompress(m_encoder.get()));
    // The segments as the codec's own jpeg_write_marker would have put them there.
    std::uint8_t *at = m_bytes.data() + m_roomAt;
    for (const JpegMarker &segment : segments) {
        const std::size_t length = segment.data.size() + 2;
        *at++ = 0xFF;
        *at++ = std::uint8_t(segment.code);
        *at++ = std::uint8_t(length >> 8);
        *at++ = std::uint8_t(length);
        at = std::copy(segment.data.begin(), segment.data.end(), at);
    }
    m_bytes.resize(m_encoder->destination.used);
    // Room the segments left unused is closed up.
    m_bytes.erase(
        m_bytes.begin() + long(m_roomAt + segmentBytes), m_bytes.begin() + long(m_roomAt + m_room));
    return std::move(m_bytes);
}

std::vector<std::uint8_t> encodeJpeg(const image::TBitmap &picture, int quality, bool progressive,
    const JpegMarkers &segments, bool jfifHeader, const JpegDensity &density)
{
    if (picture.Empty())
        return {};
    // The picture is encoded while the working images still hold theirs; a store kept for reuse
    // would only add a picture to the peak, next to the codec's buffers.
    image::releaseSpareStore();
    JpegEncoder encoder(picture.Width(), picture.Height(), quality, progressive, jfifHeader,
        density, segmentFileBytes(segments));
    for (int first = 0; first < picture.Height(); first += JpegEncoder::rowsPerStep) {
        const std::uint8_t *rows[JpegEncoder::rowsPerStep];
        const int count = std::min(JpegEncoder::rowsPerStep, picture.Height() - first);
        for (int k = 0; k < count; ++k)
            rows[k] = picture.ScanLine(first + k);
        encoder.writeRows(rows, count);
    }
    return encoder.finish(segments);
}

} // namespace imageio
