// The skipping of pixels that cannot count towards the clip points, compiled for every target
// Highway supports.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "enhance/clip_points_kernel.cpp"
#include <hwy/foreach_target.h>
#include <hwy/highway.h>

#include "enhance/clip_points.h"
#include "enhance/read_ahead.h"

HWY_BEFORE_NAMESPACE();
namespace enhance::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Works out red and blue's weighted sums a vector of pixels at a time, shifted as the rule's
// shiftedLevel does it (saturating byte arithmetic is that clamp); only a block holding a pixel
// that counts goes to the plain loop. With d the brightness divisor, index <= low exactly when
// the sum is below d * (low + 1), and index >= high exactly when it exceeds d * high - 1.
void CountTails(const std::uint8_t *pixels, std::size_t count, int low, int high,
    detail::Histogram &histogram, const detail::IndexShifts &shifts)
{
    const hn::ScalableTag<std::int16_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> bytes;
    const std::size_t lanes = hn::Lanes(d);
    if (lanes == 1) // one-lane vectors only add overhead: the rule does it all
        return detail::countTails(pixels, count, low, high, histogram, shifts);
    const auto shifted = [&bytes](hn::Vec<decltype(bytes)> level, const detail::LevelShift &shift) {
        return hn::SaturatedSub(
            hn::SaturatedAdd(level, hn::Set(bytes, shift.rise)), hn::Set(bytes, shift.fall));
    };
    const auto below = hn::Set(d, std::int16_t(brightnessDivisor * (low + 1)));
    const auto above = hn::Set(d, std::int16_t(brightnessDivisor * high - 1));
    const auto redWeight = hn::Set(d, std::int16_t(brightnessRedWeight));
    const auto blueWeight = hn::Set(d, std::int16_t(brightnessBlueWeight));
    std::size_t p = 0;
    for (; p + lanes <= count; p += lanes) {
        const std::uint8_t *block = pixels + p * 3;
        readAhead(block, 3 * lanes, pixels + 3 * count);
        hn::Vec<decltype(bytes)> blue, green, red;
        hn::LoadInterleaved3(bytes, block, blue, green, red);
        const auto sum = hn::Add(hn::Mul(hn::PromoteTo(d, shifted(red, shifts.red)), redWeight),
            hn::Mul(hn::PromoteTo(d, shifted(blue, shifts.blue)), blueWeight));
        if (!hn::AllFalse(d, hn::Or(hn::Lt(sum, below), hn::Gt(sum, above))))
            detail::countTails(block, lanes, low, high, histogram, shifts);
    }
    detail::countTails(pixels + p * 3, count - p, low, high, histogram, shifts);
}

} // namespace enhance::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace enhance::detail {
HWY_EXPORT(CountTails);
void countTailsFast(const std::uint8_t *pixels, std::size_t count, int low, int high,
    Histogram &histogram, const IndexShifts &shifts)
{
    HWY_DYNAMIC_DISPATCH(CountTails)(pixels, count, low, high, histogram, shifts);
}
} // namespace enhance::detail
#endif
