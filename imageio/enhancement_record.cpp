#include "imageio/enhancement_record.h"

#include "core/error.h"
#include "imageio/exif_thumbnail.h"
#include "imageio/xmp_packet.h"
#include "platform/file_reading.h"

#include "lumivor_version.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace imageio {

namespace {

constexpr char agentName[] = "Lumivor";
constexpr int app1Code = 0xE1;

// A standard XMP segment is APP1 that begins with this namespace and its terminating zero byte;
// the extended XMP segments begin with another one.
constexpr char xmpSignature[] = "http://ns.adobe.com/xap/1.0/";
constexpr std::size_t xmpSignatureBytes = sizeof xmpSignature;
constexpr std::size_t mostPacketBytes = mostSegmentBytes - xmpSignatureBytes;

constexpr char exifSignature[] = "Exif"; // and its zero byte

bool beginsWith(const std::uint8_t *data, std::size_t size, const char *signature, std::size_t n)
{
    return size >= n && std::memcmp(data, signature, n) == 0;
}

bool isStandardXmp(const JpegMarker &segment)
{
    return segment.code == app1Code
        && beginsWith(segment.data.data(), segment.data.size(), xmpSignature, xmpSignatureBytes);
}

bool isExif(const JpegMarker &segment)
{
    return segment.code == app1Code
        && beginsWith(
            segment.data.data(), segment.data.size(), exifSignature, sizeof exifSignature);
}

bool packetCarriesRecord(const std::uint8_t *packet, std::size_t size)
{
    const std::optional<XmpPacket> xmp = XmpPacket::parse(packet, size);
    return xmp && xmp->hasHistoryEntry(enhancementAction, std::string(agentName) + " ");
}

// Where the first standard XMP packet of a JPEG file lies, found among the segments before its
// first scan, or why it was not.
struct PacketSearch {
    enum Result { Found, Absent, Short } result = Absent;
    std::size_t begin = 0, end = 0; // the packet, when found
    std::size_t needed = 0; // when Short: bytes from the file's start that would tell more
};

// Walks the segments as the codec does: bytes before a marker's FF and the FF bytes that pad it
// are passed over. Stops at the first scan, the end of the picture, or a length that cannot be.
PacketSearch findStandardXmp(const std::vector<std::uint8_t> &bytes)
{
    const std::size_t size = bytes.size();
    if (size < 2)
        return { PacketSearch::Short, 0, 0, 2 };
    if (bytes[0] != 0xFF || bytes[1] != 0xD8)
        return {};
    std::size_t at = 2;
    for (;;) {
        while (at < size && bytes[at] != 0xFF)
            ++at;
        while (at < size && bytes[at] == 0xFF)
            ++at;
        if (at + 3 > size)
            return { PacketSearch::Short, 0, 0, at + 3 };
        const int code = bytes[at];
        if (code == 0xD8 || code == 0xD9 || code == 0xDA)
            return {};
        if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            ++at; // a stuffed zero or a marker without a length
            continue;
        }
        const std::size_t length = std::size_t(bytes[at + 1]) << 8 | bytes[at + 2];
        if (length < 2)
            return {};
        const std::size_t data = at + 3;
        const std::size_t end = at + 1 + length;
        if (code == app1Code) {
            const std::size_t known = std::min(end, size);
            const bool xmp = beginsWith(
                &bytes[data], known - data, xmpSignature, std::min(xmpSignatureBytes, end - data));
            if (xmp && end > size)
                return { PacketSearch::Short, 0, 0, end };
            if (xmp && end - data >= xmpSignatureBytes)
                return { PacketSearch::Found, data + xmpSignatureBytes, end, 0 };
        }
        at = end;
    }
}

// Past this, a file's header is not searched any further for its packet: it is what a photo's
// kept segments may amount to.
constexpr std::size_t mostHeaderBytes = mostKeptSegmentBytes;
constexpr std::size_t firstHeaderRead = 128 * 1024; // an Exif segment and a packet, nearly always

} // namespace

std::string enhancementAgent()
{
    return std::string(agentName) + " " + lumivorVersion;
}

RecordOutcome addEnhancementRecord(JpegMarkers &segments)
{
    const auto existing = std::find_if(segments.begin(), segments.end(), isStandardXmp);
    std::optional<XmpPacket> packet;
    if (existing == segments.end())
        packet.emplace();
    else
        packet = XmpPacket::parse(
            existing->data.data() + xmpSignatureBytes, existing->data.size() - xmpSignatureBytes);
    if (!packet
        || !packet->appendHistoryEntry(
            enhancementAction, enhancementAgent(), enhancementParameters))
        return RecordOutcome::PacketUnparsable;
    const std::optional<std::string> text = packet->serialize(mostPacketBytes);
    if (!text)
        return RecordOutcome::PacketTooLarge;

    std::vector<std::uint8_t> data(xmpSignature, xmpSignature + xmpSignatureBytes);
    data.insert(data.end(), text->begin(), text->end());
    if (existing != segments.end()) {
        existing->data = std::move(data);
    } else {
        auto exif = std::find_if(segments.begin(), segments.end(), isExif);
        const auto place = exif == segments.end() ? segments.begin() : exif + 1;
        segments.insert(place, JpegMarker { app1Code, std::move(data) });
    }
    return RecordOutcome::Written;
}

bool carriesEnhancementRecord(const std::vector<std::uint8_t> &bytes)
{
    const PacketSearch search = findStandardXmp(bytes);
    return search.result == PacketSearch::Found
        && packetCarriesRecord(bytes.data() + search.begin, search.end - search.begin);
}

bool fileCarriesEnhancementRecord(const std::string &path)
{
    try {
        std::size_t wanted = firstHeaderRead;
        for (;;) {
            const std::vector<std::uint8_t> bytes = platform::readFileStart(path, wanted);
            const PacketSearch search = findStandardXmp(bytes);
            if (search.result == PacketSearch::Found)
                return packetCarriesRecord(bytes.data() + search.begin, search.end - search.begin);
            // Shorter than asked for: the whole file was read.
            if (search.result == PacketSearch::Absent || bytes.size() < wanted
                || wanted == mostHeaderBytes)
                return false;
            wanted = std::min(std::max(search.needed, 2 * wanted), mostHeaderBytes);
        }
    } catch (const std::bad_alloc &) {
        throw core::EStreamError();
    }
}

} // namespace imageio
