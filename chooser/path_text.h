#pragma once

#include "platform/folders.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>

namespace chooser {

// File names are bytes here; these convert them the way Qt's own file classes do, so a name
// that is not valid in the locale's encoding survives the round trip.
inline std::string toBytes(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

inline QString fromBytes(const std::string &bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// A folder typed or picked, made absolute against the current folder, as the lists keep it:
// without a trailing "/" except for "/" itself.
inline std::string absoluteFolder(const QString &path)
{
    std::string folder = platform::ExpandFileName(toBytes(path));
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

} // namespace chooser
