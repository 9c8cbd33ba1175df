#include "enhance/wide_loops.h"

#include <atomic>

namespace enhance {

namespace {

std::atomic<bool> g_avx2Allowed { true };

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

} // namespace enhance
