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
bool readStartTag(std::string_view text, std::size_t &at, std::string_view &name,
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

} // namespace

std::optional<XmlOutline> outlineXml(std::string_view text)
{
    XmlOutline outline;
    Bindings bindings;
    std::vector<std::pair<int, std::size_t>> open; // element, bindings before it
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
        const std::size_t skipped = skipNonElement(text, at);
        if (skipped == 0)
            return std::nullopt;
        if (skipped != std::string_view::npos) {
            at = skipped;
            continue;
        }
        if (text.compare(at, 2, "<!") == 0)
            return std::nullopt; // a document type declaration, which XMP does not allow
        if (text.compare(at, 2, "</") == 0) {
            const std::size_t end = text.find('>', at);
            if (end == std::string_view::npos || open.empty())
                return std::nullopt;
            std::string_view name = text.substr(at + 2, end - at - 2);
            while (!name.empty() && isSpace(name.back()))
                name.remove_suffix(1);
            XmlElement &element = outline[std::size_t(open.back().first)];
            if (name != element.qualifiedName)
                return std::nullopt;
            element.closeBegin = at;
            element.closeEnd = end + 1;
            bindings.resize(open.back().second);
            open.pop_back();
            at = end + 1;
            continue;
        }

        XmlElement element;
        element.openBegin = at;
        element.parent = open.empty() ? -1 : open.back().first;
        std::string_view name;
        std::vector<RawAttribute> raw;
        ++at;
        if (!readStartTag(text, at, name, raw, element.empty))
            return std::nullopt;
        element.openEnd = at;
        const std::size_t outerBindings = bindings.size();
        for (const RawAttribute &attribute : raw) {
            const std::string value(text.substr(
                attribute.valueBegin + 1, attribute.valueEnd - attribute.valueBegin - 2));
            if (attribute.name == "xmlns")
                bindings.emplace_back("", value);
            else if (attribute.name.compare(0, 6, "xmlns:") == 0)
                bindings.emplace_back(std::string(attribute.name.substr(6)), value);
        }
        element.qualifiedName = std::string(name);
        if (!resolve(bindings, name, false, element.namespaceUri, element.localName))
            return std::nullopt;
        for (const RawAttribute &attribute : raw) {
            if (attribute.name == "xmlns" || attribute.name.compare(0, 6, "xmlns:") == 0)
                continue;
            XmlAttribute resolved;
            resolved.valueBegin = attribute.valueBegin;
            resolved.valueEnd = attribute.valueEnd;
            if (!resolve(bindings, attribute.name, true, resolved.namespaceUri, resolved.localName))
                return std::nullopt;
            element.attributes.push_back(std::move(resolved));
        }
        if (element.empty) {
            element.closeBegin = element.closeEnd = element.openEnd;
            bindings.resize(outerBindings);
        } else {
            open.emplace_back(int(outline.size()), outerBindings);
        }
        outline.push_back(std::move(element));
    }
    if (!open.empty())
        return std::nullopt;
    return outline;
}

} // namespace imageio
