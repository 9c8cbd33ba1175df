#pragma once

#include "tests/support/jpeg_files.h"

#include <string>

// XMP packets and the APP1 segments that carry them, written by hand, independently of imageio.
namespace testjpeg {

// The APP1 segment of the standard XMP packet with this text.
Segment xmpSegment(const std::string &packet);

// A packet as photo editors leave it: wrapper, x:xmpmeta, one rdf:Description holding body
// (properties of the dc, xmp, xmpMM, stEvt, exif and tiff namespaces, declared on it), and
// padding lines of spaces before the closing wrapper.
std::string xmpPacket(const std::string &body, int paddingLines = 20);

} // namespace testjpeg
