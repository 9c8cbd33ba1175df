#include "chooser/path_text.h"

namespace chooser {

namespace {

constexpr char16_t escapeBase = 0xDC00;
constexpr char32_t replacement = 0xFFFD;

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at bytes[at] (1 to 4) and its code point, or 0
// when the bytes there are no such sequence: a stray continuation byte, an overlong form, a
// surrogate, a code point above U+10FFFF or a sequence cut short.
int decodeOne(const std::string &bytes, std::size_t at, char32_t &codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    int length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            secondLow = 0xA0; // shorter forms are overlong
        else if (lead == 0xED)
            secondHigh = 0x9F; // U+D800..U+DFFF are not characters
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            secondLow = 0x90;
        else if (lead == 0xF4)
            secondHigh = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() - at < std::size_t(length) || byte(1) < secondLow || byte(1) > secondHigh)
        return 0;
    codePoint = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(byte(i)))
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    return length;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

QString pathText(const std::string &bytes)
{
    QString text;
    text.reserve(int(bytes.size()));
    std::size_t at = 0;
    while (at < bytes.size()) {
        char32_t codePoint = 0;
        const int length = decodeOne(bytes, at, codePoint);
        if (length == 0) {
            // Only the one byte is escaped: what follows may well be valid again.
            text += QChar(char16_t(escapeBase + static_cast<unsigned char>(bytes[at])));
            ++at;
            continue;
        }
        if (codePoint < 0x10000) {
            text += QChar(char16_t(codePoint));
        } else {
            text += QChar(QChar::highSurrogate(codePoint));
            text += QChar(QChar::lowSurrogate(codePoint));
        }
        at += std::size_t(length);
    }
    return text;
}

std::string pathBytes(const QString &text)
{
    std::string bytes;
    bytes.reserve(std::size_t(text.size()));
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF) {
            bytes += char(unit - escapeBase);
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(bytes, replacement);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

} // namespace chooser
