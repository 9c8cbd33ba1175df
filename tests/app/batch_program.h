#pragma once

#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace testing_support {

// How one run of the built lumivor-batch ended.
struct ProgramRun {
    int exitStatus = -1; // -1 when it did not exit normally (killed by a signal)
    std::string output; // standard output
    std::string errors; // standard error
};

// What a run of lumivor-batch is started with besides its arguments.
struct ProgramSetup {
    std::string workingFolder = "/";
    // Nonzero: caps each file it writes, with SIGXFSZ at its default action as in a fresh shell.
    long fileSizeLimit = 0;
    // Nonzero: caps its address space in bytes, as ulimit -v does.
    long addressSpaceLimit = 0;
    // Nonzero: caps the files it may have open, soft and hard limit alike, as ulimit -n does.
    long openFileLimit = 0;
    // Environment variables set besides LC_ALL.
    std::vector<std::pair<std::string, std::string>> environment;
    std::string input; // standard input
    // Standard output and error go to a pipe that nobody reads any more, with SIGPIPE at its
    // default action, as for "lumivor-batch ... | head -1" once head has ended.
    bool closedPipe = false;
};

// Runs lumivor-batch with exactly these arguments (no shell), in the C locale.
ProgramRun runBatchProgram(const std::vector<std::string> &args, const ProgramSetup &setup);

// The same with only these settings.
ProgramRun runBatchProgram(const std::vector<std::string> &args,
    const std::string &workingFolder = "/", long fileSizeLimit = 0, long addressSpaceLimit = 0);

// Starts lumivor-batch with exactly these arguments, its output discarded, SIGINT, SIGTERM and
// SIGHUP at their default actions and setting (NAME, value); returns its process id.
pid_t startBatchProgram(
    const std::vector<std::string> &args, const std::pair<std::string, std::string> &setting);

} // namespace testing_support
