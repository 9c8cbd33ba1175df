#pragma once

#include "platform/file_descriptor.h"

#include <string>

namespace platform {

// How entering a folder below another ended: the folder, open, or which name could not be
// entered and why.
struct FolderBelow {
    FileDescriptor folder; // invalid when it could not be reached
    bool readable = false; // opened for reading (its entries can be flushed), not only as a path
    // On failure: the path of the name that could not be entered (top, "/" and the names of
    // below up to it; top alone when top itself failed), the system's reason, and whether that
    // name is a symbolic link, which is never followed.
    std::string failedPath;
    int error = 0;
    bool isLink = false;
};

// Enters the folder below (a relative path, names separated by "/"; empty: top itself) inside
// the folder top. top is opened as named, symbolic links followed; every name of below is then
// opened from the descriptor of the folder before it, never through a symbolic link, so that
// the folder reached lies inside top however the folders below it are linked, even while they
// are swapped meanwhile, and no path longer than one name is ever looked up. With create, a
// missing folder is made (0777 less the umask) before it is entered. A ".." name is refused
// (EXDEV).
FolderBelow enterFolderBelow(const std::string &top, const std::string &below, bool create);

} // namespace platform
