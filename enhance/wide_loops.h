#pragma once

// The choice between the portable loops (SSE2 at most, which every x86-64 processor has) and
// the AVX2 loops, made at run time so that one build runs everywhere.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ENHANCE_HAVE_AVX2_LOOPS 1
#define ENHANCE_AVX2 __attribute__((target("avx2")))
#else
#define ENHANCE_HAVE_AVX2_LOOPS 0
#define ENHANCE_AVX2
#endif

namespace enhance {

// True when the processor and the operating system support AVX2.
bool avx2Supported();

// True when the operations take their AVX2 loops: supported, and not switched off.
bool avx2Enabled();

// Switches the AVX2 loops off (false) or back on where supported (true), so that tests can hold
// both kinds of loop to the same results on one machine. Not for use while an operation runs.
void allowAvx2(bool allowed);

} // namespace enhance
