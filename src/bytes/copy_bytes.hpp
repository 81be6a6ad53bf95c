#pragma once

// Copying the short pieces a fragment is made of: a headline's text, its
// scaffolding, an anchor's parts. A library call costs more than copying a
// few bytes, so pieces of up to sixteen bytes are copied inline as two
// possibly overlapping moves of a fixed size.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brelim {

inline void copy_bytes(char* to, const char* from, std::size_t n) noexcept {
    if (n > 16) {
        std::memcpy(to, from, n);
    } else if (n >= 8) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n != 0) {
        const char first = from[0], middle = from[n / 2], last = from[n - 1];
        to[0] = first;
        to[n / 2] = middle;
        to[n - 1] = last;
    }
}

}  // namespace brelim
