#include "batch_program.h"

#include "tests/support/temp_folder.h"

#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

ProgramRun runBatchProgram(const std::vector<std::string> &args, const ProgramSetup &setup)
{
    const TempFolder captured;
    const std::string inPath = captured.file("stdin");
    const std::string outPath = captured.file("stdout");
    const std::string errPath = captured.file("stderr");
    writeText(inPath, setup.input);
    std::vector<char *> argv { const_cast<char *>(LUMIVOR_BATCH_PROGRAM) };
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2] = { -1, -1 };
    if (setup.closedPipe && pipe(pipeEnds) != 0)
        return ProgramRun();

    const pid_t child = fork();
    if (child == 0) {
        const int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (setup.closedPipe) {
            close(pipeEnds[0]);
            out = err = pipeEnds[1];
            std::signal(SIGPIPE, SIG_DFL);
        }
        if (in < 0 || out < 0 || err < 0 || dup2(in, STDIN_FILENO) < 0
            || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0
            || chdir(setup.workingFolder.c_str()) != 0)
            _exit(127);
        if (setup.fileSizeLimit > 0) {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit {};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(setup.fileSizeLimit);
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (setup.addressSpaceLimit > 0) {
            const rlimit limit { rlim_t(setup.addressSpaceLimit), rlim_t(setup.addressSpaceLimit) };
            setrlimit(RLIMIT_AS, &limit);
        }
        if (setup.openFileLimit > 0) {
            const rlimit limit { rlim_t(setup.openFileLimit), rlim_t(setup.openFileLimit) };
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        for (const auto &[name, value] : setup.environment)
            setenv(name.c_str(), value.c_str(), 1);
        setenv("LC_ALL", "C", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (setup.closedPipe) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
    }
    ProgramRun run;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exitStatus = WEXITSTATUS(status);
    const std::vector<std::uint8_t> out = readBytes(outPath);
    const std::vector<std::uint8_t> err = readBytes(errPath);
    run.output.assign(out.begin(), out.end());
    run.errors.assign(err.begin(), err.end());
    return run;
}

ProgramRun runBatchProgram(const std::vector<std::string> &args, const std::string &workingFolder,
    long fileSizeLimit, long addressSpaceLimit)
{
    ProgramSetup setup;
    setup.workingFolder = workingFolder;
    setup.fileSizeLimit = fileSizeLimit;
    setup.addressSpaceLimit = addressSpaceLimit;
    return runBatchProgram(args, setup);
}

pid_t startBatchProgram(
    const std::vector<std::string> &args, const std::pair<std::string, std::string> &setting)
{
    std::vector<char *> argv { const_cast<char *>(LUMIVOR_BATCH_PROGRAM) };
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
        for (const int signal : { SIGINT, SIGTERM, SIGHUP })
            std::signal(signal, SIG_DFL);
        if (!setting.first.empty())
            setenv(setting.first.c_str(), setting.second.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

} // namespace testing_support
