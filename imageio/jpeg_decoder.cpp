#include "imageio/jpeg_decoder.h"

#include "imageio/errors.h"
#include "imageio/jpeg_error_manager.h"
#include "imageio/jpeg_error_number.h"
#include "imageio/jpeg_scan_bytes.h"
#include "platform/memory.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <memory>
#include <new>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace imageio {

namespace {

// A multi-scan file may repeat its scans without end (the codec only warns about that), and
// every scan is a pass over some of the picture's coefficient blocks, so a small crafted file
// could keep a run busy for hours. Real encoders write a few dozen scans at most, and their scans
// add up to a few passes over the whole picture: the codec's own progressive script comes to
// 5.3 passes for 4:2:0 colour and 6 for grey, and encoders that choose their scans stay near it.
constexpr int mostScans = 1000;
constexpr std::uint64_t mostPasses = 32;

// The progress monitor's state: what the scans read so far cost, in coefficient blocks.
struct WorkLimit : jpeg_progress_mgr {
    int scansCounted = 0;
    std::uint64_t blocksRead = 0;
};

std::uint64_t blocksOf(const jpeg_component_info &component)
{
    return std::uint64_t(component.width_in_blocks) * component.height_in_blocks;
}

// The segments that viewers and photo organisers rely on most. The first of each kind is kept
// whatever comes before it, so that a flood of other segments cannot push it out; an ICC profile
// comes in numbered chunks, of which the first of each number counts.
constexpr int notVital = -1;
constexpr int iccVitalBase = 3; // Exif, XMP and IPTC are 0 to 2; ICC chunk n is 3 + n
using VitalKept = std::bitset<iccVitalBase + 256>;

bool startsWith(const std::uint8_t *data, std::size_t size, const char *tag, std::size_t length)
{
    return size >= length && std::memcmp(data, tag, length) == 0;
}

// Which vital kind a segment of this marker code is, from its first bytes (those available).
int vitalKind(int code, const std::uint8_t *data, std::size_t size)
{
    // Each with its terminating zero, as stored.
    static const char exif[] = "Exif";
    static const char xmp[] = "http://ns.adobe.com/xap/1.0/";
    static const char iptc[] = "Photoshop 3.0";
    static const char icc[] = "ICC_PROFILE";
    if (code == JPEG_APP0 + 1 && startsWith(data, size, exif, sizeof exif))
        return 0;
    if (code == JPEG_APP0 + 1 && startsWith(data, size, xmp, sizeof xmp))
        return 1;
    if (code == JPEG_APP0 + 13 && startsWith(data, size, iptc, sizeof iptc))
        return 2;
    if (code == JPEG_APP0 + 2 && startsWith(data, size, icc, sizeof icc) && size > sizeof icc)
        return iccVitalBase + data[sizeof icc]; // the chunk's number
    return notVital;
}

// Application segments and comments of the file whose header is read, kept as the codec meets
// them: one append each, whole segments only, up to the bounds in jpeg_markers.h, empty ones
// never.
struct SegmentStore {
    JpegMarkers segments;
    std::size_t bytes = 0;
    bool full = false;
    bool outOfMemory = false;
    VitalKept vitalKept;

    // Adds a segment of size bytes, to be filled, and returns true, or returns false when it is
    // not kept: empty, beyond the bounds (then no later one is either, but the first of each
    // vital kind), or out of memory (outOfMemory set).
    bool add(int code, std::size_t size, int vital = notVital) noexcept
    {
        if (size == 0)
            return false;
        const bool firstOfItsKind = vital != notVital && !vitalKept.test(std::size_t(vital));
        full = full || segments.size() >= mostKeptSegments || bytes > mostKeptSegmentBytes
            || mostKeptSegmentBytes - bytes < size;
        if (full && !firstOfItsKind)
            return false;
        try {
            segments.push_back({ code, std::vector<std::uint8_t>(size) });
        } catch (const std::exception &) {
            outOfMemory = true;
            return false;
        }
        bytes += size;
        if (firstOfItsKind)
            vitalKept.set(std::size_t(vital));
        return true;
    }
};

extern "C" {

// Called for each row of blocks the codec reads in a multi-scan file, and for each call that
// hands out rows. A scan is charged all its blocks on its first call, before any is read.
static void limitWork(j_common_ptr common) noexcept
{
    const auto cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto *limit = static_cast<WorkLimit *>(cinfo->progress);
    if (cinfo->input_scan_number == limit->scansCounted)
        return;
    limit->scansCounted = cinfo->input_scan_number;
    std::uint64_t picture = 0;
    for (int i = 0; i < cinfo->num_components; ++i)
        picture += blocksOf(cinfo->comp_info[i]);
    for (int i = 0; i < cinfo->comps_in_scan; ++i)
        limit->blocksRead += blocksOf(*cinfo->cur_comp_info[i]);
    if (cinfo->input_scan_number > mostScans || limit->blocksRead > mostPasses * picture)
        ERREXIT4(cinfo, JERR_BAD_PROGRESSION, cinfo->Ss, cinfo->Se, cinfo->Ah, cinfo->Al);
}

// One byte through the source. Ours is in memory and never suspends: past the end it supplies an
// end-of-image marker.
static unsigned int nextByte(j_decompress_ptr cinfo) noexcept
{
    jpeg_source_mgr *source = cinfo->src;
    if (source->bytes_in_buffer == 0 && !source->fill_input_buffer(cinfo))
        ERREXIT(cinfo, JERR_CANT_SUSPEND);
    --source->bytes_in_buffer;
    return *source->next_input_byte++;
}

// Marker processor for the APPn segments and comments that travel to the saved file. It reads
// and consumes the whole segment at once, moving the source's position as it goes, so the
// codec's restart point is always where reading stopped.
static boolean keepSegment(j_decompress_ptr cinfo) noexcept
{
    auto *store = static_cast<SegmentStore *>(cinfo->client_data);
    unsigned int length = nextByte(cinfo) << 8;
    length += nextByte(cinfo);
    if (length < 2)
        return TRUE; // a bogus length covers no data; the codec's own processors read on as well
    std::size_t size = length - 2;
    jpeg_source_mgr *source = cinfo->src;
    const int vital = vitalKind(
        cinfo->unread_marker, source->next_input_byte, std::min(size, source->bytes_in_buffer));
    if (!store->add(cinfo->unread_marker, size, vital)) {
        if (store->outOfMemory)
            ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        if (size > 0)
            source->skip_input_data(cinfo, long(size));
        return TRUE;
    }
    std::uint8_t *to = store->segments.back().data.data();
    while (size > 0) {
        if (source->bytes_in_buffer == 0 && !source->fill_input_buffer(cinfo))
            ERREXIT(cinfo, JERR_CANT_SUSPEND);
        const std::size_t part = std::min(size, source->bytes_in_buffer);
        std::memcpy(to, source->next_input_byte, part);
        to += part;
        size -= part;
        source->next_input_byte += part;
        source->bytes_in_buffer -= part;
    }
    return TRUE;
}

} // extern "C"

// Heap-only: no guarded step's frame owns it, so nothing in it can be clobbered by a longjmp.
struct Decoder {
    jpeg_decompress_struct cinfo {};
    ErrorManager errors {};
    WorkLimit progress {};
    SegmentStore store {};
    bool created = false;
    bool multipleScans = false;

    Decoder()
    {
        cinfo.err = useErrorManager(errors);
        progress.progress_monitor = limitWork;
    }
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
};

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
    d->cinfo.client_data = &d->store;
    jpeg_mem_src(&d->cinfo, bytes, static_cast<unsigned long>(size));
    // APP0 and APP14 stay with the codec, which reads the JFIF and Adobe headers from them.
    for (int n = 0; keepSegments && n < 16; ++n) {
        if (isKeptApplicationSegment(n))
            jpeg_set_marker_processor(&d->cinfo, JPEG_APP0 + n, keepSegment);
    }
    if (keepSegments)
        jpeg_set_marker_processor(&d->cinfo, JPEG_COM, keepSegment);
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

// The codec writes the next band of rows straight into the picture.
int readRowsInPlace(Decoder *d, std::uint8_t *pixels, std::size_t rowBytes)
{
    if (setjmp(d->errors.jump))
        return d->errors.msg_code;
    jpeg_decompress_struct &cinfo = d->cinfo;
    JSAMPROW rows[rowsPerCall];
    const JDIMENSION first = cinfo.output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(rowsPerCall, cinfo.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i)
        rows[i] = pixels + std::size_t(first + i) * rowBytes;
    jpeg_read_scanlines(&cinfo, rows, count);
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
    for (int i = 0; i < rowsPerCall && cinfo.output_scanline < cinfo.output_height; ++i) {
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

bool isColourProfile(const JpegMarker &m)
{
    static const char tag[] = "ICC_PROFILE"; // with its terminating zero, as stored
    return m.code == JPEG_APP0 + 2 && m.data.size() >= sizeof tag
        && std::memcmp(m.data.data(), tag, sizeof tag) == 0;
}

// The JFIF header's print size, when the file has one that makes sense.
JpegDensity densityOf(const jpeg_decompress_struct &cinfo)
{
    if (!cinfo.saw_JFIF_marker || cinfo.density_unit > 2 || cinfo.X_density == 0
        || cinfo.Y_density == 0)
        return {};
    return { cinfo.density_unit, cinfo.X_density, cinfo.Y_density };
}

// A declared picture that the file's scans could not code is refused before anything of its
// size is allocated or decoded.
void refuseUncodedPicture(const jpeg_decompress_struct &cinfo, std::uint64_t scanBytes)
{
    if (!pictureFitsInScans(cinfo.image_width, cinfo.image_height, scanBytes))
        throwCodecError(JERR_IMAGE_TOO_BIG);
}

} // namespace

JpegHeader readJpegHeader(const std::vector<std::uint8_t> &bytes, const JpegLayout &layout)
{
    const auto decoder = std::make_unique<Decoder>();
    const int code = readHeader(decoder.get(), bytes.data(), bytes.size(), true);
    for (const ByteSpan &comment : layout.laterComments) {
        if (code == 0 && decoder->store.add(commentCode, comment.size))
            std::copy_n(bytes.begin() + std::ptrdiff_t(comment.at), comment.size,
                decoder->store.segments.back().data.begin());
    }
    if (decoder->store.outOfMemory)
        throw core::EStreamError();
    check(code);
    const jpeg_decompress_struct &cinfo = decoder->cinfo;
    refuseUncodedPicture(cinfo, layout.scanBytes);
    JpegHeader header;
    header.width = int(cinfo.image_width);
    header.height = int(cinfo.image_height);
    header.multipleScans = decoder->multipleScans;
    header.density = densityOf(cinfo);
    // The saved file is always three-component colour; the ICC profile of a grayscale or CMYK
    // source describes other channels and would make colour-managed viewers misread it.
    JpegMarkers &segments = decoder->store.segments;
    if (cinfo.num_components != 3)
        segments.erase(
            std::remove_if(segments.begin(), segments.end(), isColourProfile), segments.end());
    header.keptSegments = std::move(segments);
    return header;
}

image::TBitmap decodeJpeg(const std::vector<std::uint8_t> &bytes, JpegWarnings *warnings,
    std::uint64_t memoryBudget, const RowsDecoded &rowsDecoded)
{
    const auto decoder = std::make_unique<Decoder>();
    const jpeg_decompress_struct &cinfo = decoder->cinfo;
    check(readHeader(decoder.get(), bytes.data(), bytes.size(), false));
    refuseUncodedPicture(cinfo, scanBytes(bytes.data(), bytes.size()));
    if (!platform::pictureFitsInMemory(
            cinfo.image_width, cinfo.image_height, decoder->multipleScans, memoryBudget))
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

    // The picture is new and unshared, so Bits() hands out its own store without copying. The
    // rows come a band at a time, so that rowsDecoded meets each band while it is still in the
    // processor's cache.
    std::uint8_t *pixels = picture.Bits();
    while (cinfo.output_scanline < cinfo.output_height) {
        const int first = int(cinfo.output_scanline);
        if (cmykRow.empty())
            check(readRowsInPlace(decoder.get(), pixels, picture.rowBytes()));
        else
            check(readCmykRows(decoder.get(), pixels, picture.rowBytes(), cmykRow.data()));
        const int count = int(cinfo.output_scanline) - first;
        if (count == 0)
            break; // cannot happen with an in-memory source; finishing will complain
        if (rowsDecoded)
            rowsDecoded(picture, first, count);
    }
    check(finishDecompress(decoder.get()));
    if (warnings)
        *warnings = warningsOf(decoder->errors);
    return picture;
}

} // namespace imageio
