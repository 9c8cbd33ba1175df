#include "imageio/jpeg_encoder.h"

#include "imageio/errors.h"
#include "imageio/jpeg_error_manager.h"
#include "imageio/jpeg_error_number.h"

#include <algorithm>
#include <memory>
#include <new>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace imageio {

namespace {

constexpr std::size_t firstOutputBlock = 64 * 1024;
constexpr int rowsPerCall = 16;

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

// Heap-only, like the decoder's state.
struct Encoder {
    jpeg_compress_struct cinfo {};
    ErrorManager errors {};
    VectorDestination destination {};
    bool created = false;

    explicit Encoder(std::vector<std::uint8_t> *out)
    {
        cinfo.err = useErrorManager(errors);
        destination.out = out;
        destination.init_destination = startOutput;
        destination.empty_output_buffer = takeFullBuffer;
        destination.term_destination = endOutput;
    }
    ~Encoder()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;
};

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

// Right after jpeg_start_compress, so the segments follow the JFIF header.
int writeSegments(Encoder *e, const JpegMarkers *segments)
{
    if (setjmp(e->errors.jump))
        return e->errors.msg_code;
    for (std::size_t i = 0; i < segments->size(); ++i) {
        const JpegMarker &segment = (*segments)[i];
        jpeg_write_marker(&e->cinfo, segment.code, segment.data.data(),
            static_cast<unsigned int>(segment.data.size()));
    }
    return 0;
}

// The codec only reads the rows, so handing it the picture's const store is safe.
int writeRows(Encoder *e, const std::uint8_t *pixels, std::size_t rowBytes)
{
    if (setjmp(e->errors.jump))
        return e->errors.msg_code;
    jpeg_compress_struct &cinfo = e->cinfo;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[rowsPerCall];
        const JDIMENSION first = cinfo.next_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(rowsPerCall, cinfo.image_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(pixels + std::size_t(first + i) * rowBytes);
        if (jpeg_write_scanlines(&cinfo, rows, count) == 0)
            break; // cannot happen with our destination; finishing will complain
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

} // namespace

std::vector<std::uint8_t> encodeJpeg(const image::TBitmap &picture, int quality, bool progressive,
    const JpegMarkers &segments, bool jfifHeader, const JpegDensity &density)
{
    std::vector<std::uint8_t> bytes;
    if (picture.Empty())
        return bytes;

    // The picture is encoded while the working images still hold theirs; a store kept for reuse
    // would only add a picture to the peak, next to the codec's buffers.
    image::releaseSpareStore();
    const auto encoder = std::make_unique<Encoder>(&bytes);
    const auto check = [&encoder](int code) {
        if (code == 0)
            return;
        if (encoder->destination.outOfMemory)
            throw core::EStreamError();
        throw EJPEG(classicJpegErrorNumber(code));
    };
    check(startCompress(encoder.get(), JDIMENSION(picture.Width()), JDIMENSION(picture.Height()),
        std::clamp(quality, 1, 100), progressive, jfifHeader, &density));
    check(writeSegments(encoder.get(), &segments));
    check(writeRows(encoder.get(), picture.Bits(), picture.rowBytes()));
    check(finishCompress(encoder.get()));
    bytes.resize(encoder->destination.used);
    return bytes;
}

} // namespace imageio
