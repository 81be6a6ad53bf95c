#pragma once

// Finding where a run of bytes from a set ends, a block at a time: this is
// where long headlines spend their time.

#include <bit>
#include <cstddef>
#include <string_view>

#include "byte_set.hpp"
#include "nibble_tables.hpp"
#include "simd.hpp"

namespace brelim {

namespace detail {

template <const ByteSet& Set>
struct Scan {
    static constexpr bool looks_up = true;

    // Less than a block's worth of input goes a byte at a time; the last
    // block overlaps the one before it rather than reading past the end.
    template <class Block>
    static std::size_t blocks(const unsigned char* bytes, std::size_t at, std::size_t size) noexcept {
        if (size < Block::size) return Scan::bytes(bytes, at, size);
        constexpr const NibbleTables& tables = nibble_tables<Set>;
        for (; size - at >= Block::size; at += Block::size) {
            const unsigned outside = tables.outside(Block::load(bytes + at)).bits();
            if (outside != 0) return at + static_cast<std::size_t>(std::countr_zero(outside));
        }
        if (at == size) return at;
        const std::size_t base = size - Block::size;
        const unsigned outside = tables.outside(Block::load(bytes + base)).bits() >> (at - base);
        return outside != 0 ? at + static_cast<std::size_t>(std::countr_zero(outside)) : size;
    }

    static std::size_t bytes(const unsigned char* bytes, std::size_t at, std::size_t size) noexcept {
        while (at < size && Set[bytes[at]]) ++at;
        return at;
    }
};

}  // namespace detail

// Where the run of `Set` bytes that starts at `from` ends.
template <const ByteSet& Set>
std::size_t scan(std::string_view input, std::size_t from) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    if constexpr (!nibble_tables<Set>.usable) {
        return detail::Scan<Set>::bytes(bytes, from, input.size());
    } else {
        if (input.size() < simd::narrowest_block) return detail::Scan<Set>::bytes(bytes, from, input.size());
        return simd::dispatch<detail::Scan<Set>>(bytes, from, input.size());
    }
}

}  // namespace brelim
