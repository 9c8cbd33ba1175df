// The interiors of the rows of the smoothing and sharpening, compiled for every target Highway
// supports.
#include "enhance/smooth_sharpen.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "enhance/smooth_sharpen_kernel.cpp"
#include <hwy/cache_control.h>
#include <hwy/foreach_target.h>
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace enhance::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace detail;

// sum / weightSum as (sum * divisionFactor) >> divisionShift, for every sum the kernel can make.
constexpr int divisionShift = 19;
constexpr int divisionFactor = (1 << divisionShift) / weightSum + 1;
constexpr bool divisionIsExact()
{
    for (int sum = 0; sum <= maxSum; ++sum)
        if ((sum * divisionFactor) >> divisionShift != sum / weightSum)
            return false;
    return true;
}
static_assert(divisionIsExact(), "the multiply-high division must agree with sum / weightSum");
static_assert(maxSum <= 0xFFFF, "sums must fit 16-bit lanes");

#if HWY_TARGET == HWY_SCALAR
// One-lane vectors cannot hold a pair of bytes: the plain rule does the whole rows there.
std::size_t FilterInteriors(std::uint8_t *const *, const std::uint8_t *const *, std::size_t,
    std::size_t from, std::size_t, bool, int, int)
{
    return from;
}
#else
template <class D> HWY_INLINE hn::Vec<D> all(D d, int value)
{
    return hn::Set(d, hn::TFromD<D>(value));
}

// The bytes from `at` on in 16-bit lanes, two to a lane (`whole`), or only the first of each
// pair. The second bytes are the first ones of the lanes one byte on, so a block splits into
// its even and odd bytes without shuffles, and goes back together the same way.
template <bool whole, class D> HWY_INLINE hn::Vec<D> lanes(D d, const std::uint8_t *at)
{
    const auto both = hn::BitCast(d, hn::LoadU(hn::Repartition<std::uint8_t, D>(), at));
    return whole ? both : hn::And(both, all(d, 0xFF));
}

// The weighted sums of two rows of the result from the four source rows a (above the first),
// b (the first), c (the second) and e (below it): each source row's taps serve both.
template <bool whole, class D>
HWY_INLINE void sumTwoRows(D d, const std::uint8_t *a, const std::uint8_t *b, const std::uint8_t *c,
    const std::uint8_t *e, hn::Vec<D> &first, hn::Vec<D> &second)
{
    const auto sidesA = hn::Add(lanes<whole>(d, a - pixelBytes), lanes<whole>(d, a + pixelBytes));
    const auto sidesB = hn::Add(lanes<whole>(d, b - pixelBytes), lanes<whole>(d, b + pixelBytes));
    const auto sidesC = hn::Add(lanes<whole>(d, c - pixelBytes), lanes<whole>(d, c + pixelBytes));
    const auto sidesE = hn::Add(lanes<whole>(d, e - pixelBytes), lanes<whole>(d, e + pixelBytes));
    const auto ownA = lanes<whole>(d, a), ownB = lanes<whole>(d, b);
    const auto ownC = lanes<whole>(d, c), ownE = lanes<whole>(d, e);
    const auto corner = all(d, cornerWeight), edge = all(d, edgeWeight);
    const auto centre = all(d, centreWeight);
    first = hn::Add(hn::Add(hn::Mul(corner, hn::Add(sidesA, sidesC)),
                        hn::Mul(edge, hn::Add(hn::Add(ownA, ownC), sidesB))),
        hn::Mul(centre, ownB));
    second = hn::Add(hn::Add(hn::Mul(corner, hn::Add(sidesB, sidesE)),
                         hn::Mul(edge, hn::Add(hn::Add(ownB, ownE), sidesC))),
        hn::Mul(centre, ownC));
}

template <class V> HWY_INLINE V divided(V sum)
{
    return hn::ShiftRight<divisionShift - 16>(
        hn::MulHigh(sum, all(hn::DFromV<V>(), divisionFactor)));
}

// The difference split into its parts above and below zero, one of them zero. Pushing by it
// `amount` times with saturation is the push clamped to 0..255: once the value reaches an end,
// every further step in that direction stays there.
template <int amount, class V> HWY_INLINE V sharpened(V original, V smooth, V limit)
{
    auto above = hn::SaturatedSub(original, smooth);
    auto below = hn::SaturatedSub(smooth, original);
    const auto keep = hn::Lt(hn::Or(above, below), limit);
    above = hn::IfThenZeroElse(keep, above);
    below = hn::IfThenZeroElse(keep, below);
    auto result = original;
    for (int k = 0; k < amount; ++k)
        result = hn::SaturatedSub(hn::SaturatedAdd(result, above), below);
    return result;
}

// Two rows of the result at a time; `amount` 0 smooths only. A constant amount unrolls the
// pushes.
template <int amount>
std::size_t filterRows(std::uint8_t *const *out, const std::uint8_t *const *in, std::size_t rows,
    std::size_t from, std::size_t to, int threshold)
{
    const hn::ScalableTag<std::uint8_t> d;
    const hn::RepartitionToWide<decltype(d)> pairs;
    const auto limit = all(d, threshold);
    // Stores a block of one row from the sums of its whole lanes and of its odd bytes. A whole
    // lane weighs its even byte plus 256 times its odd byte, so its sum, modulo 2^16, is the
    // even bytes' sum plus 256 times the odd bytes' sum.
    const auto finish = [&](std::uint8_t *at, const std::uint8_t *original,
                            hn::Vec<decltype(pairs)> whole, hn::Vec<decltype(pairs)> odd) HWY_ATTR {
        const auto even = hn::Sub(whole, hn::ShiftLeft<8>(odd));
        auto result = hn::BitCast(d, hn::Or(divided(even), hn::ShiftLeft<8>(divided(odd))));
        if constexpr (amount > 0)
            result = sharpened<amount>(hn::LoadU(d, original), result, limit);
        hn::StoreU(result, d, at);
    };
    std::size_t i = from;
    for (std::size_t y = 0; y < rows; y += 2) {
        // Output rows y and y + 1 come from source rows a, b, c and e. Without a row y + 1,
        // its sums are made from c again and dropped.
        const std::uint8_t *HWY_RESTRICT a = in[y];
        const std::uint8_t *HWY_RESTRICT b = in[y + 1];
        const std::uint8_t *HWY_RESTRICT c = in[y + 2];
        const std::uint8_t *HWY_RESTRICT e = y + 1 < rows ? in[y + 3] : c;
        std::uint8_t *HWY_RESTRICT first = out[y];
        std::uint8_t *HWY_RESTRICT second = y + 1 < rows ? out[y + 1] : nullptr;
        // The rows the next two will read and write for the first time.
        const bool ahead = y + 4 < rows;
        const std::uint8_t *const nextIn[2] = { ahead ? in[y + 4] : b, ahead ? in[y + 5] : b };
        const std::uint8_t *const nextOut[2] = { ahead ? out[y + 2] : b, ahead ? out[y + 3] : b };
        // The odd bytes read one byte further: bytes from - 3 .. to + 3 of each row, inside it
        // since from >= 3 and to + 4 <= rowBytes.
        for (i = from; i + hn::Lanes(d) <= to; i += hn::Lanes(d)) {
            if (ahead) {
                hwy::Prefetch(nextIn[0] + i);
                hwy::Prefetch(nextIn[1] + i);
                hwy::Prefetch(nextOut[0] + i);
                hwy::Prefetch(nextOut[1] + i);
            }
            hn::Vec<decltype(pairs)> whole0, whole1, odd0, odd1;
            sumTwoRows<true>(pairs, a + i, b + i, c + i, e + i, whole0, whole1);
            sumTwoRows<false>(pairs, a + i + 1, b + i + 1, c + i + 1, e + i + 1, odd0, odd1);
            finish(first + i, b + i, whole0, odd0);
            if (second)
                finish(second + i, c + i, whole1, odd1);
        }
    }
    return i;
}

std::size_t FilterInteriors(std::uint8_t *const *out, const std::uint8_t *const *in,
    std::size_t rows, std::size_t from, std::size_t to, bool sharpen, int threshold, int amount)
{
    static constexpr decltype(&filterRows<0>) forAmount[]
        = { filterRows<0>, filterRows<1>, filterRows<2>, filterRows<3>, filterRows<4> };
    static_assert(std::size(forAmount) == maxAmount + 1, "one loop for every amount");
    return forAmount[sharpen ? amount : 0](out, in, rows, from, to, threshold);
}
#endif

} // namespace enhance::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace enhance {
HWY_EXPORT(FilterInteriors);
std::size_t detail::filterInteriors(std::uint8_t *const *out, const std::uint8_t *const *in,
    std::size_t rows, std::size_t from, std::size_t to, bool sharpen, int threshold, int amount)
{
    return HWY_DYNAMIC_DISPATCH(FilterInteriors)(
        out, in, rows, from, to, sharpen, threshold, amount);
}
} // namespace enhance
#endif
