#include "imageio/xml_outline.h"

#include <utility>

namespace imageio {

namespace {

constexpr std::string_view xmlNamespace = "http://www.w3.org/XML/1998/namespace";

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool endsName(char c)
{
    return isSpace(c) || c == '/' || c == '>' || c == '=';
}

// The prefixes in scope, innermost last; "" is the default namespace.
using Bindings = std::vector<std::pair<std::string, std::string>>;

std::optional<std::string> namespaceOf(const Bindings &bindings, std::string_view prefix)
{
    for (auto binding = bindings.rbegin(); binding != bindings.rend(); ++binding)
        if (binding->first == prefix)
            return binding->second;
    if (prefix.empty())
        return std::string();
    if (prefix == "xml")
        return std::string(xmlNamespace);
    return std::nullopt;
}

// Resolves a qualified name; attributes without a prefix are in no namespace.
bool resolve(const Bindings &bindings, std::string_view name, bool attribute, std::string &uri,
    std::string &local)
{
    const std::size_t colon = name.find(':');
    const std::string_view prefix = colon == std::string_view::npos ? "" : name.substr(0, colon);
    local = std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
    if (attribute && prefix.empty()) {
        uri.clear();
        return true;
    }
    const std::optional<std::string> found = namespaceOf(bindings, prefix);
    if (found)
        uri = *found;
    return found.has_value();
}

struct RawAttribute {
    std::string_view name;
    std::size_t valueBegin, valueEnd;
};

// Reads the start tag whose name begins at `at`; on success `at` is past its '>'.
bool readNameAndAttributes(std::string_view text, std::size_t &at, std::string_view &name,
    std::vector<RawAttribute> &attributes, bool &empty)
{
    const std::size_t nameBegin = at;
    while (at < text.size() && !endsName(text[at]))
        ++at;
    name = text.substr(nameBegin, at - nameBegin);
    if (name.empty())
        return false;
    for (;;) {
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (at >= text.size())
            return false;
        if (text[at] == '>' || text.compare(at, 2, "/>") == 0) {
            empty = text[at] == '/';
            at += empty ? 2 : 1;
            return true;
        }
        const std::size_t attributeBegin = at;
        while (at < text.size() && !endsName(text[at]))
            ++at;
        const std::string_view attribute = text.substr(attributeBegin, at - attributeBegin);
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (attribute.empty() || at >= text.size() || text[at] != '=')
            return false;
        ++at;
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (at >= text.size() || (text[at] != '"' && text[at] != '\''))
            return false;
        const std::size_t closingQuote = text.find(text[at], at + 1);
        if (closingQuote == std::string_view::npos)
            return false;
        attributes.push_back({ attribute, at, closingQuote + 1 });
        at = closingQuote + 1;
    }
}

// Markup that holds no elements: comments, CDATA sections and processing instructions (the
// <?xpacket?> wrapper among them). Returns where it ends, 0 when it is left open, npos when the
// markup at `at` is not of these kinds.
std::size_t skipNonElement(std::string_view text, std::size_t at)
{
    static constexpr std::pair<std::string_view, std::string_view> kinds[]
        = { { "<!--", "-->" }, { "<![CDATA[", "]]>" }, { "<?", "?>" } };
    for (const auto &[open, close] : kinds) {
        if (text.compare(at, open.size(), open) != 0)
            continue;
        const std::size_t end = text.find(close, at + open.size());
        return end == std::string_view::npos ? 0 : end + close.size();
    }
    return std::string_view::npos;
}

bool isDeclaration(std::string_view attributeName)
{
    return attributeName == "xmlns" || attributeName.compare(0, 6, "xmlns:") == 0;
}

// Reads the markup of one text, keeping the open elements and the prefixes in scope.
class Outliner
{
public:
    explicit Outliner(std::string_view text)
        : m_text(text)
    {
    }

    std::optional<XmlOutline> read()
    {
        for (std::size_t at = m_text.find('<'); at != std::string_view::npos;
             at = m_text.find('<', at)) {
            const std::size_t skipped = skipNonElement(m_text, at);
            if (skipped == 0 || (skipped == std::string_view::npos && !readTag(at)))
                return std::nullopt;
            if (skipped != std::string_view::npos)
                at = skipped;
        }
        if (!m_open.empty())
            return std::nullopt;
        return std::move(m_outline);
    }

private:
    bool readTag(std::size_t &at)
    {
        if (m_text.compare(at, 2, "<!") == 0)
            return false; // a document type declaration, which XMP does not allow
        return m_text.compare(at, 2, "</") == 0 ? readEndTag(at) : readStartTag(at);
    }

    bool readEndTag(std::size_t &at)
    {
        const std::size_t end = m_text.find('>', at);
        if (end == std::string_view::npos || m_open.empty())
            return false;
        std::string_view name = m_text.substr(at + 2, end - at - 2);
        while (!name.empty() && isSpace(name.back()))
            name.remove_suffix(1);
        XmlElement &element = m_outline[std::size_t(m_open.back().first)];
        if (name != element.qualifiedName)
            return false;
        element.closeBegin = at;
        element.closeEnd = end + 1;
        m_bindings.resize(m_open.back().second);
        m_open.pop_back();
        at = end + 1;
        return true;
    }

    bool readStartTag(std::size_t &at)
    {
        XmlElement element;
        element.openBegin = at;
        element.parent = m_open.empty() ? -1 : m_open.back().first;
        std::string_view name;
        std::vector<RawAttribute> raw;
        ++at;
        if (!readNameAndAttributes(m_text, at, name, raw, element.empty))
            return false;
        element.openEnd = at;
        element.qualifiedName = std::string(name);
        const std::size_t outerBindings = m_bindings.size();
        for (const RawAttribute &attribute : raw) {
            if (!isDeclaration(attribute.name))
                continue;
            const std::size_t colon = attribute.name.find(':');
            m_bindings.emplace_back(
                colon == std::string_view::npos ? "" : attribute.name.substr(colon + 1),
                m_text.substr(
                    attribute.valueBegin + 1, attribute.valueEnd - attribute.valueBegin - 2));
        }
        if (!resolve(m_bindings, name, false, element.namespaceUri, element.localName))
            return false;
        for (const RawAttribute &attribute : raw) {
            if (isDeclaration(attribute.name))
                continue;
            XmlAttribute &resolved = element.attributes.emplace_back();
            resolved.valueBegin = attribute.valueBegin;
            resolved.valueEnd = attribute.valueEnd;
            if (!resolve(
                    m_bindings, attribute.name, true, resolved.namespaceUri, resolved.localName))
                return false;
        }
        if (element.empty) {
            element.closeBegin = element.closeEnd = element.openEnd;
            m_bindings.resize(outerBindings);
        } else {
            m_open.emplace_back(int(m_outline.size()), outerBindings);
        }
        m_outline.push_back(std::move(element));
        return true;
    }

    std::string_view m_text;
    XmlOutline m_outline;
    Bindings m_bindings;
    std::vector<std::pair<int, std::size_t>> m_open; // element, bindings outside it
};

} // namespace

std::optional<XmlOutline> outlineXml(std::string_view text)
{
    return Outliner(text).read();
}

} // namespace imageio
