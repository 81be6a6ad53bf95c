#pragma once

// How far a fast path may go past a piece of the document or of the output.
// The document is its owner's buffer, borrowed and never copied: a piece is
// read past only as far as the document goes on (`Readable`). The output is
// written past a piece only within the room asked of the buffer. Every such
// amount is named here and tied to the block and move sizes that need it.

#include <cstddef>
#include <cstdint>

#include "copy_bytes.hpp"
#include "simd.hpp"
#include "window.hpp"

namespace brelim {

// Where the bytes that may be read end, for a fast path that reads past the
// piece of the document it was given.
class Readable {
public:
    // Nothing past a piece may be read.
    constexpr Readable() noexcept = default;
    // Every byte from a piece up to `end` may be read.
    explicit Readable(const char* end) noexcept : end_(reinterpret_cast<std::uintptr_t>(end)) {}

    // Whether the `size` bytes from `at` may be read. Compared as addresses:
    // without an end, the end is zero, which no piece lies below, so that
    // case needs no test of its own.
    bool reaches(const char* at, std::size_t size) const noexcept {
        return reinterpret_cast<std::uintptr_t>(at) + size <= end_;
    }

private:
    std::uintptr_t end_ = 0;
};

namespace slack {

// A link target of up to short_target bytes, written from one block's mask
// of it and moves of narrow_move between the bytes it encodes: read from its
// start, written past its href.
inline constexpr std::size_t short_target = narrow_move;
inline constexpr std::size_t href_read = short_target + narrow_move, href_write = narrow_move;
static_assert(simd::block_size <= href_read, "a target's mask loads a block from its start");
static_assert(simd::block_size >= short_target || simd::block_size == 1, "one block holds a short target");

// A line read from its window, and so shorter than one: its text is moved
// whole, read from its start and written past its end.
inline constexpr std::size_t line_read = widest_move, line_write = widest_move;
static_assert(simd::window_size <= widest_move, "a line shorter than a window takes one move");

// A short line: shorter than a window, each of its pieces starting within it
// and moved by at most widest_move; read from its content's start.
inline constexpr std::size_t short_line = simd::window_size;
inline constexpr std::size_t short_line_read = short_line + widest_move;
static_assert(href_read <= widest_move, "a short line's target is read within its slack");

}  // namespace slack

}  // namespace brelim
