#pragma once

// A headline's links and hashtags read from the masks of the 64 bytes that
// hold its line, with no branch per bracket: the ends of targets,
// descriptions and hashtag words come from additions whose carries run
// through the runs of plain bytes and of word bytes.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "headline.hpp"

namespace brelim {

// One bit per byte of a 64-byte window.
struct Marks {
    std::uint64_t not_plain;  // outside the plain bytes, and every bit past the text's end
    std::uint64_t not_word;   // outside a hashtag's word bytes, the same
    std::uint64_t hash;       // "#"
    std::uint64_t open;       // "["
    std::uint64_t close;      // "]"
};

namespace marks {

inline std::size_t lowest(std::uint64_t bits) noexcept { return static_cast<std::size_t>(std::countr_zero(bits)); }
inline std::size_t highest(std::uint64_t bits) noexcept {
    return 63 - static_cast<std::size_t>(std::countl_zero(bits));
}
// How many bits are set, of at least one; most lines have one link or hashtag,
// and a processor without a population count is asked for it in a call.
inline std::size_t count(std::uint64_t bits) noexcept {
    return (bits & (bits - 1)) == 0 ? 1 : static_cast<std::size_t>(std::popcount(bits));
}
// The bits at `at` and above.
inline std::uint64_t from(std::size_t at) noexcept { return ~std::uint64_t{0} << at; }

}  // namespace marks

// What the masks say of every link and hashtag of a window, worked out once
// for all of its lines: a run of plain or word bytes stops at a line feed, so
// nothing found here reaches from one line into another.
struct MarkedWindow {
    std::uint64_t not_plain;
    std::uint64_t tags;         // the "#" of each hashtag
    std::uint64_t word_ends;    // the byte after each hashtag's word
    std::uint64_t opens;        // the first "[" of each link
    std::uint64_t target_ends;  // the "]" after each link's target
    std::uint64_t described;    // those of them that a description follows
    std::uint64_t desc_ends;    // the "]" after each description
    std::uint64_t marked;       // every "#", "[" and "]" of those hashtags and links
    std::uint64_t broken;       // where a link that began fails

    static MarkedWindow of(const Marks& m) noexcept {
        const std::uint64_t plain = ~m.not_plain, word = ~m.not_word;
        MarkedWindow w{};
        w.not_plain = m.not_plain;
        // "#" before a word byte; "[[" and "][" before a plain byte; "]]".
        w.tags = m.hash & (word >> 1);
        w.opens = m.open & (m.open >> 1) & (plain >> 2);
        const std::uint64_t separators = m.close & (m.open >> 1) & (plain >> 2);
        const std::uint64_t closes = m.close & (m.close >> 1);
        // A run's first bit added to it carries to the byte after the run.
        w.word_ends = (word + (w.tags << 1)) & ~word;
        w.target_ends = (plain + (w.opens << 2)) & ~plain;
        w.described = w.target_ends & separators;
        w.desc_ends = (plain + (w.described << 2)) & ~plain;
        const std::uint64_t link_ends = (w.target_ends & closes) | w.desc_ends;
        w.marked = w.tags | w.opens | w.opens << 1 | w.described | w.described << 1 | link_ends | link_ends << 1;
        w.broken = (w.target_ends & ~(separators | closes)) | (w.desc_ends & ~closes);
        return w;
    }
};

// Reads the content of a headline, bytes `begin` to `end` (below 64) of the
// window at `window`, whose byte at `end` ends the line. When the content is
// plain runs, hashtags and links and nothing else, fills in `headline`'s
// content, last link or hashtag, label and count as the line's scan would,
// and returns true; otherwise returns false and leaves the line to the scan,
// which alone knows the rest (further headlines, a link that fails).
inline bool read_marks(const MarkedWindow& w, const char* window, std::size_t begin, std::size_t end,
                       Headline& headline) noexcept {
    using namespace marks;
    const std::uint64_t content = ((std::uint64_t{1} << end) - 1) & from(begin);
    // Every byte that is not plain must be a bracket of a link or a hashtag's
    // "#", and no link may fail, not even at the line's end.
    if (((w.not_plain ^ w.marked) & content) != 0 || (w.broken & (content | std::uint64_t{1} << end)) != 0) {
        return false;
    }
    auto view = [window](std::size_t first, std::size_t last) {
        return std::string_view(window + first, last - first);
    };
    headline.content = view(begin, end);
    const std::uint64_t starts = (w.opens | w.tags) & content;
    if (starts == 0) {
        headline.link_source = headline.target = headline.label = {};
        headline.link_count = 0;
        return true;
    }
    headline.link_count = count(starts);
    const std::size_t last = highest(starts);
    if ((w.tags >> last & 1) != 0) {
        const std::size_t word_end = lowest(w.word_ends & from(last + 1));
        headline.link_source = headline.label = view(last, word_end);
        headline.target = view(last + 1, word_end);
        return true;
    }
    const std::size_t target_end = lowest(w.target_ends & from(last + 2));
    headline.target = view(last + 2, target_end);
    if ((w.described >> target_end & 1) != 0) {
        const std::size_t desc_end = lowest(w.desc_ends & from(target_end));
        headline.link_source = view(last, desc_end + 2);
        headline.label = view(target_end + 2, desc_end);
        return true;
    }
    headline.link_source = view(last, target_end + 2);
    // A plain link shows the label of the last described link or hashtag
    // before it, if any.
    const std::uint64_t labelled = (w.tags | w.desc_ends) & content & ~from(last);
    if (labelled == 0) {
        headline.label = {};
    } else if (const std::size_t at = highest(labelled); (w.tags >> at & 1) != 0) {
        headline.label = view(at, lowest(w.word_ends & from(at + 1)));
    } else {
        headline.label = view(highest((w.described << 2) & ~from(at)), at);
    }
    return true;
}

}  // namespace brelim
