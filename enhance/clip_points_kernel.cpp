// The skipping of pixels that cannot count towards the clip points, compiled for every target
// Highway supports.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "enhance/clip_points_kernel.cpp"
#include <hwy/foreach_target.h>
#include <hwy/highway.h>
#include <hwy/cache_control.h>

#include "enhance/clip_points.h"

HWY_BEFORE_NAMESPACE();
namespace enhance::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Works out the weighted sums of red and blue a vector of pixels at a time; a block holding a
// pixel whose index may count goes to the plain loop. index <= low exactly when the sum is below
// weightSum * (low + 1), and index >= high exactly when it exceeds weightSum * high - 1.
void CountTails(const std::uint8_t *pixels, std::size_t count, int low, int high,
                detail::Histogram &histogram)
{
    const hn::ScalableTag<std::int16_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> bytes;
    const std::size_t lanes = hn::Lanes(d);
    const auto below = hn::Set(d, std::int16_t(weightSum * (low + 1)));
    const auto above = hn::Set(d, std::int16_t(weightSum * high - 1));
    std::size_t p = 0;
    for (; p + lanes <= count; p += lanes) {
        hn::Vec<decltype(bytes)> blue, green, red;
        hwy::Prefetch(pixels + p * 3 + 8192);
        hn::LoadInterleaved3(bytes, pixels + p * 3, blue, green, red);
        const auto sum = hn::Add(hn::Mul(hn::PromoteTo(d, red), hn::Set(d, std::int16_t(redWeight))),
                                 hn::Mul(hn::PromoteTo(d, blue), hn::Set(d, std::int16_t(blueWeight))));
        if (!hn::AllFalse(d, hn::Or(hn::Lt(sum, below), hn::Gt(sum, above))))
            detail::countTails(pixels + p * 3, lanes, low, high, histogram);
    }
    detail::countTails(pixels + p * 3, count - p, low, high, histogram);
}

} // namespace enhance::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace enhance::detail {
HWY_EXPORT(CountTails);
void countTailsFast(const std::uint8_t *pixels, std::size_t count, int low, int high,
                    Histogram &histogram)
{
    HWY_DYNAMIC_DISPATCH(CountTails)(pixels, count, low, high, histogram);
}
} // namespace enhance::detail
#endif
