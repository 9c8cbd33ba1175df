// The cost of one 12-megapixel photo, step by step, measured side by side in one run:
// decode, encode, each operation on whole pictures, the enhancement as a photo runs it, the
// codec floor (the whole photo without the enhancement), the bound (the floor coding the
// enhanced picture) and the whole EnhancePhoto. Ratios between these are what count.
// LUMIVOR_SIMD=avx2 or ssse3 holds the vector loops to that instruction set or an older one.
#include "bench/bench_images.h"
#include "bench/codec_floor.h"
#include "bench/simd_limit.h"
#include "enhance/clip_points.h"
#include "enhance/colour_cast.h"
#include "enhance/enhance_picture.h"
#include "run/enhance_photo.h"
#include "enhance/smooth_sharpen.h"
#include "enhance/tone_curve.h"
#include "imageio/jpeg_image.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

// The enhancement of one photo between its decoder and its encoder, without them: the cast
// measured as rows arrive, the clip points, then the finished rows made a band at a time.
void Operations(benchmark::State &state)
{
    const image::TBitmap &picture = photo();
    std::vector<std::uint8_t> band(picture.rowBytes() * enhance::RowSequence::bandRows);
    std::uint8_t *rows[enhance::RowSequence::bandRows];
    for (int k = 0; k < enhance::RowSequence::bandRows; ++k)
        rows[k] = band.data() + std::size_t(k) * picture.rowBytes();
    for (auto _ : state) {
        enhance::RowSequence sequence;
        for (int y = 0; y < photoHeight; y += enhance::RowSequence::bandRows)
            sequence.measureRows(
                picture, y, std::min(enhance::RowSequence::bandRows, photoHeight - y));
        sequence.findLevels(picture);
        for (int y = 0; y < photoHeight; y += enhance::RowSequence::bandRows)
            sequence.finishRows(
                picture, rows, y, std::min(enhance::RowSequence::bandRows, photoHeight - y));
        benchmark::DoNotOptimize(band.data());
    }
    countPixels(state);
}

void Floor(benchmark::State &state)
{
    for (auto _ : state)
        bench::codecFloor(photoFile(), outputFile());
    countPixels(state);
}

// The floor coding the enhanced picture: what the photo would cost with operations that cost
// nothing.
void Bound(benchmark::State &state)
{
    static const image::TBitmap enhanced = bench::enhancedPicture(photoFile());
    for (auto _ : state)
        bench::codecBound(photoFile(), enhanced, outputFile());
    countPixels(state);
}

void ProgressiveFloor(benchmark::State &state)
{
    for (auto _ : state)
        bench::codecFloor(progressivePhotoFile(), outputFile());
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
BENCHMARK(Operations)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(Floor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(Bound)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(EnhancePhoto)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(ProgressiveFloor)->Unit(benchmark::kMillisecond)->MinTime(2);
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
