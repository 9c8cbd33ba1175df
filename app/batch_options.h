#pragma once

#include <string>

namespace app {

struct BatchOptions {
    bool help = false;
    int jobs = 0;    // 0: one per usable core
    std::string source;
    std::string destination;
};

// Reads "[--jobs N] SOURCE DEST" or "--help". Throws std::invalid_argument with a short
// reason for anything else. "--" ends the options, so folders may begin with a dash.
BatchOptions parseBatchOptions(int argc, const char *const *argv);

// The text of --help.
const char *batchUsage();

} // namespace app
