#pragma once

#include "imageio/xmp_packet.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The edit history of an XMP packet read from and written into the packet's own text. Writing
// this way keeps every other byte, so properties keep the form and values they were written with,
// which the XMP library would not all keep if it wrote the packet anew; reading this way also
// takes packets that the library refuses for a fault elsewhere in them, such as a property given
// twice, as some editors write them.
namespace imageio {

// The entries of the packet's xmpMM:History list in order, their stEvt fields read whether
// written as attributes, as elements or in an rdf:Description; none without a history. Nothing
// when the text has no rdf:RDF, a history without a list, or markup that cannot be followed (see
// outlineXml).
std::optional<std::vector<HistoryEntry>> readHistoryText(std::string_view packet);

// The packet text with entry added at the end of its xmpMM:History list, or, without a history,
// in a new rdf:Description (of the packet's rdf:about) at the end of its rdf:RDF. Every other byte
// stays, apart from padding before the closing <?xpacket?> that the addition takes up. Nothing
// when readHistoryText would give nothing.
std::optional<std::string> insertHistoryEntry(std::string_view packet, const HistoryEntry &entry);

} // namespace imageio
