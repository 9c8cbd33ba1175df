#include "imageio/xmp_packet.h"

#include <mutex>
#include <new>
#include <string_view>
#include <type_traits>

#include <exempi/xmp.h>

namespace imageio {

namespace {

constexpr char mediaManagementNamespace[] = "http://ns.adobe.com/xap/1.0/mm/";
constexpr char resourceEventNamespace[] = "http://ns.adobe.com/xap/1.0/sType/ResourceEvent#";

// The library keeps process-wide tables (namespaces, aliases) that must be set up once, before
// any packet is made, whichever worker comes first.
void startLibrary()
{
    static std::once_flag started;
    static bool running = false;
    std::call_once(started, [] { running = xmp_init(); });
    if (!running)
        throw std::bad_alloc(); // it only fails when it cannot allocate its tables
}

template <typename Pointer, auto free> struct Freeing {
    void operator()(Pointer p) const { free(p); }
};
using XmpText
    = std::unique_ptr<std::remove_pointer_t<XmpStringPtr>, Freeing<XmpStringPtr, xmp_string_free>>;
using XmpIterator = std::unique_ptr<std::remove_pointer_t<XmpIteratorPtr>,
    Freeing<XmpIteratorPtr, xmp_iterator_free>>;

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

bool contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
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

    bool empty() const
    {
        const XmpIterator schemas(xmp_iterator_new(xmp, nullptr, nullptr, XMP_ITER_JUSTCHILDREN));
        return !schemas || !xmp_iterator_next(schemas.get(), nullptr, nullptr, nullptr, nullptr);
    }
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

std::optional<XmpPacket> XmpPacket::parse(const std::uint8_t *text, std::size_t size)
{
    startLibrary();
    // xmp_new, unlike xmp_parse, also takes a bare rdf:RDF without x:xmpmeta around it, as
    // older writers left it, instead of reading it as a packet without properties.
    XmpPtr xmp = xmp_new(reinterpret_cast<const char *>(text), size);
    if (!xmp)
        return std::nullopt;
    auto handle = std::make_unique<Handle>(xmp);
    const std::string_view view(reinterpret_cast<const char *>(text), size);
    if (handle->empty() && !contains(view, "rdf:RDF") && !contains(view, "x:xmpmeta")
        && !contains(view, "x:xapmeta"))
        return std::nullopt;
    return XmpPacket(std::move(handle));
}

bool XmpPacket::hasHistoryEntry(const std::string &action, const std::string &agentPrefix) const
{
    const std::string fields = eventFieldPrefix();
    for (int item = 1;; ++item) {
        const std::string entry = "History[" + std::to_string(item) + "]";
        if (!xmp_has_property(m_handle->xmp, mediaManagementNamespace, entry.c_str()))
            return false;
        const auto agent
            = managementProperty(m_handle->xmp, entry + "/" + fields + "softwareAgent");
        if (managementProperty(m_handle->xmp, entry + "/" + fields + "action") == action && agent
            && agent->compare(0, agentPrefix.size(), agentPrefix) == 0)
            return true;
    }
}

bool XmpPacket::appendHistoryEntry(
    const std::string &action, const std::string &agent, const std::string &parameters)
{
    XmpPtr xmp = m_handle->xmp;
    // Fails for a history that is not a list.
    if (!xmp_append_array_item(xmp, mediaManagementNamespace, "History", XMP_PROP_ARRAY_IS_ORDERED,
            nullptr, XMP_PROP_VALUE_IS_STRUCT))
        return false;
    const std::string entry = "History[last()]/" + eventFieldPrefix();
    const auto setField = [xmp, &entry](const char *field, const std::string &value) {
        return xmp_set_property(
            xmp, mediaManagementNamespace, (entry + field).c_str(), value.c_str(), 0);
    };
    return setField("action", action) && setField("softwareAgent", agent)
        && setField("parameters", parameters);
}

std::optional<std::string> XmpPacket::serialize(std::size_t most) const
{
    // A read-only packet is one that packet scanners are not to edit in place: it needs no
    // padding. Both keep the wrapper, by which readers that scan for XMP find it.
    for (const std::uint32_t options : { 0u, std::uint32_t(XMP_SERIAL_READONLYPACKET) }) {
        const XmpText text = newText();
        if (xmp_serialize(m_handle->xmp, text.get(), options, 0)
            && xmp_string_len(text.get()) <= most)
            return std::string(xmp_string_cstr(text.get()), xmp_string_len(text.get()));
    }
    return std::nullopt;
}

} // namespace imageio
