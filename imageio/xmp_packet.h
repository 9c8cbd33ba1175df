#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace imageio {

// One XMP packet as the XMP library holds it: its properties, not its text. Safe to use from
// several threads, one object per thread. Running out of memory throws std::bad_alloc.
class XmpPacket
{
public:
    // A packet without properties.
    XmpPacket();
    ~XmpPacket();
    XmpPacket(XmpPacket &&) noexcept;
    XmpPacket &operator=(XmpPacket &&) noexcept;

    // The packet in text (UTF-8, or UTF-16/32 with its byte order), with or without its
    // <?xpacket?> wrapper; nothing when it is not well-formed XMP, or when it is XML in which
    // the library finds no RDF at all (then writing it anew would lose what it holds).
    static std::optional<XmpPacket> parse(const std::uint8_t *text, std::size_t size);

    // Whether xmpMM:History holds an entry of this action whose software agent begins with
    // agentPrefix.
    bool hasHistoryEntry(const std::string &action, const std::string &agentPrefix) const;

    // Appends an entry of these action, software agent and parameters, and nothing else (no
    // time, no instance id), to xmpMM:History, which it creates when missing. False when that
    // cannot be done (a history that is not a list); the packet is then not to be written.
    bool appendHistoryEntry(
        const std::string &action, const std::string &agent, const std::string &parameters);

    // The packet in UTF-8 with its standard wrapper, as every XMP writer lays it out, with the
    // usual padding for editing in place when that fits in `most` bytes, else without padding;
    // nothing when it does not fit even so.
    std::optional<std::string> serialize(std::size_t most) const;

private:
    struct Handle;
    explicit XmpPacket(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};

} // namespace imageio
