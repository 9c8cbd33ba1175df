#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imageio {

// One entry of an XMP edit history (xmpMM:History, a list of stEvt resource events), with the
// fields we write and read; a field the entry lacks is empty.
struct HistoryEntry {
    std::string action, softwareAgent, parameters;
    bool operator==(const HistoryEntry &other) const
    {
        return action == other.action && softwareAgent == other.softwareAgent
            && parameters == other.parameters;
    }
};

// One XMP packet as the XMP library (Exempi) holds it: its properties, not its text. The library
// reads packets strictly (a property given twice, for one, is an error) and normalises some
// properties as it reads them, so a packet it writes out is not always the one it read. Safe to
// use from several threads, one object per thread. Running out of memory throws std::bad_alloc.
class XmpPacket
{
public:
    // A packet without properties.
    XmpPacket();
    ~XmpPacket();
    XmpPacket(XmpPacket &&) noexcept;
    XmpPacket &operator=(XmpPacket &&) noexcept;

    // The packet in text (UTF-8, or UTF-16/32 with its byte order), with or without its
    // <?xpacket?> wrapper; nothing when it is not well-formed XMP.
    static std::optional<XmpPacket> parse(std::string_view text);

    // The entries of xmpMM:History in order; none when it is missing or not a list.
    std::vector<HistoryEntry> history() const;

    // Appends the entry to xmpMM:History, which it creates when missing, with nothing more (no
    // time, no instance id). False when that cannot be done (a history that is not a list); the
    // packet is then not to be written.
    bool appendHistoryEntry(const HistoryEntry &entry);

    // The packet in UTF-8 with its standard wrapper, laid out as XMP writers do, with the usual
    // padding for editing in place.
    std::string serialize() const;

private:
    struct Handle;
    explicit XmpPacket(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};

} // namespace imageio
