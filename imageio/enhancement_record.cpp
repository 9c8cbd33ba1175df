#include "imageio/enhancement_record.h"

#include "core/error.h"
#include "imageio/exif_thumbnail.h"
#include "imageio/jpeg_marker_walk.h"
#include "imageio/xmp_history_text.h"
#include "imageio/xmp_packet.h"
#include "platform/file_reading.h"

#include "lumivor_version.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

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

std::string_view asText(const std::uint8_t *bytes, std::size_t size)
{
    return { reinterpret_cast<const char *>(bytes), size };
}

bool packetCarriesRecord(std::string_view packet)
{
    const std::optional<std::vector<HistoryEntry>> history = readHistoryText(packet);
    const std::string agent = std::string(agentName) + " ";
    return history
        && std::any_of(history->begin(), history->end(), [&agent](const HistoryEntry &entry) {
               return entry.action == enhancementAction
                   && entry.softwareAgent.compare(0, agent.size(), agent) == 0;
           });
}

HistoryEntry ourEntry()
{
    return { enhancementAction, enhancementAgent(), enhancementParameters };
}

// The photo's own packet with the record written into its text. The edit is read back, by our
// reading and, where it could read the packet before, by the XMP library that other programs
// read it with: each must find the history it found before and our entry after it. Otherwise
// the packet stays as it was.
std::pair<RecordOutcome, std::string> recordInPacket(std::string_view packet)
{
    std::optional<std::vector<HistoryEntry>> expected = readHistoryText(packet);
    const std::optional<std::string> text = insertHistoryEntry(packet, ourEntry());
    if (!expected || !text)
        return { RecordOutcome::PacketUnparsable, {} };
    expected->push_back(ourEntry());
    if (readHistoryText(*text) != expected)
        return { RecordOutcome::PacketUnparsable, {} };
    if (const std::optional<XmpPacket> before = XmpPacket::parse(packet)) {
        std::vector<HistoryEntry> libraryExpected = before->history();
        libraryExpected.push_back(ourEntry());
        const std::optional<XmpPacket> after = XmpPacket::parse(*text);
        if (!after || after->history() != libraryExpected)
            return { RecordOutcome::PacketUnparsable, {} };
    }
    if (text->size() > mostPacketBytes)
        return { RecordOutcome::PacketTooLarge, {} };
    return { RecordOutcome::Written, *text };
}

// A packet of its own for a photo that has none.
std::string newPacketWithRecord()
{
    XmpPacket packet;
    packet.appendHistoryEntry(ourEntry());
    return packet.serialize(); // under 3 KB
}

// Where the first standard XMP packet of a JPEG file lies, found among the segments before its
// first scan, or why it was not.
struct PacketSearch {
    enum Result { Found, Absent, Short } result = Absent;
    std::size_t begin = 0, end = 0; // the packet, when found
    std::size_t needed = 0; // when Short: bytes from the file's start that would tell more
};

// Walks the segments as the codec does. Stops at the first scan, the end of the picture, or a
// length that cannot be.
PacketSearch findStandardXmp(const std::vector<std::uint8_t> &bytes)
{
    const std::size_t size = bytes.size();
    if (size < 2)
        return { PacketSearch::Short, 0, 0, 2 };
    if (bytes[0] != markerByte || bytes[1] != 0xD8)
        return {};
    for (std::size_t at = 2;;) {
        const std::optional<MarkerPlace> marker = nextMarker(bytes.data(), size, at);
        if (!marker || size - marker->after < 2)
            return { PacketSearch::Short, 0, 0, (marker ? marker->after : size) + 2 };
        const int code = marker->code;
        if (code == 0xD8 || code == 0xD9 || code == 0xDA)
            return {};
        at = marker->after;
        if (code == 0x01) // a marker without a length
            continue;
        const std::size_t length = std::size_t(bytes[at]) << 8 | bytes[at + 1];
        if (length < 2)
            return {};
        const std::size_t data = at + 2;
        const std::size_t end = at + length;
        if (code == app1Code && end - data >= xmpSignatureBytes) {
            if (data + xmpSignatureBytes > size)
                return { PacketSearch::Short, 0, 0, data + xmpSignatureBytes };
            if (std::memcmp(bytes.data() + data, xmpSignature, xmpSignatureBytes) == 0) {
                if (end > size)
                    return { PacketSearch::Short, 0, 0, end };
                return { PacketSearch::Found, data + xmpSignatureBytes, end, 0 };
            }
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
    RecordOutcome outcome = RecordOutcome::Written;
    std::string text;
    if (existing == segments.end())
        text = newPacketWithRecord();
    else
        std::tie(outcome, text) = recordInPacket(asText(
            existing->data.data() + xmpSignatureBytes, existing->data.size() - xmpSignatureBytes));
    if (outcome != RecordOutcome::Written)
        return outcome;

    std::vector<std::uint8_t> data(xmpSignature, xmpSignature + xmpSignatureBytes);
    data.insert(data.end(), text.begin(), text.end());
    if (existing != segments.end()) {
        existing->data = std::move(data);
    } else {
        const auto exif = std::find_if(segments.begin(), segments.end(), isExif);
        const auto place = exif == segments.end() ? segments.begin() : exif + 1;
        segments.insert(place, JpegMarker { app1Code, std::move(data) });
    }
    return RecordOutcome::Written;
}

bool carriesEnhancementRecord(const std::vector<std::uint8_t> &bytes)
{
    const PacketSearch search = findStandardXmp(bytes);
    return search.result == PacketSearch::Found
        && packetCarriesRecord(asText(bytes.data() + search.begin, search.end - search.begin));
}

bool fileCarriesEnhancementRecord(const std::string &path)
{
    try {
        std::size_t wanted = firstHeaderRead;
        for (;;) {
            const std::vector<std::uint8_t> bytes = platform::readFileStart(path, wanted);
            const PacketSearch search = findStandardXmp(bytes);
            if (search.result == PacketSearch::Found)
                return packetCarriesRecord(
                    asText(bytes.data() + search.begin, search.end - search.begin));
            // Fewer bytes than asked for are the whole file.
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
