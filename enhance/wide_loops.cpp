#include "enhance/wide_loops.h"

#include <atomic>

namespace enhance {

namespace {

std::atomic<bool> g_avx2Allowed { true };
std::atomic<bool> g_avx512Allowed { true };

} // namespace

bool avx2Supported()
{
#if ENHANCE_HAVE_AVX2_LOOPS
    // Also false where the operating system does not save the wide registers.
    static const bool supported = __builtin_cpu_supports("avx2") != 0;
    return supported;
#else
    return false;
#endif
}

bool avx2Enabled()
{
    return g_avx2Allowed.load(std::memory_order_relaxed) && avx2Supported();
}

void allowAvx2(bool allowed)
{
    g_avx2Allowed.store(allowed, std::memory_order_relaxed);
}

bool avx512Supported()
{
#if ENHANCE_HAVE_AVX512_LOOPS
    // Like AVX2, false where the operating system does not save the mask and 64-byte registers.
    static const bool supported = avx2Supported() && __builtin_cpu_supports("avx512f") != 0
        && __builtin_cpu_supports("avx512bw") != 0 && __builtin_cpu_supports("avx512vl") != 0;
    return supported;
#else
    return false;
#endif
}

bool avx512VbmiSupported()
{
#if ENHANCE_HAVE_AVX512_LOOPS
    static const bool supported = avx512Supported() && __builtin_cpu_supports("avx512vbmi") != 0;
    return supported;
#else
    return false;
#endif
}

bool avx512Enabled()
{
    return g_avx512Allowed.load(std::memory_order_relaxed) && avx2Enabled() && avx512Supported();
}

bool avx512VbmiEnabled()
{
    return avx512Enabled() && avx512VbmiSupported();
}

void allowAvx512(bool allowed)
{
    g_avx512Allowed.store(allowed, std::memory_order_relaxed);
}

} // namespace enhance
