#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "simd.hpp"
#include "window.hpp"

namespace brelim {

namespace detail {

template <char... Wanted>
struct ByteMasks {
    using Masks = std::array<std::uint64_t, sizeof...(Wanted)>;
    static constexpr bool looks_up = false;

    // Exactly 64 bytes.
    template <class Block>
    static Masks blocks(const unsigned char* data, std::size_t) noexcept {
        const auto window = simd::Window<Block>::load(data);
        auto equal = [&](Block wanted) { return window.mask([wanted](Block block) { return block == wanted; }); };
        return Masks{equal(Block::splat(static_cast<unsigned char>(Wanted)))...};
    }

    // Out of line: it serves a document's last bytes and the byte-at-a-time
    // level, and inlined beside the blocks it crowds the callers' loops.
    BRELIM_NOINLINE static Masks bytes(const unsigned char* data, std::size_t size) noexcept {
        Masks masks{};
        for (std::size_t i = 0; i < size; ++i) {
            std::size_t k = 0;
            ((masks[k++] |= std::uint64_t{data[i] == static_cast<unsigned char>(Wanted)} << i), ...);
        }
        return masks;
    }
};

}  // namespace detail

// For each of the given bytes, one bit for each of the `size` (at most 64)
// bytes at `bytes` that equals it; the bytes are loaded once. This
// is how lines and their first bytes are found a block at a time.
template <char... Wanted>
std::array<std::uint64_t, sizeof...(Wanted)> byte_masks(const char* bytes, std::size_t size) noexcept {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    if (size < 64) return detail::ByteMasks<Wanted...>::bytes(data, size);
    return simd::dispatch<detail::ByteMasks<Wanted...>>(data, size);
}

}  // namespace brelim
