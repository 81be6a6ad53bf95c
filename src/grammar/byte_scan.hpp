#pragma once

// Finding where a run of bytes from a set ends, sixteen bytes at a time where
// the processor allows: this is where long headlines spend their time.

#include <array>
#include <cstddef>
#include <string_view>

#include "byte_set.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define BRELIM_SCAN_SSSE3 1
#endif

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

namespace detail {

inline std::size_t scan_bytes(const unsigned char* bytes, std::size_t at, std::size_t size, const ByteSet& set) noexcept {
    while (at < size && set[bytes[at]]) ++at;
    return at;
}

#ifdef BRELIM_SCAN_SSSE3
// The bytes of the sixteen at `bytes` that are outside the set, one bit each.
[[gnu::target("ssse3")]] inline unsigned outside_ssse3(const unsigned char* bytes, __m128i low, __m128i high) noexcept {
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

// Needs at least sixteen bytes of input; the last chunk overlaps the one
// before it rather than reading past the end.
[[gnu::target("ssse3")]] inline std::size_t scan_ssse3(const unsigned char* bytes, std::size_t at, std::size_t size,
                                                       const NibbleTables& tables) noexcept {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.low.data()));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.high.data()));
    while (size - at >= 16) {
        const unsigned outside = outside_ssse3(bytes + at, low, high);
        if (outside != 0) return at + static_cast<std::size_t>(__builtin_ctz(outside));
        at += 16;
    }
    if (at == size) return at;
    const std::size_t base = size - 16;
    const unsigned outside = outside_ssse3(bytes + base, low, high) >> (at - base);
    return outside != 0 ? at + static_cast<std::size_t>(__builtin_ctz(outside)) : size;
}

inline const bool has_ssse3 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}();
#endif

}  // namespace detail

// Where the run of `Set` bytes that starts at `from` ends.
template <const ByteSet& Set>
std::size_t scan(std::string_view input, std::size_t from) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    std::size_t at = from;
#ifdef BRELIM_SCAN_SSSE3
    static constexpr NibbleTables tables = NibbleTables::of(Set);
    if constexpr (tables.usable) {
        if (input.size() >= 16 && detail::has_ssse3) return detail::scan_ssse3(bytes, at, input.size(), tables);
    }
#endif
    return detail::scan_bytes(bytes, at, input.size(), Set);
}

}  // namespace brelim
