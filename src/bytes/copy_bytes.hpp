#pragma once

// Copying the short pieces a fragment is made of: a headline's text, its
// scaffolding, an anchor's parts. A library call costs more than copying a
// few bytes, so pieces of up to sixteen bytes are copied inline as two
// possibly overlapping moves of a fixed size.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brelim {

// The fixed sizes a short piece is moved by, whatever its own size: moving a
// piece so reads and writes this many bytes from its start.
inline constexpr std::size_t narrow_move = 16, widest_move = 64;

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

// Copies `n` bytes, at most widest_move, as one move of 16, 32 or 64 bytes,
// with no call: the caller has widest_move bytes to read at `from` and to
// write at `to`, and what lies past `n` is overwritten by the next piece or
// left unused.
inline void copy_within_64(char* to, const char* from, std::size_t n) noexcept {
    static_assert(narrow_move == 16 && widest_move == 64);
    if (n <= narrow_move) {
        std::memcpy(to, from, narrow_move);
    } else if (n <= widest_move / 2) {
        std::memcpy(to, from, widest_move / 2);
    } else {
        std::memcpy(to, from, widest_move);
    }
}

}  // namespace brelim
