// hostile-files [PROGRAM...]: how long files made to stall a run or exhaust the machine keep the
// per-photo sequence busy, and how much memory they take. Each file goes through
// run::EnhancePhoto in a fresh child process (this program, then each PROGRAM given, e.g. this
// benchmark built against older code), so that its peak resident memory is its own; a child
// still running after a minute is stopped.
//
// hostile-files --run SOURCE DEST: the child's part; prints the outcome and the seconds taken.
#include "run/enhance_photo.h"
#include "core/error.h"
#include "tests/support/jpeg_files.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr std::chrono::seconds longestRun(60);

int runOne(const std::string &source, const std::string &dest)
{
    std::string outcome = "enhanced";
    const auto start = std::chrono::steady_clock::now();
    try {
        run::TWorkingImages images;
        run::EnhancePhoto(images, source, dest);
    } catch (const core::Error &error) {
        outcome = error.what();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f %s\n", took.count(), outcome.c_str());
    return 0;
}

struct Result {
    std::string outcome; // as the child printed it, or why there is none
    double seconds = 0; // inside the child, or the wall time when it was stopped
    long peakKilobytes = 0;
};

Result runChild(const std::string &program, const std::string &source, const std::string &dest)
{
    int output[2];
    if (pipe(output) != 0)
        return { "no pipe", 0, 0 };
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        execl(program.c_str(), program.c_str(), "--run", source.c_str(), dest.c_str(),
            static_cast<char *>(nullptr));
        _exit(127);
    }
    close(output[1]);
    Result result;
    int status = 0;
    rusage usage {};
    bool stopped = false;
    while (wait4(child, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() - start > longestRun) {
            kill(child, SIGKILL);
            wait4(child, &status, 0, &usage);
            stopped = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    char line[512] = {};
    const ssize_t got = read(output[0], line, sizeof line - 1);
    close(output[0]);
    double seconds = 0;
    int consumed = 0;
    if (stopped)
        result = { "still running, stopped", wall.count(), 0 };
    else if (got > 0 && std::sscanf(line, "%lf %n", &seconds, &consumed) == 1)
        result = { std::string(line + consumed, line + got - 1), seconds, 0 };
    else
        result = { "no report, status " + std::to_string(status), wall.count(), 0 };
    result.peakKilobytes = usage.ru_maxrss;
    return result;
}

struct Case {
    const char *name;
    testjpeg::Bytes file;
    const char *target;
    std::uint64_t sparseSize = 0; // nonzero: the file is then made this long, without disk
};

// The case's file at path, as the child will read it; its size.
std::uint64_t writeCase(const Case &c, const std::string &path)
{
    testjpeg::writeFile(path, c.file);
    if (c.sparseSize == 0)
        return c.file.size();
    if (truncate(path.c_str(), off_t(c.sparseSize)) != 0)
        std::perror(path.c_str());
    return c.sparseSize;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "--run")
        return runOne(argv[2], argv[3]);

    using testjpeg::Kind;
    using testjpeg::recipe;
    using testjpeg::Scans;
    const testjpeg::Bytes photo
        = testjpeg::makeJpeg(recipe(640, 480, Kind::Colour, Scans::Baseline));
    const testjpeg::Recipe progressive = recipe(24, 16, Kind::Colour, Scans::Progressive);
    const testjpeg::Recipe progressiveGrey = recipe(24, 16, Kind::Grey, Scans::Progressive);
    const Case cases[] = {
        { "640 x 480 photo, as it is", photo, "-" },
        { "the photo after 100,000 empty APP1", testjpeg::withSegments(photo, 0xE1, 100000), "-" },
        { "the photo after 1,000,000 empty APP1", testjpeg::withSegments(photo, 0xE1, 1000000),
            "< 1 s" },
        { "work bomb: 16000 x 16000, 1000 scans without data",
            testjpeg::withoutPictureData(progressive, 16000, 16000, 1000), "< 2 s, < 200 MB" },
        { "size bomb: 65500 x 16000 baseline without data",
            testjpeg::withoutPictureData(testjpeg::Recipe {}, 65500, 16000, 1), "< 2 s, < 200 MB" },
        { "the work bomb with a comment to 1 byte per 4096 pixels",
            testjpeg::withSegments(testjpeg::withoutPictureData(progressive, 16000, 16000, 1000),
                0xFE, 1, testjpeg::Bytes(62500 - 14227 + 100)),
            "< 1 s, < 200 MB" },
        { "4096 x 4096 grey, 900 scans without data",
            testjpeg::withoutPictureData(progressiveGrey, 4096, 4096, 900), "-" },
        { "the size bomb padded with comments to 257 KB",
            testjpeg::paddedWithComments(
                testjpeg::withoutPictureData(testjpeg::Recipe {}, 65500, 16000, 1), 262132),
            "< 1 s, < 200 MB" },
        { "its progressive twin, padded alike",
            testjpeg::paddedWithComments(
                testjpeg::withoutPictureData(progressive, 65500, 16000, 1), 262132),
            "< 1 s, < 200 MB" },
        { "sparse 10 GB file of zeros", {}, "< 1 s, < 200 MB", std::uint64_t(10) << 30 },
        { "a photo's start, sparse to twice the memory", photo, "< 1 s, < 200 MB",
            2 * std::uint64_t(sysconf(_SC_PHYS_PAGES)) * std::uint64_t(sysconf(_SC_PAGE_SIZE)) },
    };

    std::vector<std::string> programs { "/proc/self/exe" };
    programs.insert(programs.end(), argv + 1, argv + argc);
    const testjpeg::TempFolder folder;
    std::printf("%-52s %11s %-10s %8s %8s  %s\n", "file", "bytes", "program", "seconds", "peak MB",
        "outcome (target)");
    for (const Case &c : cases) {
        const std::string source = folder.path("source.jpg");
        const std::uint64_t size = writeCase(c, source);
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const Result r = runChild(programs[p], source, folder.path("dest.jpg"));
            std::printf("%-52s %11llu %-10s %8.3f %8.1f  %s (%s)\n", c.name,
                (unsigned long long)size, p == 0 ? "this" : ("#" + std::to_string(p)).c_str(),
                r.seconds, double(r.peakKilobytes) / 1024, r.outcome.c_str(), c.target);
            std::fflush(stdout);
        }
    }
    return 0;
}
