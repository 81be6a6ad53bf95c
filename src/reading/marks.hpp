#pragma once

// A headline's links and hashtags read from the masks of the 64 bytes that
// hold its line, with no branch per bracket: the ends of targets,
// descriptions and hashtag words come from additions whose carries run
// through the runs of plain bytes and of word bytes.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../bytes/portable.hpp"
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
// The lowest of bits of which one at least is set: the top bit, set as well,
// tells the compiler so, which spares the count its test for none.
inline std::size_t lowest_of_some(std::uint64_t bits) noexcept {
    return static_cast<unsigned>(std::countr_zero(bits | std::uint64_t{1} << 63));
}
// As 63 ^, which the compilers fold with the count into one instruction.
inline std::size_t highest(std::uint64_t bits) noexcept {
    return static_cast<std::size_t>(63 ^ std::countl_zero(bits));
}
// How many bits are set, of at least one; most lines have one link or hashtag.
// Counted in halves, quarters and bytes rather than by std::popcount, which
// on a processor without a population count is a call, and the call would
// cost the reading its registers.
inline std::size_t count(std::uint64_t bits) noexcept {
    if ((bits & (bits - 1)) == 0) return 1;
    bits -= (bits >> 1) & 0x5555555555555555;
    bits = (bits & 0x3333333333333333) + ((bits >> 2) & 0x3333333333333333);
    bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0f;
    return static_cast<std::size_t>((bits * 0x0101010101010101) >> 56);
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
        // A run's first bit added to it carries to the byte after the run.
        w.tags = m.hash & (word >> 1);
        w.word_ends = (word + (w.tags << 1)) & ~word;
        w.marked = w.tags;
        // Most windows of links have no hashtag and most of hashtags no link:
        // a window without "[[" has no link to work out.
        const std::uint64_t doubled = m.open & (m.open >> 1);
        if (doubled == 0) return w;
        w.opens = doubled & (plain >> 2);
        const std::uint64_t separators = m.close & (m.open >> 1) & (plain >> 2);
        const std::uint64_t closes = m.close & (m.close >> 1);
        w.target_ends = (plain + (w.opens << 2)) & ~plain;
        w.described = w.target_ends & separators;
        w.desc_ends = (plain + (w.described << 2)) & ~plain;
        const std::uint64_t link_ends = (w.target_ends & closes) | w.desc_ends;
        w.marked |= w.opens | w.opens << 1 | w.described | w.described << 1 | link_ends | link_ends << 1;
        w.broken = (w.target_ends & ~(separators | closes)) | (w.desc_ends & ~closes);
        return w;
    }
};

namespace marks {

inline std::string_view view(const char* window, std::size_t first, std::size_t last) noexcept {
    return std::string_view(window + first, last - first);
}

// The rarer endings of read_marks, out of line so that the commonest lines,
// one hashtag or one plain link, are read with no register saved: the last
// link at `last`, whose target ends at `target_end`, has a description.
BRELIM_NOINLINE inline bool read_described(const MarkedWindow& w, const char* window, std::size_t last,
                                           std::size_t target_end, Headline& headline) noexcept {
    const std::size_t desc_end = lowest(w.desc_ends & from(target_end));
    headline.link_source = view(window, last, desc_end + 2);
    headline.label = view(window, target_end + 2, desc_end);
    return true;
}

// A plain link shows the label of the last described link or hashtag before
// it, the highest of `labelled`.
BRELIM_NOINLINE inline bool read_earlier_label(const MarkedWindow& w, const char* window, std::uint64_t labelled,
                                               Headline& headline) noexcept {
    if (const std::size_t at = highest(labelled); (w.tags >> at & 1) != 0) {
        headline.label = view(window, at, lowest(w.word_ends & from(at + 1)));
    } else {
        headline.label = view(window, highest((w.described << 2) & ~from(at)), at);
    }
    return true;
}

}  // namespace marks

// Reads the content of a headline, bytes `begin` to `end` (below 64) of the
// window at `window`, whose byte at `end` ends the line. When the content is
// plain runs, hashtags and links and nothing else, fills in `headline`'s
// content, last link or hashtag, label and count as the line's scan would,
// and returns true; otherwise returns false and leaves the line to the scan,
// which alone knows the rest (further headlines, a link that fails).
// `content` is the mask of bytes `begin` to `end`, which the caller has at hand.
inline bool read_marks(const MarkedWindow& w, const char* window, std::size_t begin, std::size_t end,
                       std::uint64_t content, Headline& headline) noexcept {
    using namespace marks;
    // Every byte that is not plain must be a bracket of a link or a hashtag's
    // "#", and no link may fail, not even at the line's end.
    if (((w.not_plain ^ w.marked) & content) != 0 || (w.broken & (content | std::uint64_t{1} << end)) != 0) {
        return false;
    }
    headline.content = view(window, begin, end);
    const std::uint64_t starts = (w.opens | w.tags) & content;
    if (starts == 0) {
        headline.link_source = headline.target = headline.label = {};
        headline.link_count = 0;
        return true;
    }
    headline.link_count = count(starts);
    headline.starts.set(starts >> begin);
    const std::size_t last = highest(starts);
    if ((w.tags >> last & 1) != 0) {
        const std::size_t word_end = lowest_of_some(w.word_ends & from(last + 1));
        headline.link_source = headline.label = view(window, last, word_end);
        headline.target = view(window, last + 1, word_end);
        return true;
    }
    const std::size_t target_end = lowest_of_some(w.target_ends & from(last + 2));
    headline.target = view(window, last + 2, target_end);
    if ((w.described >> target_end & 1) != 0) return read_described(w, window, last, target_end, headline);
    headline.link_source = view(window, last, target_end + 2);
    const std::uint64_t labelled = (w.tags | w.desc_ends) & content & ~from(last);
    if (labelled != 0) return read_earlier_label(w, window, labelled, headline);
    headline.label = {};
    return true;
}

inline bool read_marks(const MarkedWindow& w, const char* window, std::size_t begin, std::size_t end,
                       Headline& headline) noexcept {
    return read_marks(w, window, begin, end, ((std::uint64_t{1} << end) - 1) & marks::from(begin), headline);
}

}  // namespace brelim
