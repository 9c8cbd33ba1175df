// lumivor-batch: the folder run of the window program, from the command line.
#include "app/batch_run.h"
#include "app/batch_options.h"
#include "platform/signal_cleanup.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>

namespace {

// Prints "[3/120] IMG_0003.jpg" as each file starts, then "Done".
class PrintingObserver : public app::BatchObserver
{
public:
    void countKnown(int fileCount) override { m_count = fileCount; }
    void fileStarted(const std::string &name, int number) override
    {
        std::cout << '[' << number << '/' << m_count << "] " << name << std::endl;
    }
    void fileFinished(int) override {}
    void done() override { std::cout << "Done" << std::endl; }

private:
    int m_count = 0;
};

} // namespace

int main(int argc, char **argv)
{
    app::BatchOptions options;
    try {
        options = app::parseBatchOptions(argc, argv);
    } catch (const std::exception &error) {
        std::cerr << "lumivor-batch: " << error.what() << "\n" << app::batchUsage();
        return 2;
    }
    if (options.help) {
        std::cout << app::batchUsage();
        return 0;
    }

    // Under a file-size limit a write beyond it must fail as on a full disk ("Stream write
    // error", the old photo kept, no temporary file left) instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Ctrl-C, SIGTERM or SIGHUP mid-save end the program as killed by them, without leaving a
    // temporary file behind.
    platform::installSignalCleanup();
    const app::BatchFolders folders{[&] { return options.source; },
                                    [&] { return options.destination; }};
    PrintingObserver observer;
    try {
        app::RunOptions run;
        run.workers = options.jobs;
        app::RunBatch(folders, observer, run);
    } catch (const std::exception &error) {
        std::cout.flush();
        std::cerr << error.what() << std::endl;
        return 1;
    }
    return 0;
}
