#pragma once

#include <string>

namespace run {

// One photo of a run: the name shown for it, the file it is read from and the file its
// enhanced version replaces or creates (byte strings, used as they are; both may be the same).
struct PhotoJob {
    std::string name;
    std::string sourcePath;
    std::string destinationPath;
};

} // namespace run
