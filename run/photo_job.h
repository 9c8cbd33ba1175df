#pragma once

#include <string>

namespace run {

// One photo of a run: the name shown for it, the file it is read from and the file its
// enhanced version replaces or creates (byte strings, used as they are; both may be the same).
// destinationFolder, when set, is the folder destinationPath begins with (DEST): the result is
// written inside it without following a link on the way (see platform::PendingFile).
struct PhotoJob {
    std::string name;
    std::string sourcePath;
    std::string destinationPath;
    std::string destinationFolder = std::string();
};

} // namespace run
