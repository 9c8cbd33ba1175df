// The four image operations on a 12-megapixel photo-like picture, each timed on its own, and the
// whole-image copy that the per-photo sequence makes before three of them, so that their cost
// can be set against decoding and encoding the same picture. LUMIVOR_SIMD=avx2 or ssse3 holds
// the vector loops to that instruction set or an older one.
#include "bench/bench_images.h"
#include "bench/simd_limit.h"
#include "enhance/clip_points.h"
#include "enhance/colour_cast.h"
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

// The four operations with the three copies between them, as one photo meets them.
void BM_AllOperationsWithCopies(benchmark::State &state)
{
    const image::TBitmap &picture = photo();
    image::TBitmap first, second;
    for (auto _ : state) {
        state.PauseTiming();
        first = ownedCopy(picture);
        state.ResumeTiming();
        second.Assign(first);
        enhance::RemoveColourCast(first, second, 20);
        second.Assign(first);
        int low = 0, high = 0;
        enhance::FindClipPoints(second, low, high, 0.1f);
        enhance::ApplyToneCurve(first, second, low, (low + high) / 2, high, 0, 127, 255);
        second.Assign(first);
        enhance::SmoothSharpen(first, second, true, 7, 2);
        benchmark::DoNotOptimize(first.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_AllOperationsWithCopies)->Unit(benchmark::kMillisecond);

// The same result with one copy: the colour cast and the tone curve may read and write one image,
// since the cast is measured before anything is shifted and the curve maps each byte on its own.
void BM_AllOperationsOneCopy(benchmark::State &state)
{
    const image::TBitmap &picture = photo();
    image::TBitmap first, second;
    for (auto _ : state) {
        state.PauseTiming();
        first = ownedCopy(picture);
        state.ResumeTiming();
        enhance::RemoveColourCast(first, first, 20);
        int low = 0, high = 0;
        enhance::FindClipPoints(first, low, high, 0.1f);
        enhance::ApplyToneCurve(first, first, low, (low + high) / 2, high, 0, 127, 255);
        second.Assign(first);
        enhance::SmoothSharpen(first, second, true, 7, 2);
        benchmark::DoNotOptimize(first.Bits());
    }
    setMegapixels(state);
}
BENCHMARK(BM_AllOperationsOneCopy)->Unit(benchmark::kMillisecond);

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
