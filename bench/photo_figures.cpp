// photo-figures [--rounds N] FILE...: for each photo, the whole EnhancePhoto against its codec
// floor (the same reading, decoding, encoding with the same settings and writing, without the
// enhancement) and against its bound (the floor coding the enhanced picture: the whole photo
// with operations that cost nothing), one thread, the three in turn in every round so that a
// busy machine slows them alike; then the peak memory the floor and the whole photo add to the
// process, in bytes per pixel of the photo. Prints one line per photo: the medians in
// milliseconds of thread time, floor / whole, floor / bound, and the peaks.
// LUMIVOR_SIMD holds the vector loops to an older instruction set, as in pipeline_bench.
// photo-figures --once floor|whole FILE runs one of the two once, for a profiler.
#include "bench/codec_floor.h"
#include "bench/simd_limit.h"
#include "imageio/jpeg_image.h"
#include "platform/memory.h"
#include "run/enhance_photo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

double threadMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

// A field of /proc/self/status in kilobytes (VmRSS, VmHWM).
long statusKilobytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// The peak resident memory that `work` adds to what the process holds, in kilobytes: the peak
// is set back to the present first (clear_refs 5).
long addedPeakKilobytes(const std::function<void()> &work)
{
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKilobytes("VmRSS:");
    work();
    return statusKilobytes("VmHWM:") - before;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Photo {
    std::string path;
    double pixels;
};

void measure(const Photo &photo, int rounds, const std::string &output)
{
    run::TWorkingImages images;
    const image::TBitmap enhanced = bench::enhancedPicture(photo.path);
    const std::function<void()> runs[] = {
        [&] { bench::codecFloor(photo.path, output); },
        [&] { bench::codecBound(photo.path, enhanced, output); },
        [&] { run::EnhancePhoto(images, photo.path, output); },
    };
    enum { floor, bound, whole, kinds };
    runs[whole](); // the first run of a size faults in memory the others reuse
    std::vector<double> times[kinds];
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with another, so that none always follows the same one's caches.
        for (int turn = 0; turn < kinds; ++turn) {
            const int kind = (round + turn) % kinds;
            const double start = threadMilliseconds();
            runs[kind]();
            times[kind].push_back(threadMilliseconds() - start);
        }
    }
    const double floorPeak = double(addedPeakKilobytes(runs[floor])) * 1024 / photo.pixels;
    const double wholePeak = double(addedPeakKilobytes(runs[whole])) * 1024 / photo.pixels;
    const double floorMs = median(times[floor]), boundMs = median(times[bound]);
    const double wholeMs = median(times[whole]);
    const std::string name = photo.path.substr(photo.path.find_last_of('/') + 1);
    std::printf("%-24s floor %7.1f ms  whole %7.1f ms  floor/whole %.3f  floor/bound %.3f"
                "  peak floor %.2f whole %.2f B/px\n",
        name.c_str(), floorMs, wholeMs, floorMs / wholeMs, floorMs / boundMs, floorPeak, wholePeak);
    std::fflush(stdout);
}

Photo photoAt(const std::string &path)
{
    imageio::TJPEGImage jpeg;
    jpeg.LoadFile(path);
    return { path, double(jpeg.DeclaredWidth()) * jpeg.DeclaredHeight() };
}

} // namespace

int main(int argc, char **argv)
{
    platform::useMemoryPolicy();
    bench::limitSimdTargets();
    const std::string output = "/tmp/lumivor-figures-" + std::to_string(getpid()) + ".jpg";
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 3 && args[0] == "--once") {
            run::TWorkingImages images;
            if (args[1] == "floor")
                bench::codecFloor(args[2], output);
            else
                run::EnhancePhoto(images, args[2], output);
        } else {
            int rounds = 7;
            if (args.size() >= 2 && args[0] == "--rounds") {
                rounds = std::max(1, std::atoi(args[1].c_str()));
                args.erase(args.begin(), args.begin() + 2);
            }
            if (args.empty()) {
                std::fprintf(stderr,
                    "usage: photo-figures [--rounds N] FILE...\n"
                    "       photo-figures --once floor|whole FILE\n");
                return 2;
            }
            for (const std::string &path : args)
                measure(photoAt(path), rounds, output);
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "photo-figures: %s\n", error.what());
        std::remove(output.c_str());
        return 1;
    }
    std::remove(output.c_str());
    return 0;
}
