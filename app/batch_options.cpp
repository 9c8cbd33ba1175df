#include "app/batch_options.h"

#include <stdexcept>
#include <vector>

namespace app {

namespace {

constexpr int maxJobs = 256;

int parseJobs(const std::string &text)
{
    std::size_t used = 0;
    int jobs = 0;
    try {
        jobs = std::stoi(text, &used);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used != text.size() || jobs < 1 || jobs > maxJobs)
        throw std::invalid_argument("--jobs takes a whole number from 1 to 256");
    return jobs;
}

} // namespace

BatchOptions parseBatchOptions(int argc, const char *const *argv)
{
    BatchOptions options;
    std::vector<std::string> folders;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            folders.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--jobs" || arg == "-j") {
            if (++i == argc)
                throw std::invalid_argument("--jobs needs a number");
            options.jobs = parseJobs(argv[i]);
        } else if (arg.rfind("--jobs=", 0) == 0) {
            options.jobs = parseJobs(arg.substr(7));
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    if (options.help)
        return options;
    if (folders.size() != 2)
        throw std::invalid_argument("give a source folder and a destination folder");
    options.source = folders[0];
    options.destination = folders[1];
    return options;
}

const char *batchUsage()
{
    return "Usage: lumivor-batch [--jobs N] SOURCE DEST\n"
           "\n"
           "Enhances every *.jpg of the folder SOURCE (the extension in any case) and writes\n"
           "each as a JPEG of quality 90 under the same name into the folder DEST, replacing a\n"
           "file of that name. DEST may be SOURCE. Files are taken in name order; the first\n"
           "error stops the run, and the photos written before it stay written.\n"
           "\n"
           "  -j, --jobs N   enhance N files at a time (default: one per usable core); the\n"
           "                 output is the same\n"
           "  -h, --help     show this text\n"
           "\n"
           "Prints one line per file ([3/120] IMG_0003.jpg), then Done. On an error prints\n"
           "its message to standard error and exits with 1; exits with 0 otherwise.\n";
}

} // namespace app
