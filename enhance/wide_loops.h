#pragma once

// The choice between the portable loops (SSE2 at most, which every x86-64 processor has), the
// AVX2 loops and the AVX-512 loops, made at run time so that one build runs everywhere.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ENHANCE_HAVE_AVX2_LOOPS 1
#define ENHANCE_HAVE_AVX512_LOOPS 1
#define ENHANCE_AVX2 __attribute__((target("avx2")))
// 64-byte registers with byte and 16-bit lanes, and the same on 32- and 16-byte registers.
#define ENHANCE_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))
// The same with byte permutes across a whole register (not on every processor with AVX-512BW).
#define ENHANCE_AVX512_VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")))
#else
#define ENHANCE_HAVE_AVX2_LOOPS 0
#define ENHANCE_HAVE_AVX512_LOOPS 0
#define ENHANCE_AVX2
#define ENHANCE_AVX512
#define ENHANCE_AVX512_VBMI
#endif

namespace enhance {

// True when the processor and the operating system support AVX2.
bool avx2Supported();

// True when the operations take their AVX2 loops: supported, and not switched off.
bool avx2Enabled();

// Switches the AVX2 loops off (false) or back on where supported (true), so that tests can hold
// both kinds of loop to the same results on one machine. Switching AVX2 off switches the AVX-512
// loops off as well. Not for use while an operation runs.
void allowAvx2(bool allowed);

// True when the processor and the operating system support AVX-512 F, BW and VL.
bool avx512Supported();

// True when avx512Supported() and the processor also has AVX-512 VBMI.
bool avx512VbmiSupported();

// True when the operations take their AVX-512 loops: supported, allowed, and AVX2 allowed too.
// An operation without an AVX-512 loop of its own, or whose loop needs VBMI on a processor
// without it, takes its AVX2 loop instead.
bool avx512Enabled();
bool avx512VbmiEnabled();

// Switches the AVX-512 loops on (true, where supported) or off (false), leaving AVX2 as it is.
// They are on to begin with: wide registers can slow a core's clock, but a whole photo (decode,
// operations, encode) measured no slower with them, and the operations clearly faster.
// Not for use while an operation runs.
void allowAvx512(bool allowed);

} // namespace enhance
