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

// Runs lumivor-batch with exactly these arguments (no shell) from workingFolder. A nonzero
// fileSizeLimit caps each file it writes, with SIGXFSZ at its default action as in a fresh shell;
// a nonzero addressSpaceLimit caps its address space in bytes, as ulimit -v does.
ProgramRun runBatchProgram(const std::vector<std::string> &args,
    const std::string &workingFolder = "/", long fileSizeLimit = 0, long addressSpaceLimit = 0);

// Starts lumivor-batch with exactly these arguments, its output discarded, SIGINT, SIGTERM and
// SIGHUP at their default actions and setting (NAME, value); returns its process id.
pid_t startBatchProgram(
    const std::vector<std::string> &args, const std::pair<std::string, std::string> &setting);

} // namespace testing_support
