#include "imageio/jpeg_decoder.h"

#include "imageio/errors.h"
#include "imageio/jpeg_error_manager.h"
#include "imageio/jpeg_error_number.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace imageio {

namespace {

// A multi-scan file may repeat its scans without end (the codec only warns about that), and
// every scan is a pass over the whole picture, so a small crafted file could keep a run busy for
// hours. Real encoders write a few dozen scans at most.
constexpr int mostScans = 1000;

extern "C" {

// Called between the codec's steps while it reads the scans of a multi-scan file.
static void limitScans(j_common_ptr common) noexcept
{
    const auto cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number > mostScans)
        ERREXIT4(cinfo, JERR_BAD_PROGRESSION, cinfo->Ss, cinfo->Se, cinfo->Ah, cinfo->Al);
}

} // extern "C"

// Heap-only: no guarded step's frame owns it, so nothing in it can be clobbered by a longjmp.
struct Decoder {
    jpeg_decompress_struct cinfo {};
    ErrorManager errors {};
    jpeg_progress_mgr progress {};
    bool created = false;
    bool multipleScans = false;

    Decoder()
    {
        cinfo.err = useErrorManager(errors);
        progress.progress_monitor = limitScans;
    }
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
};

constexpr unsigned int longestSegment = 0xFFFF;
constexpr int rowsPerCall = 16;

// Guarded steps: after setjmp only libjpeg calls and plain locals. Each returns 0 or the codec's
// message code.

int readHeader(Decoder *d, const std::uint8_t *bytes, std::size_t size, bool keepSegments)
{
    if (setjmp(d->errors.jump))
        return d->errors.msg_code;
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    d->cinfo.progress = &d->progress; // after creating, which clears it
    jpeg_mem_src(&d->cinfo, bytes, static_cast<unsigned long>(size));
    for (int n = 0; keepSegments && n < 16; ++n) {
        if (isKeptApplicationSegment(n))
            jpeg_save_markers(&d->cinfo, JPEG_APP0 + n, longestSegment);
    }
    jpeg_read_header(&d->cinfo, TRUE);
    d->multipleScans = jpeg_has_multiple_scans(&d->cinfo);
    return 0;
}

bool isFourComponent(const jpeg_decompress_struct &cinfo)
{
    return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

int startDecompress(Decoder *d)
{
    if (setjmp(d->errors.jump))
        return d->errors.msg_code;
    jpeg_decompress_struct &cinfo = d->cinfo;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.do_block_smoothing = TRUE;
    cinfo.do_fancy_upsampling = TRUE;
    // Grayscale comes out as grey repeated in blue, green and red; CMYK is converted by us.
    cinfo.out_color_space = isFourComponent(cinfo) ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    return 0;
}

// The codec writes each row straight into the picture.
int readRowsInPlace(Decoder *d, std::uint8_t *pixels, std::size_t rowBytes)
{
    if (setjmp(d->errors.jump))
        return d->errors.msg_code;
    jpeg_decompress_struct &cinfo = d->cinfo;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[rowsPerCall];
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(rowsPerCall, cinfo.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = pixels + std::size_t(first + i) * rowBytes;
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0)
            break; // cannot happen with an in-memory source; finishing will complain
    }
    return 0;
}

// (C * K + 127) / 255 and so on, on the values exactly as the codec returns them: such files
// store inverted ink, so this is the usual conversion for them.
void cmykToBgr(const std::uint8_t *cmyk, std::uint8_t *bgr, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned k = cmyk[3];
        bgr[0] = std::uint8_t((cmyk[2] * k + 127) / 255);
        bgr[1] = std::uint8_t((cmyk[1] * k + 127) / 255);
        bgr[2] = std::uint8_t((cmyk[0] * k + 127) / 255);
    }
}

int readCmykRows(Decoder *d, std::uint8_t *pixels, std::size_t rowBytes, std::uint8_t *cmykRow)
{
    if (setjmp(d->errors.jump))
        return d->errors.msg_code;
    jpeg_decompress_struct &cinfo = d->cinfo;
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION y = cinfo.output_scanline;
        JSAMPROW row = cmykRow;
        if (jpeg_read_scanlines(&cinfo, &row, 1) == 0)
            break;
        cmykToBgr(cmykRow, pixels + std::size_t(y) * rowBytes, cinfo.output_width);
    }
    return 0;
}

int finishDecompress(Decoder *d)
{
    if (setjmp(d->errors.jump))
        return d->errors.msg_code;
    jpeg_finish_decompress(&d->cinfo);
    return 0;
}

[[noreturn]] void throwCodecError(int code)
{
    throw EJPEG(classicJpegErrorNumber(code));
}

void check(int code)
{
    if (code != 0)
        throwCodecError(code);
}

bool isColourProfile(const jpeg_marker_struct &m)
{
    static const char tag[] = "ICC_PROFILE"; // with its terminating zero, as stored
    return m.marker == JPEG_APP0 + 2 && m.data_length >= sizeof tag
        && std::memcmp(m.data, tag, sizeof tag) == 0;
}

JpegMarkers copyKeptSegments(const jpeg_decompress_struct &cinfo)
{
    // The saved file is always three-component colour; the ICC profile of a grayscale or CMYK
    // source describes other channels and would make colour-managed viewers misread it.
    const bool keepProfile = cinfo.num_components == 3;
    try {
        JpegMarkers segments;
        for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
            if (keepProfile || !isColourProfile(*m))
                segments.push_back({ m->marker, { m->data, m->data + m->data_length } });
        }
        return segments;
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

} // namespace

JpegHeader readJpegHeader(const std::vector<std::uint8_t> &bytes)
{
    const auto decoder = std::make_unique<Decoder>();
    check(readHeader(decoder.get(), bytes.data(), bytes.size(), true));
    JpegHeader header;
    header.width = int(decoder->cinfo.image_width);
    header.height = int(decoder->cinfo.image_height);
    header.multipleScans = decoder->multipleScans;
    header.keptSegments = copyKeptSegments(decoder->cinfo);
    return header;
}

image::TBitmap decodeJpeg(const std::vector<std::uint8_t> &bytes)
{
    const auto decoder = std::make_unique<Decoder>();
    const jpeg_decompress_struct &cinfo = decoder->cinfo;
    check(readHeader(decoder.get(), bytes.data(), bytes.size(), false));
    if (!platform::pictureFitsInMemory(cinfo.image_width, cinfo.image_height))
        throwCodecError(JERR_OUT_OF_MEMORY);
    check(startDecompress(decoder.get()));

    image::TBitmap picture;
    std::vector<std::uint8_t> cmykRow;
    try {
        picture.SetSize(int(cinfo.output_width), int(cinfo.output_height));
        if (cinfo.out_color_space == JCS_CMYK)
            cmykRow.resize(std::size_t(cinfo.output_width) * 4);
    } catch (const std::bad_alloc &) {
        throwCodecError(JERR_OUT_OF_MEMORY);
    }

    // The picture is new and unshared, so Bits() hands out its own store without copying.
    if (cmykRow.empty())
        check(readRowsInPlace(decoder.get(), picture.Bits(), picture.rowBytes()));
    else
        check(readCmykRows(decoder.get(), picture.Bits(), picture.rowBytes(), cmykRow.data()));
    check(finishDecompress(decoder.get()));
    return picture;
}

} // namespace imageio
