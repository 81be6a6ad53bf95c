#pragma once

// Finding every occurrence of a link's source text in its headline. The
// headline is short and full of near misses ("[[" starts every link), so the
// search tests the needle's first and last byte sixteen places at a time and
// compares the rest only where both fit.

#include <cstddef>
#include <cstring>
#include <string_view>

#include "simd.hpp"

namespace brelim {

// The first occurrence of `needle` in `text` at or after `from`, or npos.
inline std::size_t find_text(std::string_view text, std::string_view needle, std::size_t from) noexcept {
    const std::size_t n = needle.size();
    if (n == 0) return from <= text.size() ? from : std::string_view::npos;
    if (text.size() < n || from > text.size() - n) return std::string_view::npos;
    const std::size_t last_start = text.size() - n;
    const char* bytes = text.data();
    const char first = needle.front();
    const char last = needle.back();
    const std::size_t middle = n >= 2 ? n - 2 : 0;  // what lies between first and last
    auto rest_matches = [&](std::size_t at) { return std::memcmp(bytes + at + 1, needle.data() + 1, middle) == 0; };
    std::size_t at = from;
#if BRELIM_SIMD
    // Sixteen starts at a time, the last sixteen overlapping the ones before.
    if (simd::sse2 && last_start >= 15) {
        const __m128i firsts = _mm_set1_epi8(first);
        const __m128i lasts = _mm_set1_epi8(last);
        // The starts among the sixteen from `base` whose first and last byte fit.
        auto fitting = [&](std::size_t base) {
            const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + base));
            const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + base + n - 1));
            return static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads, firsts), _mm_cmpeq_epi8(tails, lasts))));
        };
        auto first_match = [&](std::size_t base, unsigned candidates) {
            for (; candidates != 0; candidates &= candidates - 1) {
                const std::size_t candidate = base + static_cast<std::size_t>(__builtin_ctz(candidates));
                if (rest_matches(candidate)) return candidate;
            }
            return std::string_view::npos;
        };
        for (; at + 15 <= last_start; at += 16) {
            const std::size_t found = first_match(at, fitting(at));
            if (found != std::string_view::npos) return found;
        }
        if (at > last_start) return std::string_view::npos;
        const std::size_t base = last_start - 15;
        return first_match(base, fitting(base) & (~0u << (at - base)));
    }
#endif
    for (; at <= last_start; ++at) {
        if (bytes[at] == first && bytes[at + n - 1] == last && rest_matches(at)) return at;
    }
    return std::string_view::npos;
}

}  // namespace brelim
