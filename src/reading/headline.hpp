#pragma once

// A headline as the renderer reads it, and the one way it is filled: the
// one-pass reading and the engine's pairs both show a headline's links and
// hashtags, in the order they stand, to a `RecordLinks`.

#include <cstddef>
#include <string_view>

#include "link_starts.hpp"

namespace brelim {

// What rendering needs of a headline, as views into its line: its level (its
// number of asterisks), its text after the asterisks, and the values its links and hashtags leave
// behind. `link_source` and `target` belong to the last link or hashtag;
// `label` to the last described link or hashtag, which may be an earlier one.
struct Headline {
    std::size_t level = 1;  // 1 to 4
    std::string_view content;
    std::string_view link_source;
    std::string_view target;  // empty when the headline has no link or hashtag
    std::string_view label;

    // How many links and hashtags the content holds, when a scan of the line
    // counted them (0: not counted). `link_source` is then the view of the
    // last one in the content, and its text can occur only where one of them
    // begins: "[" and "#" stand nowhere else in a headline's content.
    std::size_t link_count = 0;
    // Where they begin, when counted.
    LinkStarts starts;

    // As before any link or hashtag was recorded.
    void forget_links() noexcept {
        link_source = target = label = {};
        link_count = 0;
        starts.clear();
    }
};

// The label of the headline's anchor: the last described link's or
// hashtag's, else the last link's target.
inline std::string_view shown_label(const Headline& headline) noexcept {
    return headline.label.empty() ? headline.target : headline.label;
}

// Keeps the values that rendering reads, as a walk over the headline's links
// and hashtags in order leaves them. `source` is the whole link or hashtag.
struct RecordLinks {
    Headline& headline;

    void plain_link(std::string_view source, std::string_view target) noexcept {
        headline.link_source = source;
        headline.target = target;
        headline.starts.add(headline.link_count++, source.data());
    }
    void described_link(std::string_view source, std::string_view target, std::string_view desc) noexcept {
        plain_link(source, target);
        headline.label = desc;
    }
    void hashtag(std::string_view source) noexcept {
        plain_link(source, source.substr(1));
        headline.label = source;
    }
};

// The same interface for a headline that only has to be there.
struct IgnoreLinks {
    void plain_link(std::string_view, std::string_view) noexcept {}
    void described_link(std::string_view, std::string_view, std::string_view) noexcept {}
    void hashtag(std::string_view) noexcept {}
};

}  // namespace brelim
