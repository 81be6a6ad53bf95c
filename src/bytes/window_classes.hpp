#pragma once

// Several classes of the same 64 bytes at once: bytes equal to given ones,
// and bytes outside given sets. The bytes are loaded once, their nibbles
// split once and the level chosen once, however many masks are asked for;
// one mask at a time, each pays all three.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_set.hpp"
#include "nibble_tables.hpp"
#include "simd.hpp"
#include "window.hpp"

namespace brelim {

// The bytes that equality masks are for, and the sets that outside masks are
// for: the classes of a window.
template <char... Bytes>
struct Equal {};
template <const ByteSet&... Sets>
struct Outside {};

// One bit per byte of a window: `equal[k]` for the bytes equal to the k-th
// of Equal's, `outside[k]` for those outside the k-th of Outside's sets.
template <std::size_t Equals, std::size_t Sets>
struct WindowMasks {
    std::array<std::uint64_t, Equals> equal;
    std::array<std::uint64_t, Sets> outside;
};

namespace detail {

template <class, class>
struct WindowClasses;

template <char... Bytes, const ByteSet&... Sets>
struct WindowClasses<Equal<Bytes...>, Outside<Sets...>> {
    using Masks = WindowMasks<sizeof...(Bytes), sizeof...(Sets)>;
    static constexpr bool looks_up = sizeof...(Sets) != 0;
    static_assert((nibble_tables<Sets>.usable && ...), "a set with a byte above 0x7F");

    // Fewer than 64 bytes are padded with a byte that no such set holds and
    // that equals none of the bytes. Without `Lookups`, the outside masks are
    // found a byte at a time.
    template <class Block, bool Lookups = true>
    static Masks blocks(const unsigned char* data, std::size_t size) noexcept {
        unsigned char padded[64];
        if (size < 64) {
            std::memset(padded, 0xFF, sizeof padded);
            if (size != 0) std::memcpy(padded, data, size);
            data = padded;
        }
        const auto window = simd::Window<Block>::load(data);
        Masks masks;
        masks.equal = {
            window.mask([](Block block) { return block == Block::splat(static_cast<unsigned char>(Bytes)); })...};
        if constexpr (!Lookups) {
            masks.outside = bytes(data, 64).outside;
        } else if constexpr (sizeof...(Sets) != 0) {
            // The row of a byte's high nibble is the same for every set.
            constexpr std::size_t count = simd::Window<Block>::count;
            std::array<Block, count> lows, rows;
            const Block row_table = Block::table(NibbleTables::rows.data());
            for (std::size_t i = 0; i < count; ++i) {
                lows[i] = window.blocks[i].low_nibbles();
                rows[i] = window.blocks[i].high_nibbles().lookup(row_table);
            }
            masks.outside = {outside(nibble_tables<Sets>, lows, rows)...};
        }
        return masks;
    }
    template <class Block>
    static Masks without_lookups(const unsigned char* data, std::size_t size) noexcept {
        return blocks<Block, false>(data, size);
    }

    static Masks bytes(const unsigned char* data, std::size_t size) noexcept {
        Masks masks{};
        masks.outside = {(static_cast<void>(Sets), size < 64 ? ~std::uint64_t{0} << size : 0)...};
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char c = data[i];
            [[maybe_unused]] std::size_t k = 0;
            ((masks.equal[k++] |= std::uint64_t{c == static_cast<unsigned char>(Bytes)} << i), ...);
            k = 0;
            ((masks.outside[k++] |= std::uint64_t{!Sets[c]} << i), ...);
        }
        return masks;
    }

private:
    template <class Block, std::size_t N>
    static std::uint64_t outside(const NibbleTables& tables, const std::array<Block, N>& lows,
                                 const std::array<Block, N>& rows) noexcept {
        const Block low_table = Block::table(tables.low.data());
        simd::Window<Block> out;
        for (std::size_t i = 0; i < N; ++i) {
            out.blocks[i] = NibbleTables::outside_of_row(lows[i].lookup(low_table), rows[i]);
        }
        return out.mask([](Block block) { return block; });
    }
};

}  // namespace detail

// The masks of the `size` (at most 64) bytes at `bytes` for the classes
// `EqualBytes` (an Equal<...>) and `OutsideSets` (an Outside<...>), as
// byte_masks and outside_mask give them one at a time: the bits past `size`
// are clear in an equality mask and set in an outside mask. Every set must
// be ASCII.
template <class EqualBytes, class OutsideSets>
BRELIM_ALWAYS_INLINE auto window_classes(const char* bytes, std::size_t size) noexcept {
    using Kernel = detail::WindowClasses<EqualBytes, OutsideSets>;
    return simd::dispatch<Kernel>(reinterpret_cast<const unsigned char*>(bytes), size);
}

}  // namespace brelim
