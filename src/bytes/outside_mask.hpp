#pragma once

// Which bytes lie outside a set, sixteen or sixty-four at a time: one bit per
// byte, so that where a run of the set's bytes ends is a count of trailing
// zeros.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_set.hpp"
#include "simd.hpp"

namespace brelim {

// A set of ASCII bytes as two 16-entry tables: byte b is in the set when
// low[b & 15] & high[b >> 4] is not zero (each bit of `high` names one row of
// sixteen code points). Bytes from 0x80 up have no row and are never in it.
struct NibbleTables {
    std::array<unsigned char, 16> low{};
    std::array<unsigned char, 16> high{};
    bool usable = true;  // false when the set holds a byte above 0x7F

    static constexpr NibbleTables of(const ByteSet& set) {
        NibbleTables t;
        for (unsigned b = 0; b < 256; ++b) {
            if (!set[static_cast<unsigned char>(b)]) continue;
            if (b >= 0x80) {
                t.usable = false;
                continue;
            }
            t.low[b & 15] = static_cast<unsigned char>(t.low[b & 15] | (1u << (b >> 4)));
        }
        for (unsigned row = 0; row < 8; ++row) t.high[row] = static_cast<unsigned char>(1u << row);
        return t;
    }
};

#if BRELIM_SIMD
namespace detail {

// The bytes of the sixteen at `bytes` that are outside `Set`, one bit each.
template <const ByteSet& Set>
[[gnu::target("ssse3")]] unsigned outside_ssse3(const unsigned char* bytes) noexcept {
    static constexpr NibbleTables tables = NibbleTables::of(Set);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.low.data()));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.high.data()));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i lo = _mm_shuffle_epi8(low, _mm_and_si128(chunk, nibble));
    // A byte from 0x80 up keeps its top bit in the index, which makes the shuffle give 0.
    const __m128i hi_index =
        _mm_or_si128(_mm_and_si128(_mm_srli_epi16(chunk, 4), nibble), _mm_and_si128(chunk, _mm_set1_epi8(-128)));
    const __m128i hi = _mm_shuffle_epi8(high, hi_index);
    const __m128i outside = _mm_cmpeq_epi8(_mm_and_si128(lo, hi), _mm_setzero_si128());
    return static_cast<unsigned>(_mm_movemask_epi8(outside));
}

template <const ByteSet& Set>
[[gnu::target("ssse3")]] std::uint64_t outside_mask_ssse3(const unsigned char* bytes, std::size_t size) noexcept {
    if (size < 64) {  // padded with a byte that no such set holds
        unsigned char padded[64];
        std::memset(padded, 0xFF, sizeof padded);
        std::memcpy(padded, bytes, size);
        return outside_mask_ssse3<Set>(padded, 64);
    }
    std::uint64_t mask = 0;
    for (unsigned i = 0; i < 4; ++i) mask |= std::uint64_t{outside_ssse3<Set>(bytes + 16 * i)} << (16 * i);
    return mask;
}

}  // namespace detail
#endif

// One bit for each of the `size` (at most 64) bytes at `bytes` that is not in
// `Set`; the bits past `size` are set, so that every run stops at the end.
template <const ByteSet& Set>
std::uint64_t outside_mask(const char* bytes, std::size_t size) noexcept {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
#if BRELIM_SIMD
    if constexpr (NibbleTables::of(Set).usable) {
        if (simd::ssse3) return detail::outside_mask_ssse3<Set>(data, size);
    }
#endif
    std::uint64_t mask = size < 64 ? ~std::uint64_t{0} << size : 0;
    for (std::size_t i = 0; i < size; ++i) mask |= std::uint64_t{!Set[data[i]]} << i;
    return mask;
}

}  // namespace brelim
