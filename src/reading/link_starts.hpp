#pragma once

// Where a headline's links and hashtags begin, as its reading comes upon
// them, so that the renderer finds the last one's earlier occurrences
// without searching the text between them: "[" and "#" stand in a
// headline's content only where a link or hashtag begins.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace brelim {

class LinkStarts {
public:
    // Up to this many places are kept of a content read a link at a time.
    static constexpr std::size_t capacity = 16;

    // None recorded; only the count says which places hold one.
    void clear() noexcept {
        bits_ = 0;
        count_ = 0;
    }

    // A content read from masks, shorter than a window: bit i of `bits` is
    // set where its byte i begins a link or hashtag, one at least.
    void set(std::uint64_t bits) noexcept { bits_ = bits; }

    // The next link or hashtag of a content read in order.
    void add(const char* at) noexcept {
        if (count_ < capacity) places_[count_] = at;
        ++count_;
    }

    // Whether every one of the content's `links` links and hashtags is recorded.
    bool whole(std::size_t links) const noexcept { return bits_ != 0 || (count_ == links && count_ <= capacity); }

    // The first start at or after `from` and before `end`, offsets into
    // `content`, where `source` occurs and ends by `end`; npos if none. Only
    // when whole().
    std::size_t find(std::string_view content, std::string_view source, std::size_t from,
                     std::size_t end) const noexcept {
        // Every link begins "[[": the last byte tells most of them apart
        // before the rest is compared.
        const std::size_t last = source.size() - 1;
        const auto occurs = [&](std::size_t at) {
            return at >= from && at + last < end && content[at + last] == source[last] &&
                   std::memcmp(content.data() + at, source.data(), last) == 0;
        };
        if (bits_ != 0) {
            for (std::uint64_t bits = bits_; bits != 0; bits &= bits - 1) {
                const auto at = static_cast<std::size_t>(std::countr_zero(bits));
                if (at >= end) break;
                if (occurs(at)) return at;
            }
            return std::string_view::npos;
        }
        for (std::size_t i = 0; i < count_; ++i) {
            const auto at = static_cast<std::size_t>(places_[i] - content.data());
            if (at >= end) break;
            if (occurs(at)) return at;
        }
        return std::string_view::npos;
    }

private:
    std::uint64_t bits_ = 0;  // once set(): the places
    std::size_t count_ = 0;
    const char* places_[capacity] = {};
};

}  // namespace brelim
