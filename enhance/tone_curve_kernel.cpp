// The tone table applied to every byte, compiled for every target Highway supports.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "enhance/tone_curve_kernel.cpp"
#include <hwy/foreach_target.h>
#include <hwy/highway.h>

#include "enhance/read_ahead.h"
#include "enhance/tone_curve.h"

#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace enhance::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// A vector byte lookup reaches 16 entries, so every byte is looked up in each sixteenth of the
// table by its low four bits, and its high four bits pick the right result, the top bit first.
// Those 31 steps beat the byte-pair loop only where a vector holds this many bytes.
constexpr std::size_t sixteenthsLanes = 64;

void MapBytes(const ToneTable &table, const detail::PairTable &pairs, const std::uint8_t *in,
    std::uint8_t *out, std::size_t count)
{
    const auto prefetch = [in, out, count](std::size_t i) {
        readAhead(in + i, in + count);
        readAhead(out + i, out + count);
    };
    const hn::ScalableTag<std::uint8_t> d;
    const hn::RebindToSigned<decltype(d)> signedBytes;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    hn::Vec<decltype(d)> sixteenths[16];
    for (std::size_t k = 0; k < 16; ++k)
        sixteenths[k] = hn::LoadDup128(d, table.data() + 16 * k);
    for (; lanes >= sixteenthsLanes && i + lanes <= count; i += lanes) {
        prefetch(i);
        const auto bytes = hn::LoadU(d, in + i);
        hn::Vec<decltype(d)> found[16];
        for (std::size_t k = 0; k < 16; ++k)
            found[k] = hn::TableLookupBytes(sixteenths[k], hn::And(bytes, hn::Set(d, 15)));
        auto bits = hn::BitCast(signedBytes, bytes); // the picking bit in the sign, step by step
        for (std::size_t half = 8; half >= 1; half /= 2, bits = hn::Add(bits, bits)) {
            const auto upper = hn::RebindMask(d, hn::Lt(bits, hn::Zero(signedBytes)));
            for (std::size_t k = 0; k < half; ++k)
                found[k] = hn::IfThenElse(upper, found[k + half], found[k]);
        }
        hn::StoreU(found[0], d, out + i);
    }
    for (; i + 16 <= count; i += 16) {
        if (i % 64 == 0)
            prefetch(i);
        std::uint16_t keys[8], values[8];
        std::memcpy(keys, in + i, 16);
        for (std::size_t k = 0; k < 8; ++k)
            values[k] = pairs[keys[k]];
        std::memcpy(out + i, values, 16);
    }
    detail::mapBytes(table, in + i, out + i, count - i);
}

} // namespace enhance::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace enhance::detail {
HWY_EXPORT(MapBytes);
void mapBytesFast(const ToneTable &table, const PairTable &pairs, const std::uint8_t *in,
    std::uint8_t *out, std::size_t count)
{
    HWY_DYNAMIC_DISPATCH(MapBytes)(table, pairs, in, out, count);
}
} // namespace enhance::detail
#endif
