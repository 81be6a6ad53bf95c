#pragma once

// Sixteen bytes in an SSE register, for x86-64. Every x86-64 processor has
// SSE2; the byte shuffle that looks up a nibble table is SSSE3's, and only
// code run where the processor has SSSE3 may call `lookup`.

#include <cstddef>
#include <cstdint>

#include "portable.hpp"

#if BRELIM_X86
#include <immintrin.h>

namespace brelim::simd {

struct SseBlock {
    static constexpr std::size_t size = 16;
    // The instruction sets its operations need, and `lookup` with them.
    static constexpr unsigned needs = portable::feature::sse2;
    static constexpr unsigned lookup_needs = needs | portable::feature::ssse3;
    __m128i v;

    static SseBlock load(const unsigned char* bytes) noexcept {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))};
    }
    static SseBlock splat(unsigned char byte) noexcept { return {_mm_set1_epi8(static_cast<char>(byte))}; }

    // All ones in each byte where the two are equal, else zero.
    friend SseBlock operator==(SseBlock a, SseBlock b) noexcept { return {_mm_cmpeq_epi8(a.v, b.v)}; }
    friend SseBlock operator&(SseBlock a, SseBlock b) noexcept { return {_mm_and_si128(a.v, b.v)}; }

    SseBlock low_nibbles() const noexcept { return {_mm_and_si128(v, _mm_set1_epi8(0x0F))}; }
    SseBlock high_nibbles() const noexcept { return {_mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(0x0F))}; }

    // A table for `lookup` from its 16 entries.
    static SseBlock table(const unsigned char* entries) noexcept { return load(entries); }
    // Each byte, which must be below 16, replaced by that entry of `table`.
    BRELIM_TARGET("ssse3") SseBlock lookup(SseBlock table) const noexcept { return {_mm_shuffle_epi8(table.v, v)}; }

    // Bit i is the top bit of byte i: a comparison's answer, one bit a byte.
    unsigned bits() const noexcept { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
};

// Code compiled for SSSE3: the entry point of a level whose primitives need
// it, each inlined whole into a function of its own.
struct Ssse3 {
    static constexpr unsigned features = portable::feature::sse2 | portable::feature::ssse3;

    template <auto step, class... Args>
    BRELIM_TARGET_ENTRY("ssse3")
    static auto run(Args... args) {
        return step(args...);
    }
};

}  // namespace brelim::simd

#endif
