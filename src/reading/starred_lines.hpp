#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../bytes/byte_masks.hpp"

namespace brelim {

// Where the lines of a document that begin with an asterisk begin: the only
// lines that can be headlines. Line feeds and asterisks are found 64 bytes at
// a time as bit masks, and an asterisk right after a line feed (or at the
// very start) begins such a line; every other line costs nothing at all.
class StarredLines {
public:
    static constexpr std::size_t none = SIZE_MAX;

    explicit StarredLines(std::string_view document) noexcept : document_(document) { load(0, true); }

    // The next such line's first byte, in document order, or `none`.
    std::size_t next() noexcept {
        while (starts_ == 0) {
            if (block_ + 64 >= document_.size()) return none;
            load(block_ + 64, ends_in_feed_);
        }
        const std::size_t start = block_ + static_cast<std::size_t>(std::countr_zero(starts_));
        starts_ &= starts_ - 1;
        return start;
    }

private:
    // The masks of the 64 bytes from `block` on; `after_feed` tells whether
    // the byte before them ends a line.
    void load(std::size_t block, bool after_feed) noexcept {
        block_ = block;
        const std::size_t left = document_.size() - block;
        const auto [feeds, stars] = byte_masks<'\n', '*'>(document_.data() + block, left < 64 ? left : 64);
        starts_ = stars & ((feeds << 1) | std::uint64_t{after_feed});
        ends_in_feed_ = (feeds >> 63) != 0;
    }

    std::string_view document_;
    std::size_t block_ = 0;  // the block `starts_` describes
    std::uint64_t starts_ = 0;
    bool ends_in_feed_ = false;
};

}  // namespace brelim
