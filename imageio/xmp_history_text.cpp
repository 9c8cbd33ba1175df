#include "imageio/xmp_history_text.h"

#include "imageio/xml_outline.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace imageio {

namespace {

constexpr std::string_view rdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view managementNamespace = "http://ns.adobe.com/xap/1.0/mm/";
constexpr std::string_view eventNamespace = "http://ns.adobe.com/xap/1.0/sType/ResourceEvent#";

bool is(const XmlElement &element, std::string_view namespaceUri, std::string_view localName)
{
    return element.namespaceUri == namespaceUri && element.localName == localName;
}

bool isList(const XmlElement &element)
{
    return is(element, rdfNamespace, "Seq") || is(element, rdfNamespace, "Bag")
        || is(element, rdfNamespace, "Alt");
}

// Where the packet's parts are in its outline; -1 for a part it does not have.
struct HistoryPlace {
    int rdf = -1;
    int list = -1; // the list of xmpMM:History in a top rdf:Description
    bool historyWithoutList = false;
};

HistoryPlace findHistory(const XmlOutline &outline)
{
    HistoryPlace place;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const XmlElement &element = outline[i];
        if (place.rdf < 0) {
            if (is(element, rdfNamespace, "RDF"))
                place.rdf = int(i);
            continue;
        }
        if (!is(element, managementNamespace, "History") || element.parent < 0)
            continue;
        const XmlElement &description = outline[std::size_t(element.parent)];
        if (description.parent != place.rdf || !is(description, rdfNamespace, "Description"))
            continue;
        const auto list = std::find_if(outline.begin() + long(i) + 1, outline.end(),
            [i](const XmlElement &e) { return e.parent == int(i) && isList(e); });
        place.list = list == outline.end() ? -1 : int(list - outline.begin());
        place.historyWithoutList = place.list < 0;
        break;
    }
    return place;
}

constexpr std::pair<std::string_view, char> namedEntities[]
    = { { "&lt;", '<' }, { "&gt;", '>' }, { "&amp;", '&' }, { "&quot;", '"' }, { "&apos;", '\'' } };

// Character data or an attribute value with the five named entities replaced; numeric
// character references stay as written, which no field we look for has.
std::string decoded(std::string_view raw)
{
    std::string text;
    for (std::size_t at = 0; at < raw.size();) {
        const auto entity = std::find_if(std::begin(namedEntities), std::end(namedEntities),
            [raw, at](const auto &e) { return raw.compare(at, e.first.size(), e.first) == 0; });
        const bool found = entity != std::end(namedEntities);
        text += found ? entity->second : raw[at];
        at += found ? entity->first.size() : 1;
    }
    return text;
}

std::string escaped(const std::string &value)
{
    std::string text;
    for (const char c : value)
        text += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    return text;
}

// The field of entry that an stEvt property of this local name fills, if any.
std::string *fieldOf(HistoryEntry &entry, std::string_view name)
{
    if (name == "action")
        return &entry.action;
    if (name == "softwareAgent")
        return &entry.softwareAgent;
    if (name == "parameters")
        return &entry.parameters;
    return nullptr;
}

// RDF writes the fields of a list item in three ways: as attributes of the rdf:li, as its child
// elements (rdf:parseType="Resource"), or either way on an rdf:Description inside it. One pass,
// parents coming before their children: owner tells, for an li or such a Description, its entry.
std::vector<HistoryEntry> readEntries(std::string_view text, const XmlOutline &outline, int list)
{
    std::vector<HistoryEntry> entries;
    std::vector<int> owner(outline.size(), -1);
    for (std::size_t i = std::size_t(list) + 1; i < outline.size(); ++i) {
        const XmlElement &element = outline[i];
        const int parentOwner = element.parent < 0 ? -1 : owner[std::size_t(element.parent)];
        if (element.parent == list && is(element, rdfNamespace, "li")) {
            owner[i] = int(entries.size());
            entries.emplace_back();
        } else if (parentOwner >= 0 && is(element, rdfNamespace, "Description")
            && outline[std::size_t(element.parent)].parent == list) {
            owner[i] = parentOwner;
        } else if (parentOwner >= 0 && element.namespaceUri == eventNamespace) {
            if (std::string *field = fieldOf(entries[std::size_t(parentOwner)], element.localName))
                *field
                    = decoded(text.substr(element.openEnd, element.closeBegin - element.openEnd));
        }
        if (owner[i] < 0)
            continue;
        for (const XmlAttribute &attribute : element.attributes) {
            std::string *field = attribute.namespaceUri == eventNamespace
                ? fieldOf(entries[std::size_t(owner[i])], attribute.localName)
                : nullptr;
            if (field)
                *field = decoded(text.substr(
                    attribute.valueBegin + 1, attribute.valueEnd - attribute.valueBegin - 2));
        }
    }
    return entries;
}

// What we insert declares every prefix it uses itself, so it reads the same whatever prefixes
// the packet binds around it.
constexpr std::string_view rdfDeclaration
    = " xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"";
constexpr std::string_view eventDeclaration
    = " xmlns:stEvt=\"http://ns.adobe.com/xap/1.0/sType/ResourceEvent#\"";
constexpr std::string_view managementDeclaration
    = " xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\"";

// Lines of markup to insert, each with its depth below the element they go into.
using Lines = std::vector<std::pair<int, std::string>>;

void addListItem(Lines &lines, int depth, const HistoryEntry &entry)
{
    lines.emplace_back(depth,
        "<rdf:li" + std::string(rdfDeclaration) + std::string(eventDeclaration)
            + " rdf:parseType=\"Resource\">");
    for (const auto &[name, value] : { std::pair { "action", &entry.action },
             std::pair { "softwareAgent", &entry.softwareAgent },
             std::pair { "parameters", &entry.parameters } })
        lines.emplace_back(depth + 1,
            std::string("<stEvt:") + name + ">" + escaped(*value) + "</stEvt:" + name + ">");
    lines.emplace_back(depth, "</rdf:li>");
}

// rdf:about="..." as the packet's descriptions have it, the value as written: all descriptions
// of a packet must name the same resource.
std::string aboutAttribute(std::string_view text, const XmlOutline &outline, int rdf)
{
    for (const XmlElement &description : outline) {
        if (description.parent != rdf || !is(description, rdfNamespace, "Description"))
            continue;
        for (const XmlAttribute &attribute : description.attributes)
            if (attribute.namespaceUri == rdfNamespace && attribute.localName == "about")
                return " rdf:about="
                    + std::string(text.substr(
                        attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
    }
    return " rdf:about=\"\"";
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text with lines added after the last child of element, each on a line of its own and one
// step deeper than the element's end tag; <a/> becomes <a>...</a>.
std::string withLastChildren(std::string_view text, const XmlElement &element, const Lines &lines)
{
    const std::size_t tag = element.empty ? element.openBegin : element.closeBegin;
    const std::size_t lineStart = text.rfind('\n', tag) + 1; // 0 on the first line
    std::string indent(text.substr(lineStart, tag - lineStart));
    if (!std::all_of(indent.begin(), indent.end(), isSpace))
        indent.clear();
    std::string block;
    for (const auto &[depth, line] : lines)
        block += "\n" + indent + std::string(std::size_t(depth) + 1, ' ') + line;

    if (element.empty) {
        const std::size_t slash = element.openEnd - 2;
        return std::string(text.substr(0, slash)) + ">" + block + "\n" + indent + "</"
            + element.qualifiedName + ">" + std::string(text.substr(element.openEnd));
    }
    // Before the white space that leads up to the end tag, which keeps its line.
    std::size_t at = element.closeBegin;
    while (at > element.openEnd && isSpace(text[at - 1]))
        --at;
    return std::string(text.substr(0, at)) + block + std::string(text.substr(at));
}

// Takes up to `inserted` bytes of the white space before the closing <?xpacket?>, which writers
// leave there for edits like ours, keeping the line break that ends the packet's XML.
void takeUpPadding(std::string &text, std::size_t inserted)
{
    const std::size_t trailer = text.rfind("<?xpacket end");
    if (trailer == std::string::npos)
        return;
    std::size_t padding = trailer;
    while (padding > 0 && isSpace(text[padding - 1]))
        --padding;
    const std::size_t spare = trailer - padding > 1 ? trailer - padding - 1 : 0;
    const std::size_t taken = std::min(spare, inserted);
    text.erase(trailer - taken, taken);
}

} // namespace

std::optional<std::vector<HistoryEntry>> readHistoryText(std::string_view packet)
{
    const std::optional<XmlOutline> outline = outlineXml(packet);
    const HistoryPlace place = outline ? findHistory(*outline) : HistoryPlace {};
    if (place.rdf < 0 || place.historyWithoutList)
        return std::nullopt;
    if (place.list < 0)
        return std::vector<HistoryEntry> {};
    return readEntries(packet, *outline, place.list);
}

std::optional<std::string> insertHistoryEntry(std::string_view packet, const HistoryEntry &entry)
{
    const std::optional<XmlOutline> outline = outlineXml(packet);
    const HistoryPlace place = outline ? findHistory(*outline) : HistoryPlace {};
    if (place.rdf < 0 || place.historyWithoutList)
        return std::nullopt;

    Lines lines;
    int parent = place.list;
    if (place.list >= 0) {
        addListItem(lines, 0, entry);
    } else {
        lines = { { 0,
                      "<rdf:Description" + std::string(rdfDeclaration)
                          + std::string(managementDeclaration)
                          + aboutAttribute(packet, *outline, place.rdf) + ">" },
            { 1, "<xmpMM:History>" }, { 2, "<rdf:Seq>" } };
        addListItem(lines, 3, entry);
        lines.insert(lines.end(),
            { { 2, "</rdf:Seq>" }, { 1, "</xmpMM:History>" }, { 0, "</rdf:Description>" } });
        parent = place.rdf;
    }
    std::string text = withLastChildren(packet, (*outline)[std::size_t(parent)], lines);
    takeUpPadding(text, text.size() - packet.size());
    return text;
}

} // namespace imageio
