// The colour cast's two passes over every pixel, compiled for every instruction set Highway
// supports: measuring the near-grey pixels, and shifting the channels.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "enhance/colour_cast_kernel.cpp"
#include <hwy/foreach_target.h>
#include <hwy/highway.h>

#include "enhance/colour_cast.h"
#include "enhance/read_ahead.h"

#include <algorithm>

HWY_BEFORE_NAMESPACE();
namespace enhance::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Measures whole vectors of pixels, sorted into channels on loading; returns how many pixels it
// measured. Byte sums gather eight lanes at a time into 64-bit lanes, which cannot overflow.
std::size_t MeasureNearGreyVectors(const std::uint8_t *pixels, std::size_t count, int tolerance,
                                   detail::NearGreySums &sums)
{
    const hn::ScalableTag<std::uint8_t> d;
    const hn::Repartition<std::uint64_t, decltype(d)> wide;
    const std::size_t lanes = hn::Lanes(d);
    if (lanes == 1)
        return 0; // one-lane vectors only add overhead: the rule does it all
    const auto limit = hn::Set(d, std::uint8_t(std::min(tolerance, 255)));
    auto red = hn::Zero(wide), green = hn::Zero(wide), blue = hn::Zero(wide);
    auto hits = hn::Zero(wide);
    // Hits are counted in byte lanes, each gaining at most one per vector, and gathered into
    // the 64-bit lanes before 255 vectors could overflow them.
    auto hitBytes = hn::Zero(d);
    std::size_t i = 0;
    for (std::size_t n = 1; i + lanes <= count; i += lanes, ++n) {
        readAhead(pixels + 3 * i, 3 * lanes, pixels + 3 * count);
        hn::Vec<decltype(d)> b, g, r;
        hn::LoadInterleaved3(d, pixels + 3 * i, b, g, r);
        const auto spread = hn::Sub(hn::Max(hn::Max(b, g), r), hn::Min(hn::Min(b, g), r));
        const auto nearGrey = hn::Eq(hn::Min(spread, limit), spread);
        red = hn::Add(red, hn::SumsOf8(hn::IfThenElseZero(nearGrey, r)));
        green = hn::Add(green, hn::SumsOf8(hn::IfThenElseZero(nearGrey, g)));
        blue = hn::Add(blue, hn::SumsOf8(hn::IfThenElseZero(nearGrey, b)));
        hitBytes = hn::Sub(hitBytes, hn::VecFromMask(d, nearGrey)); // a true mask byte is -1
        if (n % 255 == 0) {
            hits = hn::Add(hits, hn::SumsOf8(hitBytes));
            hitBytes = hn::Zero(d);
        }
    }
    hits = hn::Add(hits, hn::SumsOf8(hitBytes));
    const auto total = [&wide](auto v) { return std::int64_t(hn::GetLane(hn::SumOfLanes(wide, v))); };
    sums.red += total(red);
    sums.green += total(green);
    sums.blue += total(blue);
    sums.count += total(hits);
    return i;
}

// Shifts whole runs of three vectors, a whole number of pixels; returns how many pixels it
// shifted. Each channel's shift is split into a rise and a fall, one of them zero, so that
// saturating byte arithmetic clamps to 0..255. The bytes need no sorting into channels: the rises
// and falls are laid out as the pixels are, and vector k of a run meets them from byte k * lanes.
std::size_t ShiftVectors(const std::uint8_t *from, std::uint8_t *to, std::size_t count,
                         const detail::ChannelShifts &shifts)
{
    const hn::ScalableTag<std::uint8_t> d;
    const std::size_t lanes = hn::Lanes(d);
    if (lanes == 1)
        return 0; // one-lane vectors only add overhead: the rule does it all
    HWY_ALIGN_MAX std::uint8_t rises[3 * HWY_MAX_BYTES], falls[3 * HWY_MAX_BYTES];
    for (std::size_t k = 0; k < 3 * lanes; ++k) {
        rises[k] = std::uint8_t(std::max(shifts.shift[k % 3], 0));
        falls[k] = std::uint8_t(std::max(-shifts.shift[k % 3], 0));
    }
    hn::Vec<decltype(d)> rise[3], fall[3];
    for (std::size_t k = 0; k < 3; ++k) {
        rise[k] = hn::Load(d, rises + k * lanes);
        fall[k] = hn::Load(d, falls + k * lanes);
    }
    const std::size_t bytes = 3 * count;
    std::size_t i = 0;
    for (; i + 3 * lanes <= bytes; i += 3 * lanes) {
        readAhead(from + i, 3 * lanes, from + bytes);
        readAhead(to + i, 3 * lanes, to + bytes);
        for (std::size_t k = 0; k < 3; ++k) {
            const auto v = hn::LoadU(d, from + i + k * lanes);
            hn::StoreU(hn::SaturatedSub(hn::SaturatedAdd(v, rise[k]), fall[k]), d,
                       to + i + k * lanes);
        }
    }
    return i / 3;
}

} // namespace enhance::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace enhance::detail {

HWY_EXPORT(MeasureNearGreyVectors);
HWY_EXPORT(ShiftVectors);

void measureNearGreyFast(const std::uint8_t *pixels, std::size_t count, int tolerance,
                         NearGreySums &sums)
{
    const std::size_t done
        = HWY_DYNAMIC_DISPATCH(MeasureNearGreyVectors)(pixels, count, tolerance, sums);
    measureNearGrey(pixels + 3 * done, count - done, tolerance, sums);
}

void shiftPixelsFast(const std::uint8_t *from, std::uint8_t *to, std::size_t count,
                     const ChannelShifts &shifts)
{
    const std::size_t done = HWY_DYNAMIC_DISPATCH(ShiftVectors)(from, to, count, shifts);
    shiftPixels(from + 3 * done, to + 3 * done, count - done, shifts);
}

} // namespace enhance::detail
#endif
