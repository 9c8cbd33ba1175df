#include "tests/support/jpeg_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <cstdio>
#include <jpeglib.h>

namespace testjpeg {

namespace {

// Only well-formed input reaches these; a codec error is a bug in the test, so libjpeg's default
// handler (message and exit) will do. Warnings from cut files are expected and dropped.
void quiet(j_common_ptr, int) { }

struct Compressor {
    jpeg_compress_struct cinfo {};
    jpeg_error_mgr errors {};
    Compressor()
    {
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_compress(&cinfo);
    }
    ~Compressor() { jpeg_destroy_compress(&cinfo); }
};

struct Decompressor {
    jpeg_decompress_struct cinfo {};
    jpeg_error_mgr errors {};
    explicit Decompressor(const Bytes &jpeg)
    {
        cinfo.err = jpeg_std_error(&errors);
        errors.emit_message = quiet;
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
};

} // namespace

Recipe recipe(int width, int height, Kind kind, Scans scans)
{
    Recipe r;
    r.width = width;
    r.height = height;
    r.kind = kind;
    r.scans = scans;
    return r;
}

Bytes makeJpeg(const Recipe &recipe)
{
    Compressor c;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c.cinfo, &buffer, &size);
    const int components = recipe.kind == Kind::Grey ? 1 : recipe.kind == Kind::Colour ? 3 : 4;
    c.cinfo.image_width = JDIMENSION(recipe.width);
    c.cinfo.image_height = JDIMENSION(recipe.height);
    c.cinfo.input_components = components;
    c.cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c.cinfo);
    if (recipe.kind == Kind::Ycck)
        jpeg_set_colorspace(&c.cinfo, JCS_YCCK);
    jpeg_set_quality(&c.cinfo, recipe.quality, TRUE);
    c.cinfo.write_JFIF_header = recipe.jfif;
    c.cinfo.density_unit = UINT8(recipe.densityUnit);
    c.cinfo.X_density = UINT16(recipe.xDensity);
    c.cinfo.Y_density = UINT16(recipe.yDensity);
    static jpeg_scan_info oneScanEach[3]
        = { { 1, { 0 }, 0, 63, 0, 0 }, { 1, { 1 }, 0, 63, 0, 0 }, { 1, { 2 }, 0, 63, 0, 0 } };
    if (recipe.scans == Scans::Progressive)
        jpeg_simple_progression(&c.cinfo);
    if (recipe.scans == Scans::SeparateComponents) {
        c.cinfo.scan_info = oneScanEach;
        c.cinfo.num_scans = 3;
    }
    jpeg_start_compress(&c.cinfo, TRUE);
    for (const Segment &segment : recipe.segments)
        jpeg_write_marker(
            &c.cinfo, segment.code, segment.data.data(), unsigned(segment.data.size()));
    Bytes row(std::size_t(recipe.width * components));
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x)
            for (int k = 0; k < components; ++k)
                row[std::size_t(x * components + k)] = std::uint8_t(recipe.sample
                        ? recipe.sample(x, y, k)
                        : recipe.flat.empty()
                        ? (x * 9 + y * 13 + k * 70 + (x / 4 + y / 4) % 2 * 40) % 256
                        : recipe.flat[std::size_t(k)]);
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&c.cinfo, &rowPointer, 1);
    }
    jpeg_finish_compress(&c.cinfo);
    Bytes result(buffer, buffer + size);
    std::free(buffer);
    return result;
}

Bytes referenceDecode(const Bytes &jpeg, int outColorSpace)
{
    Decompressor d(jpeg);
    d.cinfo.dct_method = JDCT_FLOAT;
    d.cinfo.do_block_smoothing = TRUE;
    d.cinfo.do_fancy_upsampling = TRUE;
    d.cinfo.out_color_space = J_COLOR_SPACE(outColorSpace);
    jpeg_start_decompress(&d.cinfo);
    const std::size_t rowBytes = std::size_t(d.cinfo.output_width) * d.cinfo.output_components;
    Bytes samples(rowBytes * d.cinfo.output_height);
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = samples.data() + d.cinfo.output_scanline * rowBytes;
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&d.cinfo);
    return samples;
}

Header readHeader(const Bytes &jpeg)
{
    const Decompressor d(jpeg);
    const jpeg_decompress_struct &c = d.cinfo;
    Header h { int(c.image_width), int(c.image_height),
        bool(jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&c))), bool(c.progressive_mode),
        bool(c.saw_JFIF_marker), c.density_unit, c.X_density, c.Y_density, {} };
    for (JQUANT_TBL *table : c.quant_tbl_ptrs)
        if (table)
            h.quantTables.emplace_back(table->quantval, table->quantval + DCTSIZE2);
    return h;
}

std::vector<std::vector<int>> standardQuantTables(int quality)
{
    Compressor c;
    c.cinfo.in_color_space = JCS_RGB;
    c.cinfo.input_components = 3;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, quality, TRUE);
    std::vector<std::vector<int>> tables;
    for (JQUANT_TBL *table : { c.cinfo.quant_tbl_ptrs[0], c.cinfo.quant_tbl_ptrs[1] })
        tables.emplace_back(table->quantval, table->quantval + DCTSIZE2);
    return tables;
}

std::vector<SegmentPlace> headerSegments(const Bytes &jpeg)
{
    std::vector<SegmentPlace> places { { 0xD8, 0, 2 } };
    for (std::size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
        places.push_back({ jpeg[at + 1], at, 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]) });
        if (jpeg[at + 1] == 0xDA)
            break;
        at += places.back().length;
    }
    return places;
}

Bytes withSegments(const Bytes &jpeg, int code, std::size_t count, const Bytes &data)
{
    const std::size_t length = data.size() + 2;
    Bytes segment { 0xFF, std::uint8_t(code), std::uint8_t(length >> 8), std::uint8_t(length) };
    segment.insert(segment.end(), data.begin(), data.end());
    Bytes result(jpeg.begin(), jpeg.begin() + 2);
    result.reserve(jpeg.size() + count * segment.size());
    for (std::size_t i = 0; i < count; ++i)
        result.insert(result.end(), segment.begin(), segment.end());
    result.insert(result.end(), jpeg.begin() + 2, jpeg.end());
    return result;
}

Bytes withDeclaredSize(Bytes jpeg, int width, int height)
{
    for (const SegmentPlace &place : headerSegments(jpeg)) {
        if (place.code >= 0xC0 && place.code <= 0xC2) {
            const std::size_t at = place.offset;
            jpeg[at + 5] = std::uint8_t(height >> 8);
            jpeg[at + 6] = std::uint8_t(height);
            jpeg[at + 7] = std::uint8_t(width >> 8);
            jpeg[at + 8] = std::uint8_t(width);
        }
    }
    return jpeg;
}

Bytes withoutPictureData(const Recipe &recipe, int width, int height, int scans)
{
    const Bytes jpeg = withDeclaredSize(makeJpeg(recipe), width, height);
    Bytes result;
    for (const SegmentPlace &place : headerSegments(jpeg)) {
        if (place.code == 0xC4 && recipe.scans != Scans::Progressive)
            continue;
        const auto from = jpeg.begin() + std::ptrdiff_t(place.offset);
        const Bytes segment(from, from + std::ptrdiff_t(place.length));
        for (int i = 0; i < (place.code == 0xDA ? scans : 1); ++i)
            result.insert(result.end(), segment.begin(), segment.end());
    }
    result.insert(result.end(), { 0xFF, 0xD9 });
    return result;
}

Bytes paddedWithComments(const Bytes &jpeg, std::size_t padding)
{
    // Whole comments of at most 65533 bytes each, half of the padding on either side.
    const std::size_t half = padding / 2;
    const std::size_t count = (half + 65532) / 65533;
    const Bytes comment(count == 0 ? 0 : half / count, 'c');
    Bytes padded = withSegments(jpeg, 0xFE, count, comment);
    const SegmentPlace scan = headerSegments(padded).back();
    const Bytes after = withSegments({ 0xFF, 0xD8 }, 0xFE, count, comment);
    padded.insert(
        padded.begin() + std::ptrdiff_t(scan.offset + scan.length), after.begin() + 2, after.end());
    return padded;
}

Bytes readFile(const std::string &path)
{
    return testing_support::readBytes(path);
}

void writeFile(const std::string &path, const Bytes &bytes)
{
    testing_support::writeBytes(path, bytes);
}

} // namespace testjpeg
