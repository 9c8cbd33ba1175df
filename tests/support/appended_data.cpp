#include "tests/support/appended_data.h"

#include "tests/support/exif_segments.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace testjpeg {

namespace {

constexpr std::size_t mpHeaderInData = 4; // after "MPF\0"
constexpr std::size_t indexAt = 8; // the MP index directory, right after the MP header
constexpr std::size_t indexEntries = 3; // version, number of images, MP entries
constexpr std::size_t entriesAt = indexAt + 2 + 12 * indexEntries + 4;
constexpr std::size_t entryBytes = 16;

bool bigEndianMpf(const Bytes &file)
{
    return file[mpfHeaderAt(file)] == 'M';
}

Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

void append(Bytes &to, const Bytes &bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::uint32_t readLittle(const Bytes &data, std::size_t at, int bytes)
{
    return tiffNumber(data, at, bytes, false);
}

} // namespace

Bytes mpfSegment(std::size_t pictures, bool bigEndian)
{
    Bytes data = text(std::string("MPF") + '\0');
    data.resize(mpHeaderInData + entriesAt + entryBytes * pictures, 0);
    const auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
        putTiffNumber(data, mpHeaderInData + at, value, bytes, bigEndian);
    };
    std::copy_n(bigEndian ? "MM\0*" : "II*\0", 4, data.begin() + mpHeaderInData);
    put(4, indexAt, 4);
    put(indexAt, indexEntries, 2);
    const std::size_t entry = indexAt + 2;
    put(entry, 0xB000, 2); // MPFVersion, UNDEFINED, "0100"
    put(entry + 2, 7, 2);
    put(entry + 4, 4, 4);
    std::copy_n("0100", 4, data.begin() + std::ptrdiff_t(mpHeaderInData + entry + 8));
    put(entry + 12, 0xB001, 2); // NumberOfImages, LONG
    put(entry + 14, 4, 2);
    put(entry + 16, 1, 4);
    put(entry + 20, std::uint32_t(pictures), 4);
    put(entry + 24, 0xB002, 2); // MPEntry, UNDEFINED, 16 bytes per picture
    put(entry + 26, 7, 2);
    put(entry + 28, std::uint32_t(entryBytes * pictures), 4);
    put(entry + 32, entriesAt, 4);
    for (std::size_t i = 0; i < pictures; ++i) // attributes: a primary, then large thumbnails
        put(entriesAt + i * entryBytes, i == 0 ? 0x20030000 : 0x00010001, 4);
    return data;
}

std::size_t mpfHeaderAt(const Bytes &file)
{
    for (const SegmentPlace &place : headerSegments(file))
        if (place.code == 0xE2 && place.length >= 8
            && std::memcmp(&file[place.offset + 4], "MPF", 4) == 0)
            return place.offset + 4 + mpHeaderInData;
    return 0;
}

std::size_t mpfEntryAt(const Bytes &file, std::size_t i)
{
    return mpfHeaderAt(file) + entriesAt + i * entryBytes;
}

Bytes withMpfPictures(const Bytes &main, const std::vector<Bytes> &later, const Bytes &trailer)
{
    Bytes file = main;
    const bool big = bigEndianMpf(file);
    const std::size_t header = mpfHeaderAt(file);
    putTiffNumber(file, mpfEntryAt(file, 0) + 4, std::uint32_t(main.size()), 4, big);
    for (std::size_t i = 0; i < later.size(); ++i) {
        putTiffNumber(file, mpfEntryAt(file, i + 1) + 4, std::uint32_t(later[i].size()), 4, big);
        putTiffNumber(
            file, mpfEntryAt(file, i + 1) + 8, std::uint32_t(file.size() - header), 4, big);
        append(file, later[i]);
    }
    append(file, trailer);
    return file;
}

std::optional<std::vector<Bytes>> mpfPictures(const Bytes &file)
{
    const std::size_t header = mpfHeaderAt(file);
    if (header == 0)
        return std::nullopt;
    const bool big = bigEndianMpf(file);
    const std::size_t count = tiffNumber(file, header + indexAt + 2 + 12 + 8, 4, big);
    std::vector<Bytes> pictures;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = tiffNumber(file, mpfEntryAt(file, i) + 4, 4, big);
        const std::size_t offset = tiffNumber(file, mpfEntryAt(file, i) + 8, 4, big);
        const std::size_t at = i == 0 ? 0 : header + offset;
        pictures.push_back(at <= file.size() && size <= file.size() - at
                ? Bytes(file.begin() + std::ptrdiff_t(at), file.begin() + std::ptrdiff_t(at + size))
                : Bytes());
    }
    return pictures;
}

Bytes videoStandIn(std::size_t size)
{
    Bytes video = { 0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'm', 'p', '4', '2' };
    // Every byte value, markers such as FF D8 and FF D9 among them.
    for (std::size_t i = video.size(); i < size; ++i)
        video.push_back(std::uint8_t(i * 7));
    video.resize(size);
    return video;
}

Bytes motionPhotoXmp(std::size_t videoSize)
{
    const std::string length = std::to_string(videoSize);
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0'
        + "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
          "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
          "xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\" "
          "xmlns:Container=\"http://ns.google.com/photos/1.0/container/\" "
          "xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\" "
          "GCamera:MotionPhoto=\"1\" GCamera:MotionPhotoVersion=\"1\" "
          "GCamera:MicroVideo=\"1\" GCamera:MicroVideoOffset=\""
        + length
        + "\"><Container:Directory><rdf:Seq>"
          "<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Mime=\"image/jpeg\" "
          "Item:Semantic=\"Primary\" Item:Length=\"0\" Item:Padding=\"0\"/></rdf:li>"
          "<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Mime=\"video/mp4\" "
          "Item:Semantic=\"MotionPhoto\" Item:Length=\""
        + length
        + "\"/></rdf:li></rdf:Seq></Container:Directory></rdf:Description></rdf:RDF>"
          "</x:xmpmeta>";
    return text(xmp);
}

std::size_t microVideoOffset(const Bytes &file)
{
    const std::string key = "GCamera:MicroVideoOffset=\"";
    const auto at = std::search(file.begin(), file.end(), key.begin(), key.end());
    return at == file.end() ? 0
                            : std::stoul(std::string(at + std::ptrdiff_t(key.size()),
                                at + std::ptrdiff_t(key.size()) + 20));
}

Bytes samsungTrailer(const Bytes &video)
{
    const Bytes name = text("MotionPhoto_Data");
    Bytes trailer = { 0, 0, 0x30, 0x0A }; // padding, type 0x0A30
    Bytes field(4, 0);
    putTiffNumber(field, 0, std::uint32_t(name.size()), 4, false);
    append(trailer, field);
    append(trailer, name);
    append(trailer, video);
    const std::size_t blockSize = trailer.size();

    Bytes directory = text("SEFH");
    for (std::uint32_t value : { 106u, 1u }) { // version, one entry
        putTiffNumber(field, 0, value, 4, false);
        append(directory, field);
    }
    append(directory, { 0, 0, 0x30, 0x0A });
    for (std::uint32_t value : { std::uint32_t(blockSize), std::uint32_t(blockSize) }) {
        putTiffNumber(field, 0, value, 4, false); // back from "SEFH" to the block; its size
        append(directory, field);
    }
    append(trailer, directory);
    putTiffNumber(field, 0, std::uint32_t(directory.size()), 4, false);
    append(trailer, field);
    append(trailer, text("SEFT"));
    return trailer;
}

Bytes samsungVideo(const Bytes &file)
{
    const std::size_t end = file.size();
    if (end < 8 || std::memcmp(&file[end - 4], "SEFT", 4) != 0)
        return {};
    const std::size_t directory = end - 8 - readLittle(file, end - 8, 4);
    if (std::memcmp(&file[directory], "SEFH", 4) != 0 || readLittle(file, directory + 8, 4) != 1)
        return {};
    const std::size_t block = directory - readLittle(file, directory + 16, 4);
    const std::size_t size = readLittle(file, directory + 20, 4);
    const std::size_t data = block + 8 + readLittle(file, block + 4, 4);
    if (std::memcmp(&file[block + 8], "MotionPhoto_Data", 16) != 0)
        return {};
    return Bytes(file.begin() + std::ptrdiff_t(data), file.begin() + std::ptrdiff_t(block + size));
}

} // namespace testjpeg
