// The four image operations on a 12-megapixel photo-like picture, each timed on its own, a
// whole-image copy, and the whole sequence as a photo runs it, so that their cost can be set
// against decoding and encoding the same picture. LUMIVOR_SIMD=avx2 or ssse3 holds the vector
// loops to that instruction set or an older one.
#include "bench/bench_images.h"
#include "bench/simd_limit.h"
#include "enhance/clip_points.h"
#include "enhance/colour_cast.h"
#include "enhance/enhance_picture.h"
#include "enhance/smooth_sharpen.h"
#include "enhance/tone_curve.h"

#include <benchmark/benchmark.h>


namespace {

using bench::photo;
using bench::photoHeight;
using bench::photoWidth;

// Dest as the operations meet it after their copy has been paid for: a store of its own.
image::TBitmap ownedCopy(const image::TBitmap &source)
{
    image::TBitmap copy;
    copy.Assign(source);
    copy.Bits();
    return copy;
}

void setMegapixels(benchmark::State &state)
{
    state.counters["MP/s"] = benchmark::Counter(
        double(photoWidth) * photoHeight * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

// Assign, then the first writable access, which gives the copy a store of its own.
void BM_CopyAndDetach(benchmark::State &state)
{
    const image::TBitmap &source = photo();
    image::TBitmap copy;
    for (auto _ : state) {
        copy.Assign(source);
        benchmark::DoNotOptimize(copy.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_CopyAndDetach)->Unit(benchmark::kMillisecond);

void BM_RemoveColourCast(benchmark::State &state)
{
    const image::TBitmap &source = photo();
    image::TBitmap dest = ownedCopy(source);
    for (auto _ : state) {
        enhance::RemoveColourCast(dest, source, 20);
        benchmark::DoNotOptimize(dest.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_RemoveColourCast)->Unit(benchmark::kMillisecond);

// As the per-photo sequence calls it: Dest still shares its store with Source, so the shifted
// pixels go to a store of Dest's own without a separate copy.
void BM_RemoveColourCastSharing(benchmark::State &state)
{
    const image::TBitmap &source = photo();
    image::TBitmap dest;
    for (auto _ : state) {
        dest.Assign(source);
        enhance::RemoveColourCast(dest, source, 20);
        benchmark::DoNotOptimize(dest.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_RemoveColourCastSharing)->Unit(benchmark::kMillisecond);

void BM_FindClipPoints(benchmark::State &state)
{
    const image::TBitmap &source = photo();
    for (auto _ : state) {
        int low = 0, high = 0;
        enhance::FindClipPoints(source, low, high, 0.1f);
        benchmark::DoNotOptimize(low);
        benchmark::DoNotOptimize(high);
    }
    setMegapixels(state);
}
BENCHMARK(BM_FindClipPoints)->Unit(benchmark::kMillisecond);

void BM_ApplyToneCurve(benchmark::State &state)
{
    const image::TBitmap &source = photo();
    image::TBitmap dest = ownedCopy(source);
    for (auto _ : state) {
        enhance::ApplyToneCurve(dest, source, 10, 125, 240, 0, 127, 255);
        benchmark::DoNotOptimize(dest.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_ApplyToneCurve)->Unit(benchmark::kMillisecond);

void BM_SmoothSharpen(benchmark::State &state)
{
    const image::TBitmap &source = photo();
    image::TBitmap dest = ownedCopy(source);
    for (auto _ : state) {
        enhance::SmoothSharpen(dest, source, true, 7, 2);
        benchmark::DoNotOptimize(dest.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_SmoothSharpen)->Unit(benchmark::kMillisecond);

// The whole sequence in place, row by row as a photo runs it: the cast measured, the clip points
// found, the rows toned and sharpened a band at a time.
void BM_EnhancePicture(benchmark::State &state)
{
    const image::TBitmap &picture = photo();
    image::TBitmap enhanced;
    for (auto _ : state) {
        state.PauseTiming();
        enhanced = ownedCopy(picture);
        state.ResumeTiming();
        enhance::EnhancePicture(enhanced);
        benchmark::DoNotOptimize(enhanced.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_EnhancePicture)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    bench::limitSimdTargets();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
