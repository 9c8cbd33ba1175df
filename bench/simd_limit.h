#pragma once

namespace bench {

// Holds the enhancement's vector loops to the instruction set LUMIVOR_SIMD names (avx2, sse4,
// ssse3 or scalar) or an older one, as on a processor without the newer sets; without the
// variable, the loops use the best the processor has. An unknown name stops the program.
void limitSimdTargets();

} // namespace bench
