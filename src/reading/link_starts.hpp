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
    // the rest in the store given to keep_more_in(), if any.
    static constexpr std::size_t capacity = 16;

    // `more` keeps the places past the first `capacity`: a store that lasts
    // for a whole document, whose room grows to what its longest line needs,
    // so that no line allocates.
    void keep_more_in(std::vector<const char*>* more) noexcept { more_ = more; }

    // None recorded: the places the next add() calls fill hold them.
    void clear() noexcept {
        bits_ = 0;
        if (more_ != nullptr) more_->clear();
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
            add_more(at);
        }
    }

    // Whether every one of the content's `links` links and hashtags is
    // recorded, the content's links having been added or set.
    bool whole(std::size_t links) const noexcept {
        return bits_ != 0 || links <= capacity || (more_ != nullptr && more_->size() == links - capacity);
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
        const auto offset = [&](std::size_t i) {
            return static_cast<std::size_t>((i < capacity ? places_[i] : (*more_)[i - capacity]) - content.data());
        };
        // The places are in order, and the walk asks again from each
        // occurrence's end: the first place at or after `from` is found by
        // halving, so that a line of many occurrences is not read again from
        // its first place for each. The first search, from the content's
        // start, has nothing to halve.
        std::size_t low = 0, high = from == 0 ? 0 : links;
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (offset(middle) < from) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        for (std::size_t i = low; i < links; ++i) {
            const std::size_t at = offset(i);
            if (at >= end) break;
            if (occurs(at)) return at;
        }
        return std::string_view::npos;
    }

    // Whether `source`, the last of the content's `links` links and hashtags,
    // occurs at an earlier one's start too. Only when whole(links).
    bool occurs_earlier(std::string_view content, std::size_t links, std::string_view source) const noexcept {
        const auto own = static_cast<std::size_t>(source.data() - content.data());
        if (bits_ != 0) return find(content, links, source, 0, own) != std::string_view::npos;
        // The places are in order: the first that leaves no room for the
        // source before its own place ends the search.
        const std::size_t last = source.size() - 1;
        const std::size_t room = own > last ? own - last : 0;
        const auto occurs_in = [&](const char* const* place, const char* const* end) {
            for (; place != end; ++place) {
                const char* const at = *place;
                if (static_cast<std::size_t>(at - content.data()) >= room) return false;
                if (at[last] == source[last] && std::memcmp(at, source.data(), last) == 0) return true;
            }
            return false;
        };
        const std::size_t earlier = links - 1;
        if (earlier <= capacity) return occurs_in(places_, places_ + earlier);
        return occurs_in(places_, places_ + capacity) || occurs_in(more_->data(), more_->data() + (earlier - capacity));
    }

private:
    // Out of line: the store may grow. Where it cannot, it is given up, and
    // such contents are searched.
    BRELIM_NOINLINE void add_more(const char* at) noexcept {
        try {
            more_->push_back(at);
        } catch (...) {
            more_ = nullptr;
        }
    }

    std::uint64_t bits_ = 0;  // once set(): the places
    std::vector<const char*>* more_ = nullptr;
    const char* places_[capacity] = {};
};

}  // namespace brelim
