#pragma once

#include <QString>

#include <string>

namespace chooser {

// The one place where a file name's bytes become the text the user sees and edits, and back.
//
// Valid UTF-8 becomes its characters. Every byte that is not part of a valid UTF-8 sequence
// becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), as Python's "surrogateescape"
// does. Well-formed UTF-8 never encodes a surrogate, so these code points cannot stand for a
// real character and the mapping back is exact: pathBytes(pathText(b)) == b for every byte
// string b. A QString holds lone surrogates unchanged (line edits keep and edit them like any
// character; they are drawn as the replacement glyph), so any folder name can be shown, typed
// around, returned and entered again.
QString pathText(const std::string &bytes);

// Text back to bytes: characters as UTF-8, U+DC80..U+DCFF as the byte they stand for. Typed
// text is valid Unicode and gives its UTF-8. Any other lone surrogate (which no file name
// decodes to) gives the UTF-8 of U+FFFD.
std::string pathBytes(const QString &text);

} // namespace chooser
