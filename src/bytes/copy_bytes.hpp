#pragma once

// Copying the short pieces a fragment is made of: a headline's text, its
// scaffolding, an anchor's parts. A library call costs more than copying a
// few bytes, so pieces of up to sixteen bytes are copied inline as two
// possibly overlapping moves of a fixed size.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brelim {

namespace detail {

// The first and the last sizeof(Word) of `n` bytes, which may overlap.
template <class Word>
void copy_ends(char* to, const char* from, std::size_t n) noexcept {
    Word head, tail;
    std::memcpy(&head, from, sizeof head);
    std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
    std::memcpy(to, &head, sizeof head);
    std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
}

}  // namespace detail

inline void copy_bytes(char* to, const char* from, std::size_t n) noexcept {
    if (n > 16) {
        std::memcpy(to, from, n);
    } else if (n >= 8) {
        detail::copy_ends<std::uint64_t>(to, from, n);
    } else if (n >= 4) {
        detail::copy_ends<std::uint32_t>(to, from, n);
    } else if (n != 0) {
        const char first = from[0], middle = from[n / 2], last = from[n - 1];
        to[0] = first;
        to[n / 2] = middle;
        to[n - 1] = last;
    }
}

// Copies `n` bytes, at most 64, as one move of 16, 32 or 64 bytes, with no
// call: the caller has 64 bytes to read at `from` and to write at `to`, and
// what lies past `n` is overwritten by the next piece or left unused.
inline void copy_within_64(char* to, const char* from, std::size_t n) noexcept {
    if (n <= 16) {
        std::memcpy(to, from, 16);
    } else if (n <= 32) {
        std::memcpy(to, from, 32);
    } else {
        std::memcpy(to, from, 64);
    }
}

}  // namespace brelim
