#pragma once

// Sixty-four bytes as blocks of a level's type: how many registers that
// takes, and how their bits are gathered into one 64-bit mask, are this
// type's business, so that a primitive over a window never counts blocks.
//
// A comparison of two blocks answers with its own type: a block of all-ones
// and zero bytes, or (a block whose comparisons give masks) a mask. Either
// has `bits()`, one bit a byte, and `&`.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

    // The `size` bytes from `bytes`, fewer than 64, and `fill` in the rest,
    // reading no byte past them. A block type as wide as a window may load
    // them its own way; any other loads them padded on the stack.
    static Window load_first(const unsigned char* bytes, std::size_t size, unsigned char fill) noexcept {
        if constexpr (count == 1 && requires { Block::load_first(bytes, size, fill); }) {
            return Window{{Block::load_first(bytes, size, fill)}};
        } else {
            unsigned char padded[window_size];
            std::memset(padded, fill, sizeof padded);
            if (size != 0) std::memcpy(padded, bytes, size);
            return load(padded);
        }
    }

    // Bit i is bit i % Block::size of `test`'s answer for block i /
    // Block::size: with a comparison, one bit for each of the 64 bytes that
    // passes it.
    template <class Test>
    std::uint64_t mask(Test test) const noexcept {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return gather(std::array{test(blocks[I])...});
        }(std::make_index_sequence<count>{});
    }

    // The bits of a window's answers, one per block in order. A block type
    // may gather them its own way, when that beats one block at a time.
    template <class Answer>
    static std::uint64_t gather(const std::array<Answer, count>& answers) noexcept {
        if constexpr (requires { Block::gather(answers); }) {
            return Block::gather(answers);
        } else {
            return [&]<std::size_t... I>(std::index_sequence<I...>) {
                return ((std::uint64_t{answers[I].bits()} << (I * Block::size)) | ...);
            }(std::make_index_sequence<count>{});
        }
    }

    std::array<Block, count> blocks;
};

}  // namespace brelim::simd
