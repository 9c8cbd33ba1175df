#pragma once

#include <stdexcept>
#include <string>

namespace app {

struct BatchOptions {
    bool help = false;
    bool version = false;
    int jobs = 0; // 0: as many as there are usable cores
    bool recursive = false;
    bool keepGoing = false;
    bool preserveTimes = false;
    bool again = false; // enhance photos that carry Lumivor's record too
    bool quiet = false;
    std::string filesFrom; // the list of photos, "-" for standard input; empty: a folder run
    bool nullSeparated = false; // the list's names end with NUL bytes instead of line ends
    std::string source; // empty with filesFrom
    std::string destination;
};

// A command line that cannot be read; what() is one line saying why.
class UsageError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

// Reads "[OPTION]... SOURCE DEST", "[OPTION]... --files-from LIST DEST", --help or --version.
// Options may come anywhere, short ones bundled ("-rk", "-j2"), long ones with "=VALUE" or the
// value as the next argument; "--" ends the options, so folders may begin with a dash. Throws
// UsageError for anything else.
BatchOptions parseBatchOptions(int argc, const char *const *argv);

// The text of --help.
const char *batchUsage();

// The text of --version: the program and the version number, one line.
std::string batchVersion();

} // namespace app
