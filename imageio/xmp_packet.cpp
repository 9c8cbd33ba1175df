#include "imageio/xmp_packet.h"

#include <iostream>
#include <mutex>
#include <new>
#include <type_traits>

#include <exempi/xmp.h>

namespace imageio {

namespace {

constexpr char mediaManagementNamespace[] = "http://ns.adobe.com/xap/1.0/mm/";
constexpr char resourceEventNamespace[] = "http://ns.adobe.com/xap/1.0/sType/ResourceEvent#";

// Whether this thread is inside the library now.
thread_local bool inLibrary = false;

// The library prints the message of every error it meets to std::cerr, so that a packet that
// does not parse would put a line of its own among lumivor-batch's messages; its callers report
// what matters. This stands in for std::cerr's buffer and drops what a thread writes while it is
// inside the library, passing on everything else.
class QuietInLibrary : public std::streambuf
{
public:
    explicit QuietInLibrary(std::streambuf *target)
        : m_target(target)
    {
    }

protected:
    int_type overflow(int_type c) override
    {
        if (inLibrary || traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        return m_target->sputc(traits_type::to_char_type(c));
    }
    std::streamsize xsputn(const char *s, std::streamsize n) override
    {
        return inLibrary ? n : m_target->sputn(s, n);
    }
    int sync() override { return inLibrary ? 0 : m_target->pubsync(); }

private:
    std::streambuf *m_target;
};

class InLibrary
{
public:
    InLibrary() { inLibrary = true; }
    ~InLibrary() { inLibrary = false; }
    InLibrary(const InLibrary &) = delete;
    InLibrary &operator=(const InLibrary &) = delete;
};

// The library keeps process-wide tables (namespaces, aliases) that must be set up once, before
// any packet is made, whichever worker comes first.
void startLibrary()
{
    static std::once_flag started;
    static bool running = false;
    std::call_once(started, [] {
        // Never destroyed: std::cerr may be written to until the very end of the process.
        static auto *quiet = new QuietInLibrary(std::cerr.rdbuf());
        std::cerr.rdbuf(quiet);
        running = xmp_init();
    });
    if (!running)
        throw std::bad_alloc(); // it only fails when it cannot allocate its tables
}

template <typename Pointer, auto free> struct Freeing {
    void operator()(Pointer p) const { free(p); }
};
using XmpText
    = std::unique_ptr<std::remove_pointer_t<XmpStringPtr>, Freeing<XmpStringPtr, xmp_string_free>>;

XmpText newText()
{
    XmpText text(xmp_string_new());
    if (!text)
        throw std::bad_alloc();
    return text;
}

// The prefix the library writes for the stEvt fields, with its colon. It is registered from the
// start, but a packet may have claimed "stEvt" for another namespace before we ask.
std::string eventFieldPrefix()
{
    const XmpText prefix = newText();
    if (!xmp_namespace_prefix(resourceEventNamespace, prefix.get()))
        xmp_register_namespace(resourceEventNamespace, "stEvt", prefix.get());
    return xmp_string_cstr(prefix.get());
}

// The value of the simple property at path (an XMP path below the media management namespace).
std::optional<std::string> managementProperty(XmpPtr xmp, const std::string &path)
{
    const XmpText value = newText();
    if (!xmp_get_property(xmp, mediaManagementNamespace, path.c_str(), value.get(), nullptr))
        return std::nullopt;
    return std::string(xmp_string_cstr(value.get()), xmp_string_len(value.get()));
}

} // namespace

struct XmpPacket::Handle {
    XmpPtr xmp = nullptr;
    explicit Handle(XmpPtr x)
        : xmp(x)
    {
        if (!xmp)
            throw std::bad_alloc();
    }
    ~Handle() { xmp_free(xmp); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
};

XmpPacket::XmpPacket()
{
    startLibrary();
    m_handle = std::make_unique<Handle>(xmp_new_empty());
}

XmpPacket::XmpPacket(std::unique_ptr<Handle> handle)
    : m_handle(std::move(handle))
{
}

XmpPacket::~XmpPacket() = default;
XmpPacket::XmpPacket(XmpPacket &&) noexcept = default;
XmpPacket &XmpPacket::operator=(XmpPacket &&) noexcept = default;

std::optional<XmpPacket> XmpPacket::parse(std::string_view text)
{
    startLibrary();
    const InLibrary quiet;
    // xmp_new, unlike xmp_parse, also takes a bare rdf:RDF without x:xmpmeta around it, as
    // older writers left it, instead of reading it as a packet without properties.
    XmpPtr xmp = xmp_new(text.data(), text.size());
    if (!xmp)
        return std::nullopt;
    return XmpPacket(std::make_unique<Handle>(xmp));
}

std::vector<HistoryEntry> XmpPacket::history() const
{
    const InLibrary quiet;
    const std::string fields = eventFieldPrefix();
    std::vector<HistoryEntry> entries;
    for (int item = 1;; ++item) {
        const std::string entry = "History[" + std::to_string(item) + "]";
        if (!xmp_has_property(m_handle->xmp, mediaManagementNamespace, entry.c_str()))
            return entries;
        const auto field = [this, &entry, &fields](const char *name) {
            return managementProperty(m_handle->xmp, entry + "/" + fields + name).value_or("");
        };
        entries.push_back({ field("action"), field("softwareAgent"), field("parameters") });
    }
}

bool XmpPacket::appendHistoryEntry(const HistoryEntry &entry)
{
    const InLibrary quiet;
    XmpPtr xmp = m_handle->xmp;
    // Fails for a history that is not a list.
    if (!xmp_append_array_item(xmp, mediaManagementNamespace, "History", XMP_PROP_ARRAY_IS_ORDERED,
            nullptr, XMP_PROP_VALUE_IS_STRUCT))
        return false;
    const std::string last = "History[last()]/" + eventFieldPrefix();
    const auto setField = [xmp, &last](const char *field, const std::string &value) {
        return xmp_set_property(
            xmp, mediaManagementNamespace, (last + field).c_str(), value.c_str(), 0);
    };
    return setField("action", entry.action) && setField("softwareAgent", entry.softwareAgent)
        && setField("parameters", entry.parameters);
}

std::string XmpPacket::serialize() const
{
    const InLibrary quiet;
    const XmpText text = newText();
    if (!xmp_serialize(m_handle->xmp, text.get(), 0, 0))
        throw std::bad_alloc(); // it fails only when its output does not fit in memory
    return std::string(xmp_string_cstr(text.get()), xmp_string_len(text.get()));
}

} // namespace imageio
