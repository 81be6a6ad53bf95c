#pragma once

// What this build and this processor offer for looking at many bytes at once.
// Every primitive of this folder takes its vector path under `#if BRELIM_SIMD`
// when `simd::<instructions>` says the processor has them (and the input is
// long enough, where that matters), else its byte-at-a-time path, which gives
// the same answers. A branch on a flag that never changes is as good as free
// and, unlike a function pointer, lets the SSE2 paths be inlined.
// BRELIM_SCALAR (a CMake option) leaves only the byte-at-a-time paths, so
// that the tests run them at every length.

#if !defined(BRELIM_SCALAR) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BRELIM_SIMD 1
#include <immintrin.h>
#else
#define BRELIM_SIMD 0
#endif

namespace brelim::simd {

#if BRELIM_SIMD
// Every x86-64 processor has SSE2.
inline constexpr bool sse2 = true;
// SSSE3 (byte shuffles) is asked of the processor once, at start-up; read
// before that, it is false, which costs speed only.
inline const bool ssse3 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}();
#endif

}  // namespace brelim::simd
