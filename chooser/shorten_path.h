#pragma once

#include <QString>

#include <functional>

namespace chooser {

// How wide a text is drawn, in pixels.
using TextMeasure = std::function<int(const QString &text)>;

// path narrowed until measure says it fits into maxWidth: leading folders give way to "..."
// one at a time ("/a/b/c/name" -> "/.../b/c/name" -> "/.../c/name" -> "/.../name" ->
// ".../name" -> "name"). The name itself is never cut, so the result can still be too wide.
QString ShortenPath(const QString &path, int maxWidth, const TextMeasure &measure);

} // namespace chooser
