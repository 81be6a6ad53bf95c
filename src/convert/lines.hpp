#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
            if (block_ + 64 >= document_.size()) return last();
            load(block_ + 64);
        }
        const std::size_t feed = block_ + static_cast<std::size_t>(__builtin_ctzll(feeds_));
        feeds_ &= feeds_ - 1;
        std::string_view line = document_.substr(start_, feed - start_);
        start_ = feed + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

private:
    // The rest of the document after its last line feed, unless empty.
    std::optional<std::string_view> last() noexcept {
        if (start_ >= document_.size()) return std::nullopt;
        const std::string_view rest = document_.substr(start_);
        start_ = document_.size();
        return rest;
    }

    // The line feeds of the 64 bytes from `block` on, one bit each.
    void load(std::size_t block) noexcept {
        block_ = block;
        const char* bytes = document_.data() + block;
        const std::size_t size = document_.size() - block < 64 ? document_.size() - block : 64;
        std::uint64_t feeds = 0;
#if defined(__SSE2__)
        if (size == 64) {
            const __m128i feed = _mm_set1_epi8('\n');
            for (int i = 0; i < 4; ++i) {
                const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
                const auto bits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, feed)));
                feeds |= static_cast<std::uint64_t>(bits) << (16 * i);
            }
            feeds_ = feeds;
            return;
        }
#endif
        for (std::size_t i = 0; i < size; ++i) {
            if (bytes[i] == '\n') feeds |= std::uint64_t{1} << i;
        }
        feeds_ = feeds;
    }

    std::string_view document_;
    std::size_t start_ = 0;  // where the next line begins
    std::size_t block_ = 0;  // the block `feeds_` describes
    std::uint64_t feeds_ = 0;
};

}  // namespace brelim
