#include "imageio/enhancement_record.h"
#include "imageio/jpeg_image.h"
#include "imageio/xml_outline.h"
#include "imageio/xmp_packet.h"
#include "platform/file_errors.h"

#include "tests/support/jpeg_files.h"
#include "tests/support/xmp_packets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ostream>

using imageio::HistoryEntry;
using imageio::RecordOutcome;
using imageio::TJPEGImage;
using namespace testjpeg;

namespace {

const char xmpSignature[] = "http://ns.adobe.com/xap/1.0/";

// A photo carrying these segments, enhanced as the program saves it: picture taken out and put
// back, the record asked for.
Bytes enhanced(const Bytes &photo, RecordOutcome *outcome = nullptr)
{
    TJPEGImage image;
    image.LoadFromBytes(photo);
    image::TBitmap picture;
    image.CopyToBitmap(picture);
    image.CopyFromBitmap(picture);
    image.RecordEnhancement = true;
    const Bytes saved = image.SaveToBytes();
    if (outcome)
        *outcome = image.EnhancementRecord();
    return saved;
}

Bytes photoWith(const std::vector<Segment> &segments)
{
    Recipe recipe;
    recipe.segments = segments;
    return makeJpeg(recipe);
}

// The APPn and COM segments of a file in order, as (code, data).
std::vector<Segment> segmentsOf(const Bytes &file)
{
    std::vector<Segment> found;
    for (const SegmentPlace &place : headerSegments(file))
        if (place.code > 0xE0)
            found.push_back({ place.code,
                Bytes(file.begin() + long(place.offset + 4),
                    file.begin() + long(place.offset + place.length)) });
    return found;
}

bool isXmp(const Segment &segment)
{
    return segment.code == 0xE1 && segment.data.size() >= sizeof xmpSignature
        && std::memcmp(segment.data.data(), xmpSignature, sizeof xmpSignature) == 0;
}

std::string packetOf(const Bytes &file)
{
    for (const Segment &segment : segmentsOf(file))
        if (isXmp(segment))
            return std::string(segment.data.begin() + sizeof xmpSignature, segment.data.end());
    return {};
}

std::vector<HistoryEntry> libraryHistory(const std::string &packet)
{
    const auto xmp = imageio::XmpPacket::parse(packet);
    return xmp ? xmp->history() : std::vector<HistoryEntry> {};
}

const HistoryEntry ours { "edited", imageio::enhancementAgent(), imageio::enhancementParameters };

Segment exif()
{
    return { 0xE1, { 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8 } };
}

// A new packet goes right after the first Exif segment, or first of all; every other segment
// keeps its place, and the library reads our entry from it.
TEST(EnhancementRecord, NewPacketGoesRightAfterExifOrFirst)
{
    const Segment comment { 0xFE, { 'h', 'i' } };
    const Segment profile { 0xE2, Bytes(20, 7) };
    const Segment otherApp1 { 0xE1, Bytes(40, 'x') };
    struct Case {
        std::vector<Segment> segments;
        std::size_t packetAt;
    };
    const Case cases[] = { { {}, 0 }, { { comment, profile }, 0 },
        { { profile, exif(), comment, exif() }, 2 }, { { otherApp1, exif() }, 2 } };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        RecordOutcome outcome {};
        const Bytes saved = enhanced(photoWith(c.segments), &outcome);
        EXPECT_EQ(outcome, RecordOutcome::Written);
        std::vector<Segment> found = segmentsOf(saved);
        ASSERT_EQ(found.size(), c.segments.size() + 1);
        ASSERT_TRUE(isXmp(found[c.packetAt]));
        EXPECT_EQ(libraryHistory(packetOf(saved)), std::vector<HistoryEntry> { ours });
        found.erase(found.begin() + long(c.packetAt));
        EXPECT_TRUE(std::equal(found.begin(), found.end(), c.segments.begin(), c.segments.end(),
            [](const Segment &a, const Segment &b) {
                return a.code == b.code && a.data == b.data;
            }));
        EXPECT_TRUE(imageio::carriesEnhancementRecord(saved));
    }
}

std::string withoutSpace(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return std::isspace(c); }),
        text.end());
    return text;
}

// Whether after is before with one piece of text inserted, apart from white space and the slash
// of an empty-element tag that the insertion opens.
bool isOneInsertion(const std::string &before, const std::string &after)
{
    const std::string a = withoutSpace(before), b = withoutSpace(after);
    const std::size_t prefix = std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin();
    const std::size_t suffix = std::mismatch(a.rbegin(), a.rend(), b.rbegin()).first - a.rbegin();
    return b.size() > a.size() && prefix + suffix + 1 >= a.size();
}

struct PacketCase {
    const char *name;
    std::string packet;
    bool libraryReadsIt;
    std::vector<HistoryEntry> history; // before ours
};
void PrintTo(const PacketCase &c, std::ostream *os)
{
    *os << c.name;
}

class ExistingPacket : public ::testing::TestWithParam<PacketCase>
{
};

// The photo's own packet keeps every property as written; only our entry is added, after the
// history it had, and padding makes room for it. The XMP library would rewrite the aliases and
// the second language of the title, and refuses the property given twice.
TEST_P(ExistingPacket, KeepsEveryPropertyAsWrittenAndGainsTheEntry)
{
    const PacketCase &c = GetParam();
    RecordOutcome outcome {};
    ::testing::internal::CaptureStderr(); // where the library prints what it refuses
    const Bytes saved = enhanced(photoWith({ exif(), xmpSegment(c.packet) }), &outcome);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(outcome, RecordOutcome::Written);
    const std::string packet = packetOf(saved);
    EXPECT_TRUE(isOneInsertion(c.packet, packet)) << packet;
    std::vector<HistoryEntry> expected = c.history;
    expected.push_back(ours);
    if (c.libraryReadsIt) {
        EXPECT_EQ(libraryHistory(packet), expected);
    }
    if (c.packet.find(std::string(99, ' ')) != std::string::npos) {
        EXPECT_EQ(packet.size(), c.packet.size()) << "the padding was not taken up";
    }
    EXPECT_TRUE(imageio::carriesEnhancementRecord(saved));
}

INSTANTIATE_TEST_SUITE_P(Packets, ExistingPacket,
    ::testing::Values(
        PacketCase { "AliasesAndTwoLanguages",
            xmpPacket("   <tiff:Software>Editor 2</tiff:Software>\n"
                      "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Dune</rdf:li>"
                      "<rdf:li xml:lang=\"de\">D\xC3\xBCne</rdf:li></rdf:Alt></dc:title>"),
            true, {} },
        PacketCase { "HistoryInAttributesAndElements",
            xmpPacket(
                "   <xmpMM:History><rdf:Seq>\n"
                "    <rdf:li stEvt:action=\"created\" stEvt:softwareAgent=\"Cam &amp; Co\"/>\n"
                "    <rdf:li rdf:parseType=\"Resource\"><stEvt:action>saved</stEvt:action>"
                "</rdf:li>\n   </rdf:Seq></xmpMM:History>"),
            true, { { "created", "Cam & Co", "" }, { "saved", "", "" } } },
        PacketCase { "EmptyHistoryWrittenShort",
            xmpPacket("<xmpMM:History><rdf:Seq/></xmpMM:History>", 0), true, {} },
        PacketCase { "PropertyGivenTwice",
            xmpPacket("<exif:Make>A</exif:Make><exif:Make>A</exif:Make>"), false, {} },
        PacketCase { "BareRdfOtherPrefixesNoPadding",
            "<R:RDF xmlns:R='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><R:Description "
            "R:about='uuid:faf5bdd5-ba3d-11da-ad31-d33d75182f1b' xmlns:m='http://purl.org/dc/"
            "elements/1.1/' m:format='image/jpeg'/><!-- </R:RDF> --></R:RDF>",
            true, {} },
        PacketCase { "EmptyRdf",
            "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'/>"
            "</x:xmpmeta>",
            true, {} }),
    [](const auto &info) { return std::string(info.param.name); });

// A packet that fills its segment but for less room than our entry needs.
std::string nearlyFullPacket()
{
    const std::size_t room = 65533 - sizeof xmpSignature - 100;
    const auto packet = [](std::size_t n) {
        return xmpPacket("<dc:format>" + std::string(n, 'j') + "</dc:format>", 0);
    };
    return packet(room - packet(0).size());
}

struct UnusableCase {
    const char *name;
    std::string packet;
    RecordOutcome outcome;
};
void PrintTo(const UnusableCase &c, std::ostream *os)
{
    *os << c.name;
}

class UnusablePacket : public ::testing::TestWithParam<UnusableCase>
{
};

// A packet the record cannot go into is written byte for byte as it was, and so is the rest;
// the photo is still enhanced, and the outcome tells why the record is missing.
TEST_P(UnusablePacket, IsKeptByteForByteAndSaysWhy)
{
    const UnusableCase &c = GetParam();
    const std::vector<Segment> segments = { exif(), xmpSegment(c.packet), { 0xFE, { 'x' } } };
    RecordOutcome outcome {};
    const Bytes saved = enhanced(photoWith(segments), &outcome);
    EXPECT_EQ(outcome, c.outcome);
    const std::vector<Segment> found = segmentsOf(saved);
    ASSERT_EQ(found.size(), segments.size());
    EXPECT_EQ(found[1].data, segments[1].data);
    EXPECT_EQ(readHeader(saved).quantTables, standardQuantTables(90));
    EXPECT_FALSE(imageio::carriesEnhancementRecord(saved));
}

INSTANTIATE_TEST_SUITE_P(Packets, UnusablePacket,
    ::testing::Values(UnusableCase { "NotWellFormed", xmpPacket("<dc:format>image/jpeg</dc:formt>"),
                          RecordOutcome::PacketUnparsable },
        UnusableCase {
            "NoRdf", "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>", RecordOutcome::PacketUnparsable },
        UnusableCase { "HistoryNotAList", xmpPacket("<xmpMM:History>none</xmpMM:History>"),
            RecordOutcome::PacketUnparsable },
        UnusableCase { "DocumentType", "<!DOCTYPE x [<!ENTITY a 'b'>]>" + xmpPacket(""),
            RecordOutcome::PacketUnparsable },
        UnusableCase { "FullSegment", nearlyFullPacket(), RecordOutcome::PacketTooLarge }),
    [](const auto &info) { return std::string(info.param.name); });

// The same photo enhanced twice gives the same bytes; the result enhanced again (as --again
// does) gets a second entry.
TEST(EnhancementRecord, SameBytesEachTimeAndASecondEntryWhenEnhancedAgain)
{
    const Bytes photo = photoWith({ exif() });
    const Bytes once = enhanced(photo);
    EXPECT_EQ(enhanced(photo), once);
    EXPECT_EQ(libraryHistory(packetOf(enhanced(once))), std::vector<HistoryEntry>({ ours, ours }));
}

// Our entry is found however the packet writes it and by whichever version, and only in the
// first standard packet of the header; from bytes and from a file alike.
TEST(EnhancementRecord, FoundInTheFirstStandardPacketOnly)
{
    const auto history = [](const std::string &items) {
        return xmpSegment(
            xmpPacket("<xmpMM:History><rdf:Seq>" + items + "</rdf:Seq></xmpMM:History>"));
    };
    const Segment attributes = history("<rdf:li stEvt:action='saved'/><rdf:li "
                                       "stEvt:action='edited' stEvt:softwareAgent='Lumivor 7.2'/>");
    const Segment described = history("<rdf:li><rdf:Description stEvt:action='edited'>"
                                      "<stEvt:softwareAgent>Lumivor 0.0.1</stEvt:softwareAgent>"
                                      "</rdf:Description></rdf:li>");
    const Segment otherAgent
        = history("<rdf:li stEvt:action='edited' stEvt:softwareAgent='Lumivorous 1'/>");
    const Segment otherAction
        = history("<rdf:li stEvt:action='saved' stEvt:softwareAgent='Lumivor 0.1'/>");
    Segment inExtension = attributes;
    std::copy_n("http://ns.adobe.com/xmp/extension/", 28, inExtension.data.begin());
    const Bytes photo = photoWith({ attributes });
    struct Case {
        const char *name;
        Bytes file;
        bool carries;
    };
    const Case cases[] = {
        { "attributes", photo, true },
        { "in a description", photoWith({ described }), true },
        { "after 200 KB of comments", withSegments(photo, 0xFE, 4, Bytes(60000, 'c')), true },
        { "other agent", photoWith({ otherAgent }), false },
        { "other action", photoWith({ otherAction }), false },
        { "second packet", photoWith({ xmpSegment(xmpPacket("")), attributes }), false },
        { "extension only", photoWith({ inExtension }), false },
        { "cut in the packet", Bytes(photo.begin(), photo.begin() + 200), false },
        { "not a JPEG file", Bytes(photo.begin() + 2, photo.end()), false },
    };
    TempFolder folder;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(imageio::carriesEnhancementRecord(c.file), c.carries);
        writeFile(folder.path("photo.jpg"), c.file);
        EXPECT_EQ(imageio::fileCarriesEnhancementRecord(folder.path("photo.jpg")), c.carries);
    }
    EXPECT_THROW(
        imageio::fileCarriesEnhancementRecord(folder.path("missing.jpg")), platform::EFOpenError);
}

// What a shell command printed; empty when it could not run.
std::string commandOutput(const std::string &command)
{
    std::string output;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// As exiftool, an independent reader, sees it: every XMP tag keeps its group and value, and the
// history gains our entry after the one it had. The tags are those the XMP library would rewrite.
TEST(EnhancementRecord, ExiftoolSeesEveryTagAsItWasAndTheEntryAfterTheHistory)
{
    TempFolder folder;
    const std::string tagged = folder.path("tagged.jpg"), out = folder.path("out.jpg");
    writeFile(tagged, photoWith({ exif() }));
    const std::string tagging
        = "exiftool -q -overwrite_original -XMP-dc:Title=Dune "
          "'-XMP-dc:Title-de=D\xC3\xBCne' -XMP-dc:Subject=sand "
          "-XMP-dc:Subject=grass '-XMP-tiff:Software=Editor 2' "
          "-XMP-tiff:Artist=Me '-XMP-exif:DateTimeDigitized=2019:06:01 10:00' "
          "-XMP-xmpMM:DocumentID=uuid:faf5bdd5-ba3d-11da-ad31-d33d75182f1b "
          "'-XMP-xmpMM:History={Action=created,SoftwareAgent=Camera 1.0}' ";
    ASSERT_EQ(commandOutput(tagging + tagged + " && echo tagged"), "tagged\n")
        << "exiftool (libimage-exiftool-perl) is needed";
    writeFile(out, enhanced(readFile(tagged)));

    const auto tags = [](const std::string &path) {
        return commandOutput("exiftool -a -G1 -s -XMP:all " + path + " | grep -v xmpMM.*History");
    };
    EXPECT_EQ(tags(out), tags(tagged));
    EXPECT_EQ(commandOutput(
                  "exiftool -s3 -XMP-xmpMM:HistoryAction -XMP-xmpMM:HistorySoftwareAgent " + out),
        "created, edited\nCamera 1.0, " + imageio::enhancementAgent() + "\n");
}

// Markup the outline must step over without taking it for elements, and markup it must refuse.
TEST(XmlOutline, StepsOverWhatHoldsNoElementsAndRefusesBrokenNesting)
{
    struct Case {
        const char *text;
        int elements; // -1: refused
    };
    const Case cases[] = {
        { "<a x='>' y=\"</a>\"><!-- <b> --><![CDATA[<c>]]><?pi <d>?><e/></a>", 2 },
        { "<p:a xmlns:p='u'><p:b/></p:a>", 2 },
        { "<a><b></a></b>", -1 },
        { "<q:a/>", -1 },
        { "<a x='1>", -1 },
        { "<a><!-- open", -1 },
        { "<a>", -1 },
    };
    for (const Case &c : cases) {
        const auto outline = imageio::outlineXml(c.text);
        EXPECT_EQ(outline ? int(outline->size()) : -1, c.elements) << c.text;
    }
}

} // namespace
