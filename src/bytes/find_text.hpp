#pragma once

// Finding every occurrence of a link's source text in its headline. The
// headline is short and full of near misses ("[[" starts every link), so the
// search tests the needle's first and last byte a block of starts at a time
// and compares the rest only where both fit.

#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "simd.hpp"

namespace brelim {

namespace detail {

struct FindText {
    static constexpr std::size_t none = std::string_view::npos;
    static constexpr bool looks_up = false;

    // Whether the needle's bytes between its first and last are at `at`.
    static bool middle_matches(const unsigned char* at, std::string_view needle) noexcept {
        return needle.size() < 3 || std::memcmp(at + 1, needle.data() + 1, needle.size() - 2) == 0;
    }

    // Fewer than a block's worth of starts go a byte at a time; the last
    // block overlaps the ones before.
    template <class Block>
    static std::size_t blocks(const unsigned char* bytes, std::string_view needle, std::size_t at,
                              std::size_t last_start) noexcept {
        if (last_start < Block::size - 1) return FindText::bytes(bytes, needle, at, last_start);
        const std::size_t n = needle.size();
        const Block firsts = Block::splat(static_cast<unsigned char>(needle.front()));
        const Block lasts = Block::splat(static_cast<unsigned char>(needle.back()));
        // The starts among the block's from `base` whose first and last byte fit.
        auto fitting = [&](std::size_t base) {
            return ((Block::load(bytes + base) == firsts) & (Block::load(bytes + base + n - 1) == lasts)).bits();
        };
        auto first_match = [&](std::size_t base, unsigned candidates) {
            for (; candidates != 0; candidates &= candidates - 1) {
                const std::size_t candidate = base + static_cast<std::size_t>(std::countr_zero(candidates));
                if (middle_matches(bytes + candidate, needle)) return candidate;
            }
            return none;
        };
        for (; at + Block::size - 1 <= last_start; at += Block::size) {
            const std::size_t found = first_match(at, fitting(at));
            if (found != none) return found;
        }
        if (at > last_start) return none;
        const std::size_t base = last_start - (Block::size - 1);
        return first_match(base, fitting(base) & (~0u << (at - base)));
    }

    static std::size_t bytes(const unsigned char* bytes, std::string_view needle, std::size_t at,
                             std::size_t last_start) noexcept {
        const auto first = static_cast<unsigned char>(needle.front());
        const auto last = static_cast<unsigned char>(needle.back());
        for (; at <= last_start; ++at) {
            if (bytes[at] == first && bytes[at + needle.size() - 1] == last && middle_matches(bytes + at, needle)) {
                return at;
            }
        }
        return none;
    }
};

}  // namespace detail

// The first occurrence of `needle` in `text` at or after `from`, or npos.
inline std::size_t find_text(std::string_view text, std::string_view needle, std::size_t from) noexcept {
    const std::size_t n = needle.size();
    if (n == 0) return from <= text.size() ? from : std::string_view::npos;
    if (text.size() < n || from > text.size() - n) return std::string_view::npos;
    const std::size_t last_start = text.size() - n;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    // A block of starts needs that many of them.
    if (last_start < simd::narrowest_block - 1) return detail::FindText::bytes(bytes, needle, from, last_start);
    return simd::dispatch<detail::FindText>(bytes, needle, from, last_start);
}

}  // namespace brelim
