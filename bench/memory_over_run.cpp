// memory-over-run FOLDER: enhances every photo of FOLDER into FOLDER/out with the folder run and
// prints the resident memory after the 20th photo and after the last, to show that a long run
// does not grow.
#include "platform/memory.h"
#include "run/folder_run.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include <sys/stat.h>

namespace {

// VmRSS of this process in kilobytes, from /proc/self/status.
long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class MemoryObserver : public run::RunObserver
{
public:
    void countKnown(int fileCount) override { m_count = fileCount; }
    void photoStarted(const run::PhotoJob &, int) override { }
    void photoEnded(const run::PhotoOutcome &outcome) override
    {
        if (outcome.number == 20)
            afterTwenty = residentKilobytes();
        if (outcome.number % 500 == 0)
            std::fprintf(stderr, "%d/%d: %ld kB\n", outcome.number, m_count, residentKilobytes());
    }

    long afterTwenty = -1;
    long atEnd = -1;

private:
    int m_count = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: memory-over-run FOLDER\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string destination = source + "/out";
    ::mkdir(destination.c_str(), 0755);
    platform::useMemoryPolicy();
    MemoryObserver observer;
    try {
        const run::RunSummary summary = run::RunFolder(source, destination, {}, observer);
        if (!summary.failures.empty())
            std::rethrow_exception(summary.failures.front().error);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    observer.atEnd = residentKilobytes();
    const double growth = 100.0 * double(observer.atEnd - observer.afterTwenty)
        / double(observer.afterTwenty);
    std::printf("resident after 20 photos: %ld kB, at the end: %ld kB (%+.1f %%)\n",
                observer.afterTwenty, observer.atEnd, growth);
    return growth <= 10.0 ? 0 : 1;
}
