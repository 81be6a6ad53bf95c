#pragma once

// Sixty-four bytes in an AVX-512 register, a whole window, for x86-64
// processors with AVX-512BW. A comparison answers in a mask register, one
// bit a byte, so a window's bits need no gathering. Its byte shuffle looks up
// within each 16-byte lane, so a table holds its 16 entries in all four.
// Every operation is compiled for AVX-512BW, and only code run where the
// processor has it may use this type.

#include <cstddef>
#include <cstdint>

#include "portable.hpp"

#if BRELIM_X86
#include <immintrin.h>

// The instruction sets named to the compiler for this block's code.
#define BRELIM_AVX512_ISA "avx512f,avx512bw"

namespace brelim::simd {

struct Avx512Block {
    static constexpr std::size_t size = 64;
    // The instruction sets its operations need, `lookup`'s among them.
    static constexpr unsigned needs = portable::feature::avx512bw;
    static constexpr unsigned lookup_needs = needs;
    __m512i v;

    // A comparison's answer: bit i is set where byte i passed.
    struct Answer {
        std::uint64_t mask;

        friend Answer operator&(Answer a, Answer b) noexcept { return {a.mask & b.mask}; }
        std::uint64_t bits() const noexcept { return mask; }
    };

    BRELIM_TARGET(BRELIM_AVX512_ISA) static Avx512Block load(const unsigned char* bytes) noexcept {
        return {_mm512_loadu_si512(bytes)};
    }
    // The first 16 bytes from `bytes` and zeros: reads no further.
    BRELIM_TARGET(BRELIM_AVX512_ISA) static Avx512Block load_16(const unsigned char* bytes) noexcept {
        return {_mm512_zextsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)))};
    }
    // The first `size` bytes from `bytes`, fewer than 64, and `fill` in the
    // rest: the bytes past them are not read.
    BRELIM_TARGET(BRELIM_AVX512_ISA)
    static Avx512Block load_first(const unsigned char* bytes, std::size_t size, unsigned char fill) noexcept {
        return {
            _mm512_mask_loadu_epi8(_mm512_set1_epi8(static_cast<char>(fill)), (std::uint64_t{1} << size) - 1, bytes)};
    }
    BRELIM_TARGET(BRELIM_AVX512_ISA) static Avx512Block splat(unsigned char byte) noexcept {
        return {_mm512_set1_epi8(static_cast<char>(byte))};
    }

    BRELIM_TARGET(BRELIM_AVX512_ISA) friend Answer operator==(Avx512Block a, Avx512Block b) noexcept {
        return {_mm512_cmpeq_epi8_mask(a.v, b.v)};
    }
    BRELIM_TARGET(BRELIM_AVX512_ISA) friend Avx512Block operator&(Avx512Block a, Avx512Block b) noexcept {
        return {_mm512_and_si512(a.v, b.v)};
    }

    BRELIM_TARGET(BRELIM_AVX512_ISA) Avx512Block low_nibbles() const noexcept {
        return {_mm512_and_si512(v, _mm512_set1_epi8(0x0F))};
    }
    BRELIM_TARGET(BRELIM_AVX512_ISA) Avx512Block high_nibbles() const noexcept {
        return {_mm512_and_si512(_mm512_srli_epi16(v, 4), _mm512_set1_epi8(0x0F))};
    }

    // A table for `lookup` from its 16 entries, in all four lanes (every
    // lane selected: GCC's unselected form reads an undefined value).
    BRELIM_TARGET(BRELIM_AVX512_ISA) static Avx512Block table(const unsigned char* entries) noexcept {
        return {_mm512_maskz_broadcast_i32x4(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)))};
    }
    // Each byte, which must be below 16, replaced by that entry of `table`.
    BRELIM_TARGET(BRELIM_AVX512_ISA) Avx512Block lookup(Avx512Block table) const noexcept {
        return {_mm512_shuffle_epi8(table.v, v)};
    }
};

// Code compiled for AVX-512BW: the entry point of a level whose primitives
// need it, each inlined whole into a function of its own.
struct Avx512 {
    static constexpr unsigned features =
        portable::feature::sse2 | portable::feature::ssse3 | portable::feature::avx2 | portable::feature::avx512bw;

    template <auto step, class... Args>
    BRELIM_TARGET_ENTRY(BRELIM_AVX512_ISA)
    static auto run(Args... args) {
        return step(args...);
    }
};

}  // namespace brelim::simd

#endif
