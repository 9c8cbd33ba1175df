#include "chooser/shorten_path.h"

namespace chooser {

QString ShortenPath(const QString &path, int maxWidth, const TextMeasure &measure)
{
    const QString ellipsisFolder = QStringLiteral(".../");
    const int lastSlash = path.lastIndexOf(QLatin1Char('/'));
    QString folder = path.left(lastSlash + 1);
    const QString name = path.mid(lastSlash + 1);
    QString result = path;
    // "/" has no name to fall back on, so it is never shortened away.
    while (!folder.isEmpty() && measure(result) > maxWidth
           && !(name.isEmpty() && folder == QStringLiteral("/"))) {
        if (folder == QStringLiteral("/.../")) {
            folder = ellipsisFolder;
        } else if (folder == QStringLiteral("/")) {
            folder.clear();
        } else {
            const bool absolute = folder.startsWith(QLatin1Char('/'));
            if (absolute)
                folder.remove(0, 1);
            if (folder.startsWith(ellipsisFolder))
                folder.remove(0, ellipsisFolder.size());
            const int slash = folder.indexOf(QLatin1Char('/'));
            // Dropping the first folder; anything still left behind it stays, after "...".
            folder = slash >= 0 ? ellipsisFolder + folder.mid(slash + 1) : QString();
            if (absolute)
                folder.prepend(QLatin1Char('/'));
        }
        result = folder + name;
    }
    return result;
}

} // namespace chooser
