// The colour cast's two passes over every pixel, compiled for every instruction set Highway
// supports: measuring the near-grey pixels, and shifting the channels.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "enhance/colour_cast_kernel.cpp"
#include <hwy/foreach_target.h>
#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "enhance/colour_cast.h"

#include <algorithm>

HWY_BEFORE_NAMESPACE();
namespace enhance::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Both passes stream through the picture faster than the hardware prefetcher keeps up with;
// asking 8 KiB ahead made them about half again as fast.
constexpr std::size_t prefetchDistance = 8192;

// Measures whole vectors of pixels, sorted into channels on loading; returns how many pixels it
// measured. Byte sums gather eight lanes at a time into 64-bit lanes, which cannot overflow.
std::size_t MeasureNearGreyVectors(const std::uint8_t *pixels, std::size_t count, int tolerance,
                                   detail::NearGreySums &sums)
{
    const hn::ScalableTag<std::uint8_t> d;
    const hn::Repartition<std::uint64_t, decltype(d)> wide;
    const std::size_t lanes = hn::Lanes(d);
    const auto limit = hn::Set(d, std::uint8_t(std::min(tolerance, 255)));
    const auto one = hn::Set(d, std::uint8_t(1));
    auto red = hn::Zero(wide), green = hn::Zero(wide), blue = hn::Zero(wide);
    auto hits = hn::Zero(wide);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        hwy::Prefetch(pixels + 3 * i + prefetchDistance);
        hn::Vec<decltype(d)> b, g, r;
        hn::LoadInterleaved3(d, pixels + 3 * i, b, g, r);
        const auto spread = hn::Sub(hn::Max(hn::Max(b, g), r), hn::Min(hn::Min(b, g), r));
        const auto nearGrey = hn::Eq(hn::Min(spread, limit), spread);
        red = hn::Add(red, hn::SumsOf8(hn::IfThenElseZero(nearGrey, r)));
        green = hn::Add(green, hn::SumsOf8(hn::IfThenElseZero(nearGrey, g)));
        blue = hn::Add(blue, hn::SumsOf8(hn::IfThenElseZero(nearGrey, b)));
        hits = hn::Add(hits, hn::SumsOf8(hn::IfThenElseZero(nearGrey, one)));
    }
    const auto total = [&wide](auto v) { return std::int64_t(hn::GetLane(hn::SumOfLanes(wide, v))); };
    sums.red += total(red);
    sums.green += total(green);
    sums.blue += total(blue);
    sums.count += total(hits);
    return i;
}

// Shifts whole vectors of pixels; returns how many it shifted. Each channel's shift is split
// into a rise and a fall, one of them zero, so that saturating byte arithmetic clamps to 0..255.
std::size_t ShiftVectors(const std::uint8_t *from, std::uint8_t *to, std::size_t count,
                         const detail::ChannelShifts &shifts)
{
    const hn::ScalableTag<std::uint8_t> d;
    const std::size_t lanes = hn::Lanes(d);
    const auto rise = [&](int c) { return hn::Set(d, std::uint8_t(std::max(shifts.shift[c], 0))); };
    const auto fall = [&](int c) { return hn::Set(d, std::uint8_t(std::max(-shifts.shift[c], 0))); };
    const auto riseB = rise(0), riseG = rise(1), riseR = rise(2);
    const auto fallB = fall(0), fallG = fall(1), fallR = fall(2);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        hwy::Prefetch(from + 3 * i + prefetchDistance);
        hn::Vec<decltype(d)> b, g, r;
        hn::LoadInterleaved3(d, from + 3 * i, b, g, r);
        b = hn::SaturatedSub(hn::SaturatedAdd(b, riseB), fallB);
        g = hn::SaturatedSub(hn::SaturatedAdd(g, riseG), fallG);
        r = hn::SaturatedSub(hn::SaturatedAdd(r, riseR), fallR);
        hn::StoreInterleaved3(b, g, r, d, to + 3 * i);
    }
    return i;
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
