#pragma once

// Sixteen bytes in a NEON register, for aarch64, where every processor has
// NEON. NEON has no instruction that gathers one bit a byte, so the bits are
// summed out of weighted bytes; for a 64-byte window, three pairwise additions
// do it.

#include <array>
#include <cstddef>
#include <cstdint>

#include "portable.hpp"

#if BRELIM_ARM64
#include <arm_neon.h>

namespace brelim::simd {

struct NeonBlock {
    static constexpr std::size_t size = 16;
    // The instruction sets its operations need, `lookup`'s among them.
    static constexpr unsigned needs = portable::feature::neon;
    static constexpr unsigned lookup_needs = needs;
    uint8x16_t v;

    static NeonBlock load(const unsigned char* bytes) noexcept { return {vld1q_u8(bytes)}; }
    static NeonBlock splat(unsigned char byte) noexcept { return {vdupq_n_u8(byte)}; }

    // All ones in each byte where the two are equal, else zero.
    friend NeonBlock operator==(NeonBlock a, NeonBlock b) noexcept { return {vceqq_u8(a.v, b.v)}; }
    friend NeonBlock operator&(NeonBlock a, NeonBlock b) noexcept { return {vandq_u8(a.v, b.v)}; }

    NeonBlock low_nibbles() const noexcept { return {vandq_u8(v, vdupq_n_u8(0x0F))}; }
    NeonBlock high_nibbles() const noexcept { return {vshrq_n_u8(v, 4)}; }

    // A table for `lookup` from its 16 entries.
    static NeonBlock table(const unsigned char* entries) noexcept { return load(entries); }
    // Each byte, which must be below 16, replaced by that entry of `table`.
    NeonBlock lookup(NeonBlock table) const noexcept { return {vqtbl1q_u8(table.v, v)}; }

    // Bit i is the top bit of byte i: a comparison's answer, one bit a byte.
    unsigned bits() const noexcept {
        const uint8x16_t weighted = weigh(v);
        return static_cast<unsigned>(vaddv_u8(vget_low_u8(weighted))) |
               static_cast<unsigned>(vaddv_u8(vget_high_u8(weighted))) << 8;
    }
    // The bits of the four blocks of a 64-byte window, the first block's lowest.
    static std::uint64_t gather(const std::array<NeonBlock, 4>& blocks) noexcept {
        const uint8x16_t quarters = vpaddq_u8(vpaddq_u8(weigh(blocks[0].v), weigh(blocks[1].v)),
                                              vpaddq_u8(weigh(blocks[2].v), weigh(blocks[3].v)));
        return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(quarters, quarters)), 0);
    }

private:
    // Each byte's top bit as its weight within its eight: 1, 2, 4 ... 128.
    static uint8x16_t weigh(uint8x16_t v) noexcept {
        static constexpr std::int8_t places[16] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};
        return vshlq_u8(vshrq_n_u8(v, 7), vld1q_s8(places));
    }
};

}  // namespace brelim::simd

#endif
