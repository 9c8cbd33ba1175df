#include "tests/support/xmp_packets.h"

namespace testjpeg {

Segment xmpSegment(const std::string &packet)
{
    const std::string signature("http://ns.adobe.com/xap/1.0/", 29); // with its zero byte
    Segment segment { 0xE1, Bytes(signature.begin(), signature.end()) };
    segment.data.insert(segment.data.end(), packet.begin(), packet.end());
    return segment;
}

std::string xmpPacket(const std::string &body, int paddingLines)
{
    std::string packet = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                         " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                         "  <rdf:Description rdf:about=\"\"\n"
                         "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
                         "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
                         "    xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\"\n"
                         "    xmlns:stEvt=\"http://ns.adobe.com/xap/1.0/sType/ResourceEvent#\"\n"
                         "    xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"\n"
                         "    xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\">\n"
        + body
        + "\n  </rdf:Description>\n"
          " </rdf:RDF>\n"
          "</x:xmpmeta>\n";
    for (int i = 0; i < paddingLines; ++i)
        packet += std::string(99, ' ') + "\n";
    return packet + "<?xpacket end=\"w\"?>";
}

} // namespace testjpeg
