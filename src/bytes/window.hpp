#pragma once

// Sixty-four bytes as blocks of a level's type: how many registers that
// takes, and how their bits are gathered into one 64-bit mask, are this
// type's business, so that a primitive over a window never counts blocks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace brelim::simd {

// The bytes a window covers, whatever its block type.
inline constexpr std::size_t window_size = 64;

template <class Block>
class Window {
public:
    static constexpr std::size_t size = window_size;
    static constexpr std::size_t count = size / Block::size;
    static_assert(count * Block::size == size, "a block type that does not tile 64 bytes");

    // Exactly 64 bytes from `bytes`.
    static Window load(const unsigned char* bytes) noexcept {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return Window{{Block::load(bytes + I * Block::size)...}};
        }(std::make_index_sequence<count>{});
    }

    // Bit i is the top bit of byte i of `test` applied to each block: with a
    // comparison, one bit for each of the 64 bytes that passes it. A block
    // type may gather a window's bits its own way, when that beats one block
    // at a time.
    template <class Test>
    std::uint64_t mask(Test test) const noexcept {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            if constexpr (requires { Block::gather(std::array<Block, count>{}); }) {
                return Block::gather(std::array<Block, count>{test(blocks[I])...});
            } else {
                return ((std::uint64_t{test(blocks[I]).bits()} << (I * Block::size)) | ...);
            }
        }(std::make_index_sequence<count>{});
    }

    std::array<Block, count> blocks;
};

}  // namespace brelim::simd
