#include "imageio/jpeg_error_number.h"

#include <algorithm>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace imageio {

namespace {

struct ClassicNumber {
    int code;
    int number;
};

// Keyed on the names, not on turbo's numbering, which has drifted from 6a's by inserted messages.
constexpr ClassicNumber classicNumbers[] = {
    { JERR_ARITH_NOTIMPL, 1 },
    { JERR_BAD_ALIGN_TYPE, 2 },
    { JERR_BAD_ALLOC_CHUNK, 3 },
    { JERR_BAD_BUFFER_MODE, 4 },
    { JERR_BAD_COMPONENT_ID, 5 },
    { JERR_BAD_DCTSIZE, 6 },
    // 6a raised JERR_DHT_COUNTS (28) for the same check on a Huffman table's counts.
    { JERR_BAD_HUFF_TABLE, 28 },
    { JERR_BAD_IN_COLORSPACE, 7 },
    { JERR_BAD_J_COLORSPACE, 8 },
    { JERR_BAD_LENGTH, 9 },
    { JERR_BAD_LIB_VERSION, 10 },
    { JERR_BAD_MCU_SIZE, 11 },
    { JERR_BAD_POOL_ID, 12 },
    { JERR_BAD_PRECISION, 13 },
    { JERR_BAD_PROGRESSION, 14 },
    { JERR_BAD_PROG_SCRIPT, 15 },
    { JERR_BAD_SAMPLING, 16 },
    { JERR_BAD_SCAN_SCRIPT, 17 },
    { JERR_BAD_STATE, 18 },
    { JERR_BAD_STRUCT_SIZE, 19 },
    { JERR_BAD_VIRTUAL_ACCESS, 20 },
    { JERR_BUFFER_SIZE, 21 },
    { JERR_CANT_SUSPEND, 22 },
    { JERR_CCIR601_NOTIMPL, 23 },
    { JERR_COMPONENT_COUNT, 24 },
    { JERR_CONVERSION_NOTIMPL, 25 },
    { JERR_DAC_INDEX, 26 },
    { JERR_DAC_VALUE, 27 },
    { JERR_DHT_INDEX, 29 },
    { JERR_DQT_INDEX, 30 },
    { JERR_EMPTY_IMAGE, 31 },
    { JERR_EMS_READ, 32 },
    { JERR_EMS_WRITE, 33 },
    { JERR_EOI_EXPECTED, 34 },
    { JERR_FILE_READ, 35 },
    { JERR_FILE_WRITE, 36 },
    { JERR_FRACT_SAMPLE_NOTIMPL, 37 },
    { JERR_HUFF_CLEN_OVERFLOW, 38 },
    { JERR_HUFF_MISSING_CODE, 39 },
    { JERR_IMAGE_TOO_BIG, 40 },
    { JERR_INPUT_EMPTY, 41 },
    { JERR_INPUT_EOF, 42 },
    { JERR_MISMATCHED_QUANT_TABLE, 43 },
    { JERR_MISSING_DATA, 44 },
    { JERR_MODE_CHANGE, 45 },
    { JERR_NOTIMPL, 46 },
    { JERR_NOT_COMPILED, 47 },
    { JERR_NO_BACKING_STORE, 48 },
    { JERR_NO_HUFF_TABLE, 49 },
    { JERR_NO_IMAGE, 50 },
    { JERR_NO_QUANT_TABLE, 51 },
    { JERR_NO_SOI, 52 },
    { JERR_OUT_OF_MEMORY, 53 },
    { JERR_QUANT_COMPONENTS, 54 },
    { JERR_QUANT_FEW_COLORS, 55 },
    { JERR_QUANT_MANY_COLORS, 56 },
    { JERR_SOF_DUPLICATE, 57 },
    { JERR_SOF_NO_SOS, 58 },
    { JERR_SOF_UNSUPPORTED, 59 },
    { JERR_SOI_DUPLICATE, 60 },
    { JERR_SOS_NO_SOF, 61 },
    { JERR_TFILE_CREATE, 62 },
    { JERR_TFILE_READ, 63 },
    { JERR_TFILE_SEEK, 64 },
    { JERR_TFILE_WRITE, 65 },
    { JERR_TOO_LITTLE_DATA, 66 },
    { JERR_UNKNOWN_MARKER, 67 },
    { JERR_VIRTUAL_BUG, 68 },
    { JERR_WIDTH_OVERFLOW, 69 },
    { JERR_XMS_READ, 70 },
    { JERR_XMS_WRITE, 71 },
    // The warnings keep their place after 6a's trace messages, so that a warning the program
    // treats as an error (a file that ends early) has the number 6a gave it.
    { JWRN_ADOBE_XFORM, 110 },
    { JWRN_BOGUS_PROGRESSION, 111 },
    { JWRN_EXTRANEOUS_DATA, 112 },
    { JWRN_HIT_MARKER, 113 },
    { JWRN_HUFF_BAD_CODE, 114 },
    { JWRN_JFIF_MAJOR, 115 },
    { JWRN_JPEG_EOF, 116 },
    { JWRN_MUST_RESYNC, 117 },
    { JWRN_NOT_SEQUENTIAL, 118 },
    { JWRN_TOO_MUCH_DATA, 119 },
};

// Messages that 6a never had (JERR_BAD_DCT_COEF, JERR_BAD_CROP_SPEC, ...) fall through to this,
// so their numbers can never be mistaken for a 6a message.
constexpr int newMessageBase = 1000;

struct PlainText {
    int code;
    const char *text;
};

// Messages whose values carry their meaning ("Maximum supported image dimension is %u pixels",
// "Insufficient memory (case %d)"), said without them.
constexpr PlainText plainTexts[] = {
    { JERR_IMAGE_TOO_BIG, "Image too big" },
    { JERR_OUT_OF_MEMORY, "Insufficient memory" },
};

int msgCodeOf(int classicNumber)
{
    for (const ClassicNumber &entry : classicNumbers) {
        if (entry.number == classicNumber)
            return entry.code;
    }
    return classicNumber >= newMessageBase ? classicNumber - newMessageBase : -1;
}

// A message of the table without its printf conversions: what comes before ": " where the values
// follow it ("Not a JPEG file: starts with 0x%02x 0x%02x"), otherwise the words around them, each
// conversion going with its "0x" or "Name=" lead ("Bogus DAC value 0x%x", "Ss=%d").
std::string withoutValues(const char *message)
{
    std::string text = message;
    const std::size_t firstValue = text.find('%');
    if (firstValue == std::string::npos)
        return text;
    const std::size_t colon = text.rfind(": ", firstValue);
    if (colon != std::string::npos)
        return text.substr(0, colon);
    std::string plain;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        if (word.find('%') == std::string::npos)
            plain += (plain.empty() ? "" : " ") + word;
        at = end + 1;
    }
    return plain;
}

} // namespace

int classicJpegErrorNumber(int msgCode)
{
    for (const ClassicNumber &entry : classicNumbers) {
        if (entry.code == msgCode)
            return entry.number;
    }
    return newMessageBase + msgCode;
}

std::string jpegErrorReason(int classicNumber)
{
    const int code = msgCodeOf(classicNumber);
    for (const PlainText &plain : plainTexts)
        if (plain.code == code)
            return plain.text;
    jpeg_error_mgr errors {};
    jpeg_std_error(&errors);
    if (code <= 0 || code > errors.last_jpeg_message)
        return std::string();
    return withoutValues(errors.jpeg_message_table[code]);
}

} // namespace imageio
