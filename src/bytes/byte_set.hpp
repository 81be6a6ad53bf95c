#pragma once

#include <array>
#include <cstddef>

namespace brelim {

// A set of byte values as a 256-entry table: one load per membership test.
struct ByteSet {
    std::array<bool, 256> bits{};

    constexpr bool operator[](unsigned char byte) const noexcept { return bits[byte]; }
    constexpr bool operator==(const ByteSet&) const noexcept = default;

    constexpr ByteSet operator|(const ByteSet& other) const noexcept {
        ByteSet both;
        for (std::size_t i = 0; i < 256; ++i) both.bits[i] = bits[i] || other.bits[i];
        return both;
    }

    template <class... Chars>
    static constexpr ByteSet of(Chars... chars) noexcept {
        ByteSet set;
        ((set.bits[static_cast<unsigned char>(chars)] = true), ...);
        return set;
    }

    static constexpr ByteSet range(unsigned lo, unsigned hi) noexcept {
        ByteSet set;
        for (unsigned b = lo; b <= hi && b < 256; ++b) set.bits[b] = true;
        return set;
    }
};

}  // namespace brelim
