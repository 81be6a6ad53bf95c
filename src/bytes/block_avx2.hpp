#pragma once

// Thirty-two bytes in an AVX2 register, for x86-64 processors with AVX2. Its
// byte shuffle looks up within each 16-byte half, so a table holds its 16
// entries in both. Every operation is compiled for AVX2, and only code run
// where the processor has it may use this type.

#include <cstddef>
#include <cstdint>

#include "portable.hpp"

#if BRELIM_X86
#include <immintrin.h>

namespace brelim::simd {

struct Avx2Block {
    static constexpr std::size_t size = 32;
    // The instruction sets its operations need, `lookup`'s among them.
    static constexpr unsigned needs = portable::feature::avx2;
    static constexpr unsigned lookup_needs = needs;
    __m256i v;

    BRELIM_TARGET("avx2") static Avx2Block load(const unsigned char* bytes) noexcept {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes))};
    }
    BRELIM_TARGET("avx2") static Avx2Block splat(unsigned char byte) noexcept {
        return {_mm256_set1_epi8(static_cast<char>(byte))};
    }

    // All ones in each byte where the two are equal, else zero.
    BRELIM_TARGET("avx2") friend Avx2Block operator==(Avx2Block a, Avx2Block b) noexcept {
        return {_mm256_cmpeq_epi8(a.v, b.v)};
    }
    BRELIM_TARGET("avx2") friend Avx2Block operator&(Avx2Block a, Avx2Block b) noexcept {
        return {_mm256_and_si256(a.v, b.v)};
    }

    BRELIM_TARGET("avx2") Avx2Block low_nibbles() const noexcept {
        return {_mm256_and_si256(v, _mm256_set1_epi8(0x0F))};
    }
    BRELIM_TARGET("avx2") Avx2Block high_nibbles() const noexcept {
        return {_mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F))};
    }

    // A table for `lookup` from its 16 entries, in both halves.
    BRELIM_TARGET("avx2") static Avx2Block table(const unsigned char* entries) noexcept {
        return {_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)))};
    }
    // Each byte, which must be below 16, replaced by that entry of `table`.
    BRELIM_TARGET("avx2") Avx2Block lookup(Avx2Block table) const noexcept { return {_mm256_shuffle_epi8(table.v, v)}; }

    // Bit i is the top bit of byte i: a comparison's answer, one bit a byte.
    BRELIM_TARGET("avx2") unsigned bits() const noexcept { return static_cast<unsigned>(_mm256_movemask_epi8(v)); }
};

// Code compiled for AVX2: the entry point of a level whose primitives need
// it, each inlined whole into a function of its own.
struct Avx2 {
    static constexpr unsigned features = portable::feature::sse2 | portable::feature::ssse3 | portable::feature::avx2;

    template <auto step, class... Args>
    BRELIM_TARGET_ENTRY("avx2")
    static auto run(Args... args) {
        return step(args...);
    }
};

}  // namespace brelim::simd

#endif
