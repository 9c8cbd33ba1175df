#pragma once

#include "imageio/jpeg_markers.h"

#include <cstdint>
#include <string>
#include <vector>

namespace imageio {

// Lumivor's record in a photo it has enhanced: one entry of the photo's XMP edit history
// (xmpMM:History) with action "edited", software agent "Lumivor <version>" and these parameters.
// It has no time stamp, so the same photo enhanced in two runs comes out byte for byte the same.
constexpr char enhancementAction[] = "edited";
constexpr char enhancementParameters[] = "colour cast removed, contrast stretched, sharpened";

// "Lumivor <version>" of this build.
std::string enhancementAgent();

// What became of the record that a save was asked to add.
enum class RecordOutcome {
    NotAsked, // none asked for, or the loaded bytes were written as they were
    Written,
    // The photo's packet with the record would pass the 65,533 bytes of one segment; the
    // packet is written as it was.
    PacketTooLarge,
    // The photo's packet cannot be parsed, or its history is not a list; the packet is written
    // byte for byte as it was.
    PacketUnparsable,
};

// Adds the record to the segments a photo is saved with (APPn and comments, in file order). It
// goes into the first standard XMP packet (APP1 "http://ns.adobe.com/xap/1.0/"), which keeps
// every other property, even when it holds the record already (a photo enhanced again gets a
// second entry); without one, into a new packet in its own APP1 segment right after the first
// Exif segment, or first of all without Exif. Extended XMP is never touched. The segments change
// only when the outcome is Written. Throws std::bad_alloc when memory runs out.
RecordOutcome addEnhancementRecord(JpegMarkers &segments);

// Whether the JPEG file whose bytes, or first bytes, are given carries the record of any version
// of Lumivor in its standard XMP packet. Only the segments before the first scan are read,
// nothing is decoded. False for bytes that are not a JPEG file, that end before the packet does,
// or whose packet cannot be parsed. Throws std::bad_alloc when memory runs out.
bool carriesEnhancementRecord(const std::vector<std::uint8_t> &bytes);

// The same for the JPEG file at path (a byte string, used as it is), reading it only as far as
// its standard XMP packet or its first scan. Throws EFOpenError when it cannot be opened or is not
// a regular file, EReadError when it cannot be read, EStreamError when memory runs out.
bool fileCarriesEnhancementRecord(const std::string &path);

} // namespace imageio
