#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "../bytes/byte_masks.hpp"

namespace brelim {

// The lines of a document, as views without their endings. A line ends at a
// line feed; a carriage return is part of the ending only right before one.
// A final line feed does not start an empty last line.
//
// Line feeds are found 64 bytes at a time as a bit mask, so a short line
// costs a few instructions rather than a call that searches for its end.
class Lines {
public:
    explicit Lines(std::string_view document) noexcept : document_(document) { load(0); }

    std::optional<std::string_view> next() noexcept {
        while (feeds_ == 0) {
            if (block_ + 64 >= document_.size()) {  // the rest after the last line feed, unless empty
                if (start_ >= document_.size()) return std::nullopt;
                const std::string_view rest = document_.substr(start_);
                start_ = document_.size();
                return rest;
            }
            load(block_ + 64);
        }
        const std::size_t feed = block_ + static_cast<std::size_t>(std::countr_zero(feeds_));
        feeds_ &= feeds_ - 1;
        std::string_view line = document_.substr(start_, feed - start_);
        start_ = feed + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

private:
    // The line feeds of the 64 bytes from `block` on, one bit each.
    void load(std::size_t block) noexcept {
        block_ = block;
        const std::size_t left = document_.size() - block;
        feeds_ = byte_masks<'\n'>(document_.data() + block, left < 64 ? left : 64)[0];
    }

    std::string_view document_;
    std::size_t start_ = 0;  // where the next line begins
    std::size_t block_ = 0;  // the block `feeds_` describes
    std::uint64_t feeds_ = 0;
};

}  // namespace brelim
