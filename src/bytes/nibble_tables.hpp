#pragma once

// A set of ASCII bytes as two 16-entry tables, so that a block of bytes is
// classified by two table lookups, whatever the set.

#include <array>

#include "byte_set.hpp"

namespace brelim {

// Byte b is in the set when low[b & 15] & high[b >> 4] is not zero: each bit
// of `high` names one row of sixteen code points. Rows 8 to 15, the bytes
// from 0x80 up, are zero, so such a byte is never in it.
struct NibbleTables {
    alignas(16) std::array<unsigned char, 16> low{};
    alignas(16) std::array<unsigned char, 16> high{};
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
        t.high = rows;
        return t;
    }

    // Each row's bit, the same for every set: bytes from 0x80 up have none.
    static constexpr std::array<unsigned char, 16> rows = {1, 2, 4, 8, 16, 32, 64, 128};

    // All ones in each byte of `chunk` that is outside the set, else zero.
    template <class Block>
    Block outside(Block chunk) const noexcept {
        const Block in_row = chunk.low_nibbles().lookup(Block::table(low.data()));
        const Block row = chunk.high_nibbles().lookup(Block::table(high.data()));
        return outside_of_row(in_row, row);
    }

    // The same from the two lookups: `low` looked up at the low nibbles, and
    // `rows` at the high nibbles.
    template <class Block>
    static Block outside_of_row(Block in_row, Block row) noexcept {
        return (in_row & row) == Block::splat(0);
    }
};

template <const ByteSet& Set>
inline constexpr NibbleTables nibble_tables = NibbleTables::of(Set);

}  // namespace brelim
