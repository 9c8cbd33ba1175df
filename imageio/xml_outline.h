#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imageio {

// One attribute of an element: its name resolved against the namespaces in scope (no namespace
// without a prefix) and its value as written, quotes included, at [valueBegin, valueEnd).
struct XmlAttribute {
    std::string namespaceUri, localName;
    std::size_t valueBegin = 0, valueEnd = 0;
};

// One element of an XML text: its name as written and resolved, its parent's index in the
// outline (-1 at the top), and where its tags lie. For an empty-element tag (<a/>) the end tag is
// the empty range at openEnd.
struct XmlElement {
    std::string qualifiedName, namespaceUri, localName;
    int parent = -1;
    std::size_t openBegin = 0, openEnd = 0; // from '<' to past '>'
    std::size_t closeBegin = 0, closeEnd = 0;
    bool empty = false;
    std::vector<XmlAttribute> attributes;
};
using XmlOutline = std::vector<XmlElement>;

// The elements of text in document order, or nothing when its markup is not well-formed as far
// as this reading tells (tags that do not nest, an unknown prefix, a quote or a comment left
// open) or it has a document type declaration. Character data and entities are not looked into.
std::optional<XmlOutline> outlineXml(std::string_view text);

} // namespace imageio
