// The cost of one 12-megapixel photo, step by step, measured side by side in one run:
// decode, encode, each operation, the whole EnhancePhoto. Ratios between these are what count.
// LUMIVOR_SIMD=avx2 or ssse3 holds the vector loops to that instruction set or an older one.
#include "bench/bench_images.h"
#include "bench/simd_limit.h"
#include "enhance/clip_points.h"
#include "enhance/colour_cast.h"
#include "run/enhance_photo.h"
#include "enhance/smooth_sharpen.h"
#include "enhance/tone_curve.h"
#include "imageio/jpeg_image.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

using bench::photo;
using bench::photoHeight;
using bench::photoWidth;

std::string writePhoto(const char *kind, bool progressive)
{
    const std::string file
        = "/tmp/lumivor-bench-" + std::string(kind) + "-" + std::to_string(getpid()) + ".jpg";
    imageio::TJPEGImage jpeg;
    jpeg.ProgressiveSave = progressive;
    jpeg.CopyFromBitmap(photo());
    jpeg.SaveFile(file);
    return file;
}

// The photo as a baseline and as a progressive JPEG file, each written once per process.
const std::string &photoFile()
{
    static const std::string path = writePhoto("baseline", false);
    return path;
}

const std::string &progressivePhotoFile()
{
    static const std::string path = writePhoto("progressive", true);
    return path;
}

std::string outputFile()
{
    return "/tmp/lumivor-bench-out-" + std::to_string(getpid()) + ".jpg";
}

void countPixels(benchmark::State &state)
{
    state.counters["MP/s"] = benchmark::Counter(double(photoWidth) * photoHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void Decode(benchmark::State &state)
{
    image::TBitmap target;
    for (auto _ : state) {
        imageio::TJPEGImage jpeg;
        jpeg.LoadFile(photoFile());
        jpeg.CopyToBitmap(target);
    }
    countPixels(state);
}

void Encode(benchmark::State &state)
{
    for (auto _ : state) {
        imageio::TJPEGImage jpeg;
        jpeg.CopyFromBitmap(photo());
        jpeg.SaveFile(outputFile());
    }
    countPixels(state);
}

void CopyAndWrite(benchmark::State &state)
{
    image::TBitmap copy;
    for (auto _ : state) {
        copy.Assign(photo());
        benchmark::DoNotOptimize(copy.Bits());     // the write that makes the copy real
    }
    countPixels(state);
}

void RemoveColourCast(benchmark::State &state)
{
    image::TBitmap dest;
    dest.Assign(photo());
    dest.Bits();
    for (auto _ : state)
        enhance::RemoveColourCast(dest, photo(), 20);
    countPixels(state);
}

void FindClipPoints(benchmark::State &state)
{
    int low = 0;
    int high = 0;
    for (auto _ : state) {
        enhance::FindClipPoints(photo(), low, high, 0.1f);
        benchmark::DoNotOptimize(low + high);
    }
    countPixels(state);
}

void ApplyToneCurve(benchmark::State &state)
{
    image::TBitmap dest(photoWidth, photoHeight);
    for (auto _ : state)
        enhance::ApplyToneCurve(dest, photo(), 10, 125, 240, 0, 127, 255);
    countPixels(state);
}

void SmoothSharpen(benchmark::State &state)
{
    image::TBitmap dest(photoWidth, photoHeight);
    for (auto _ : state)
        enhance::SmoothSharpen(dest, photo(), true, 7, 2);
    countPixels(state);
}

// Steps 3 to 10 of one photo: the four operations and the three copies between them, exactly
// as EnhancePhoto runs them, without reading or writing the file.
void OperationsAndCopies(benchmark::State &state)
{
    run::TWorkingImages images;
    image::TBitmap &first = images.FirstImage();
    image::TBitmap &second = images.SecondImage();
    for (auto _ : state) {
        first.Assign(photo());
        second.Assign(first);
        enhance::RemoveColourCast(first, second, 20);
        second.Assign(first);
        int low = 0;
        int high = 0;
        enhance::FindClipPoints(second, low, high, 0.1f);
        enhance::ApplyToneCurve(first, second, low, (low + high) / 2, high, 0, 127, 255);
        second.Assign(first);
        enhance::SmoothSharpen(first, second, true, 7, 2);
    }
    countPixels(state);
}

void EnhancePhoto(benchmark::State &state)
{
    run::TWorkingImages images;
    for (auto _ : state)
        run::EnhancePhoto(images, photoFile(), outputFile());
    countPixels(state);
}

void EnhanceProgressivePhoto(benchmark::State &state)
{
    run::TWorkingImages images;
    for (auto _ : state)
        run::EnhancePhoto(images, progressivePhotoFile(), outputFile());
    countPixels(state);
}

} // namespace

BENCHMARK(Decode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(Encode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(CopyAndWrite)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(RemoveColourCast)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(FindClipPoints)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(ApplyToneCurve)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(SmoothSharpen)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(OperationsAndCopies)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(EnhancePhoto)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(EnhanceProgressivePhoto)->Unit(benchmark::kMillisecond)->MinTime(2);

int main(int argc, char **argv)
{
    bench::limitSimdTargets();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(photoFile().c_str());
    std::remove(progressivePhotoFile().c_str());
    std::remove(outputFile().c_str());
    return 0;
}
