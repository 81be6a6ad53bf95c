#pragma once

// Which of up to sixteen bytes lie outside a set, from one block: for a
// piece too short to pay for a 64-byte window, such as a link's target.

#include <cstddef>
#include <cstdint>

#include "byte_set.hpp"
#include "nibble_tables.hpp"
#include "simd.hpp"

namespace brelim {

namespace detail {

template <const ByteSet& Set>
struct ShortOutsideMask {
    static constexpr bool looks_up = true;

    template <class Block>
    static std::uint32_t blocks(const unsigned char* data, std::size_t size) noexcept {
        static_assert(Block::size >= 16);
        const std::uint32_t outside = nibble_tables<Set>.outside(Block::load(data)).bits();
        return outside & ((std::uint32_t{1} << size) - 1);
    }

    static std::uint32_t bytes(const unsigned char* data, std::size_t size) noexcept {
        std::uint32_t mask = 0;
        for (std::size_t i = 0; i < size; ++i) mask |= std::uint32_t{!Set[data[i]]} << i;
        return mask;
    }
};

}  // namespace detail

// One bit for each of the `size` (at most 16) bytes at `bytes` that is not in
// `Set`, an ASCII set. The caller may read simd::block_size bytes from
// `bytes`, whatever `size` is; the bits from `size` up are clear.
template <const ByteSet& Set>
std::uint32_t short_outside_mask(const char* bytes, std::size_t size) noexcept {
    static_assert(nibble_tables<Set>.usable);
    return simd::dispatch<detail::ShortOutsideMask<Set>>(reinterpret_cast<const unsigned char*>(bytes), size);
}

}  // namespace brelim
