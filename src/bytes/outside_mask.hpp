#pragma once

// Which bytes lie outside a set, sixty-four at a time: one bit per byte, so
// that where a run of the set's bytes ends is a count of trailing zeros.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_set.hpp"
#include "nibble_tables.hpp"
#include "simd.hpp"
#include "window.hpp"

namespace brelim {

namespace detail {

template <const ByteSet& Set>
struct OutsideMask {
    static constexpr bool looks_up = true;

    template <class Block>
    static std::uint64_t blocks(const unsigned char* data, std::size_t size) noexcept {
        constexpr const NibbleTables& tables = nibble_tables<Set>;
        unsigned char padded[64];
        if (size < 64) {  // with a byte that no such set holds
            std::memset(padded, 0xFF, sizeof padded);
            if (size != 0) std::memcpy(padded, data, size);
            data = padded;
        }
        return simd::Window<Block>::load(data).mask([&](Block block) { return tables.outside(block); });
    }

    static std::uint64_t bytes(const unsigned char* data, std::size_t size) noexcept {
        std::uint64_t mask = size < 64 ? ~std::uint64_t{0} << size : 0;
        for (std::size_t i = 0; i < size; ++i) mask |= std::uint64_t{!Set[data[i]]} << i;
        return mask;
    }
};

}  // namespace detail

// One bit for each of the `size` (at most 64) bytes at `bytes` that is not in
// `Set`; the bits past `size` are set, so that every run stops at the end.
template <const ByteSet& Set>
std::uint64_t outside_mask(const char* bytes, std::size_t size) noexcept {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    if constexpr (!nibble_tables<Set>.usable) {
        return detail::OutsideMask<Set>::bytes(data, size);
    } else {
        return simd::dispatch<detail::OutsideMask<Set>>(data, size);
    }
}

}  // namespace brelim
