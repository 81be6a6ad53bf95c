#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../bytes/byte_classes.hpp"
#include "../bytes/byte_masks.hpp"
#include "../bytes/outside_mask.hpp"
#include "../bytes/window_classes.hpp"
#include "headline.hpp"
#include "marks.hpp"

namespace brelim {

// Where the lines of a document that begin with an asterisk begin, as
// StarredLines finds them, and, for the commonest of them, the whole reading:
// a headline of level 1 to 3 whose text is plain bytes up to a line feed in
// the same 64 bytes is decided by the masks of those bytes alone. The line
// feeds and asterisks are found for every 64 bytes; the bytes that are not
// plain only for 64 bytes where a starred line begins, once for all its lines.
class StarredWindow {
public:
    static constexpr std::size_t none = SIZE_MAX;
    // What read() adds to the level of a line with links or hashtags.
    static constexpr std::size_t marked = 4;

    explicit StarredWindow(std::string_view document) noexcept
        : document_(document), blocks_(simd::active_level() != simd::Level::scalar) {
        load(0, true);
    }

    // The next starred line's first byte, in document order, or `none`.
    std::size_t next() noexcept {
        if (starts_ == 0 && !skip()) return none;
        const std::size_t start = block_ + static_cast<std::size_t>(std::countr_zero(starts_));
        starts_ &= starts_ - 1;
        return start;
    }

    // When the line that next() returned last, at `begin`, is a headline of
    // level 1 to 3 whose content ends at a line feed within these 64 bytes
    // and holds plain runs, links and hashtags only: its level (1 to 3), and
    // `first.content` its content; with `marked` added when it holds links
    // or hashtags, `first` then describing it as the line's scan would.
    // Otherwise 0, and the line must be scanned.
    std::size_t read(std::size_t begin, Headline& first) noexcept {
        if (!blocks_) return 0;
        std::size_t offset = begin - block_;
        std::uint64_t feeds = feeds_ >> offset;
        if (feeds == 0) {
            // The line goes on past these 64 bytes: the next 64 start with it,
            // unless it has 16 of them behind it already, when it is likely
            // too long for a window and is scanned; the search for starred
            // lines then goes on from its end, with no window restarted.
            if (offset < 48) return 0;
            load(begin, true);
            starts_ &= starts_ - 1;  // this line's own start
            offset = 0;
            feeds = feeds_;
            if (feeds == 0) return 0;
        }
        const std::size_t end = offset + static_cast<std::size_t>(std::countr_zero(feeds));
        const std::size_t content = offset + static_cast<std::size_t>(std::countr_one(stars_ >> offset));
        const std::size_t stars = content - offset;
        if (stars > 3 || content == end) return 0;
        if (!classified_) classify();
        const std::uint64_t text = ((std::uint64_t{1} << end) - 1) & (~std::uint64_t{0} << content);
        if ((not_plain_ & text) == 0) {
            first.content = std::string_view(window() + content, end - content);
            return stars;
        }
        if (!read_marked(content, end, text, first)) return 0;
        first.level = stars;
        return stars | marked;
    }

    // The lines up to `end`, from the one that next() returned last on, are
    // read: the search goes on after it, and when that lies past these 64
    // bytes, from there, the bytes between never looked at.
    void pass(std::size_t end) noexcept {
        const std::size_t offset = end - block_;
        if (offset >= 64) {
            load(end, false);
        } else {
            starts_ &= ~std::uint64_t{0} << offset << 1;
        }
    }

    // The 64 bytes the masks describe, and whether the bytes that are not
    // plain among them have been found (`outside`, as outside_mask gives them).
    std::size_t block() const noexcept { return block_; }
    bool classified() const noexcept { return classified_; }
    std::uint64_t outside() const noexcept { return not_plain_; }

private:
    // Moves on to the next 64 bytes where a starred line begins, if any: the
    // bytes before, prose mostly, cost a load of their masks each and no more.
    // Out of line, so that the masks are inlined here whatever the caller.
    BRELIM_NOINLINE bool skip() noexcept {
        const std::size_t size = document_.size();
        std::size_t block = block_;
        bool after_feed = (feeds_ >> 63) != 0;
        std::uint64_t feeds, stars, starts;
        for (;;) {
            block += 64;
            if (block >= size) return false;
            const std::size_t left = size - block;
            const char* const bytes = document_.data() + block;
            // Most 64 bytes of prose hold no asterisk: their line feeds are
            // not needed, but for whether the last byte ends a line.
            stars = byte_masks<'*'>(bytes, left < 64 ? left : 64)[0];
            if (stars == 0) {
                after_feed = left >= 64 && bytes[63] == '\n';
                continue;
            }
            feeds = byte_masks<'\n'>(bytes, left < 64 ? left : 64)[0];
            starts = stars & ((feeds << 1) | std::uint64_t{after_feed});
            after_feed = (feeds >> 63) != 0;
            if (starts != 0) break;
        }
        block_ = block;
        feeds_ = feeds;
        stars_ = stars;
        starts_ = starts;
        classified_ = marked_ = false;
        return true;
    }

    // The masks of the 64 bytes from `block` on; `after_feed` tells whether
    // the byte before them ends a line.
    void load(std::size_t block, bool after_feed) noexcept {
        block_ = block;
        const std::size_t left = document_.size() - block;
        const auto [feeds, stars] = byte_masks<'\n', '*'>(document_.data() + block, left < 64 ? left : 64);
        feeds_ = feeds;
        stars_ = stars;
        starts_ = stars & ((feeds << 1) | std::uint64_t{after_feed});
        classified_ = marked_ = false;
    }

    const char* window() const noexcept { return document_.data() + block_; }
    std::size_t window_size() const noexcept {
        const std::size_t left = document_.size() - block_;
        return left < 64 ? left : 64;
    }

    void classify() noexcept {
        not_plain_ = outside_mask<plain_bytes>(window(), window_size());
        classified_ = true;
    }

    // The links and hashtags of a line that is not all plain. Out of line, so
    // that the plain lines keep their registers; and with no call but the
    // last, so that a line read from marks found already saves none.
    BRELIM_NOINLINE bool read_marked(std::size_t content, std::size_t end, std::uint64_t text,
                                     Headline& first) noexcept {
        if (!marked_) return mark_and_read(content, end, text, first);
        return read_marks(marked_window_, window(), content, end, text, first);
    }

    // The window's marks, for the first line that needs them, and that line.
    BRELIM_NOINLINE bool mark_and_read(std::size_t content, std::size_t end, std::uint64_t text,
                                       Headline& first) noexcept {
        // The marks of 64 bytes cost more than the scan of one line: they
        // are found only for a window that holds another starred line up
        // to its line feed.
        if (starts_ == 0 || (feeds_ >> std::countr_zero(starts_)) == 0) return false;
        const auto [bytes, outside] =
            window_classes<Equal<'#', '[', ']'>, Outside<word_bytes>>(window(), window_size());
        marked_window_ = MarkedWindow::of(Marks{not_plain_, outside[0], bytes[0], bytes[1], bytes[2]});
        marked_ = true;
        return read_marks(marked_window_, window(), content, end, text, first);
    }

    std::string_view document_;
    // Whether bytes are looked at a block at a time. A byte at a time, the
    // masks of 64 bytes cost more than the scan of a line, which then reads
    // every line.
    bool blocks_;
    std::size_t block_ = 0;  // the 64 bytes the masks describe
    std::uint64_t feeds_ = 0;
    std::uint64_t stars_ = 0;
    std::uint64_t starts_ = 0;      // the starred lines not yet returned
    std::uint64_t not_plain_ = 0;   // once classified_
    MarkedWindow marked_window_{};  // once marked_
    bool classified_ = false;
    bool marked_ = false;
};

}  // namespace brelim
