#include "bench/bench_images.h"
#include "tests/support/photos.h"
#include "imageio/jpeg_image.h"

#include <benchmark/benchmark.h>

#include <string>

#include <unistd.h>

namespace {

constexpr int photoWidth = 4000;
constexpr int photoHeight = 3000;

// A memory-backed folder where there is one, so the figures measure the codec, not the disk.
std::string scratchPath(const char *name)
{
    const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/lumivor_bench_" + std::to_string(getpid()) + "_" + name;
}

const image::TBitmap &photo()
{
    static const image::TBitmap picture = testing_support::photoLike(photoWidth, photoHeight);
    return picture;
}

// The photo saved once as a JPEG file, progressive or not.
std::string photoFile(bool progressive)
{
    const std::string path = scratchPath(progressive ? "progressive.jpg" : "baseline.jpg");
    imageio::TJPEGImage image;
    image.ProgressiveSave = progressive;
    image.CopyFromBitmap(photo());
    image.SaveFile(path);
    return path;
}

void countMegapixels(benchmark::State &state)
{
    state.counters["MP/s"] = benchmark::Counter(
        double(photoWidth) * photoHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// LoadFile + CopyToBitmap: reading the file and decoding it.
void BM_Decode(benchmark::State &state)
{
    const std::string path = photoFile(state.range(0) != 0);
    for (auto _ : state) {
        imageio::TJPEGImage image;
        image.LoadFile(path);
        image::TBitmap picture;
        image.CopyToBitmap(picture);
        benchmark::DoNotOptimize(picture.Bits());
    }
    countMegapixels(state);
    unlink(path.c_str());
}

// CopyFromBitmap + SaveFile: encoding and replacing the file safely.
void BM_Encode(benchmark::State &state)
{
    const std::string path = scratchPath("encoded.jpg");
    const image::TBitmap &picture = photo();
    for (auto _ : state) {
        imageio::TJPEGImage image;
        image.ProgressiveSave = state.range(0) != 0;
        image.CopyFromBitmap(picture);
        image.SaveFile(path);
    }
    countMegapixels(state);
    unlink(path.c_str());
}

// One photo's whole road through the object: load, decode, take the picture back, encode, save.
void BM_DecodeEncode(benchmark::State &state)
{
    const bool progressive = state.range(0) != 0;
    const std::string source = photoFile(progressive);
    const std::string dest = scratchPath("roundtrip.jpg");
    for (auto _ : state) {
        imageio::TJPEGImage image;
        image.LoadFile(source);
        image::TBitmap picture;
        image.CopyToBitmap(picture);
        image.CopyFromBitmap(picture);
        image.SaveFile(dest);
    }
    countMegapixels(state);
    unlink(source.c_str());
    unlink(dest.c_str());
}

} // namespace

BENCHMARK(BM_Decode)->ArgName("progressive")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode)->ArgName("progressive")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEncode)->ArgName("progressive")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
