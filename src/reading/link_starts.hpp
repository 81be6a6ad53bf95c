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
#include <vector>

#include "../bytes/portable.hpp"

namespace brelim {

class LinkStarts {
public:
    // Up to this many places are kept of a content read a link at a time,
    // and all of them, past this many, in the store given to keep_more_in(),
    // if any.
    static constexpr std::size_t capacity = 16;

    // `more` keeps the places of a content with more than `capacity` links
    // and hashtags, one bit a byte from the first one's start, for a
    // document that ends at `end`: a store that lasts for the whole document,
    // its room taken once, when a line first needs it, for the rest of the
    // document, so that no line allocates and none copies it. Only the words
    // a line reaches are touched. Every word past the used ones is zero.
    void keep_more_in(std::vector<std::uint64_t>* more, const char* end) noexcept {
        more_ = more;
        end_ = end;
    }

    // None recorded: the places the next add() calls fill hold them.
    void clear() noexcept {
        bits_ = 0;
        kept_ = 0;
        if (used_ != 0) clear_more();
    }

    // A content read from masks, shorter than a window: bit i of `bits` is
    // set where its byte i begins a link or hashtag, one at least.
    void set(std::uint64_t bits) noexcept { bits_ = bits; }

    // The link or hashtag numbered `index` (from 0) of a content read in
    // order, after clear().
    void add(std::size_t index, const char* at) noexcept {
        if (index < capacity) {
            places_[index] = at;
        } else if (more_ != nullptr) {
            add_more(index, at);
        }
    }

    // Whether every one of the content's `links` links and hashtags is
    // recorded, the content's links having been added or set.
    bool whole(std::size_t links) const noexcept {
        return bits_ != 0 || links <= capacity || (more_ != nullptr && kept_ == links);
    }

    // The first start at or after `from` and before `end`, offsets into
    // `content`, where `source` occurs and ends by `end`; npos if none. Only
    // when whole(links).
    std::size_t find(std::string_view content, std::size_t links, std::string_view source, std::size_t from,
                     std::size_t end) const noexcept {
        // Every link begins "[[": the last byte tells most of them apart
        // before the rest is compared.
        const std::size_t last = source.size() - 1;
        const auto occurs = [&](std::size_t at) {
            return at >= from && at + last < end && content[at + last] == source[last] &&
                   std::memcmp(content.data() + at, source.data(), last) == 0;
        };
        if (bits_ != 0) {
            if (from >= 64) return std::string_view::npos;
            for (std::uint64_t bits = bits_ & (~std::uint64_t{0} << from); bits != 0; bits &= bits - 1) {
                const auto at = static_cast<std::size_t>(std::countr_zero(bits));
                if (at >= end) break;
                if (occurs(at)) return at;
            }
            return std::string_view::npos;
        }
        if (links > capacity) {
            // The walk asks again from each occurrence's end: the store is
            // read from `from`'s word on, never again from its start.
            const auto base = static_cast<std::size_t>(places_[0] - content.data());
            const std::size_t first = from > base ? from - base : 0;
            for (std::size_t word = first / 64; word < used_; ++word) {
                std::uint64_t bits = (*more_)[word];
                if (word == first / 64) bits &= ~std::uint64_t{0} << (first % 64);
                for (; bits != 0; bits &= bits - 1) {
                    const std::size_t at = base + word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
                    if (at >= end) return std::string_view::npos;
                    if (occurs(at)) return at;
                }
            }
            return std::string_view::npos;
        }
        for (std::size_t i = 0; i < links; ++i) {
            const auto at = static_cast<std::size_t>(places_[i] - content.data());
            if (at >= end) break;
            if (occurs(at)) return at;
        }
        return std::string_view::npos;
    }

    // Whether `source`, the last of the content's `links` links and hashtags,
    // occurs at an earlier one's start too. Only when whole(links).
    bool occurs_earlier(std::string_view content, std::size_t links, std::string_view source) const noexcept {
        const auto own = static_cast<std::size_t>(source.data() - content.data());
        if (bits_ != 0 || links > capacity) return find(content, links, source, 0, own) != std::string_view::npos;
        // The places are in order: the first that leaves no room for the
        // source before its own place ends the search.
        const std::size_t last = source.size() - 1;
        const std::size_t room = own > last ? own - last : 0;
        for (std::size_t i = 0; i + 1 < links; ++i) {
            const char* const at = places_[i];
            if (static_cast<std::size_t>(at - content.data()) >= room) return false;
            if (at[last] == source[last] && std::memcmp(at, source.data(), last) == 0) return true;
        }
        return false;
    }

private:
    // Out of line: the store may grow. The first place past `capacity`
    // brings the earlier ones into it. Where it cannot grow, it is given up,
    // and such contents are searched.
    BRELIM_NOINLINE void add_more(std::size_t index, const char* at) noexcept {
        try {
            if (index == capacity) {
                for (const char* const place : places_) mark(place);
            }
            mark(at);
        } catch (...) {
            used_ = 0;
            more_ = nullptr;
        }
    }

    void mark(const char* at) {
        const auto offset = static_cast<std::size_t>(at - places_[0]);
        const std::size_t word = offset / 64;
        if (word >= more_->size()) {
            if (more_->capacity() == 0) more_->reserve(static_cast<std::size_t>(end_ - places_[0]) / 64 + 1);
            more_->resize(word + 1);
        }
        if (word >= used_) used_ = word + 1;
        (*more_)[word] |= std::uint64_t{1} << (offset % 64);
        ++kept_;
    }

    BRELIM_NOINLINE void clear_more() noexcept {
        std::memset(more_->data(), 0, used_ * sizeof(std::uint64_t));
        used_ = 0;
    }

    std::uint64_t bits_ = 0;  // once set(): the places
    std::size_t kept_ = 0;    // places in the store
    std::size_t used_ = 0;    // words of the store that may be other than zero
    std::vector<std::uint64_t>* more_ = nullptr;
    const char* end_ = nullptr;
    const char* places_[capacity] = {};
};

}  // namespace brelim
