#pragma once

// The occurrences of a headline's last link or hashtag in its content, which
// its HTML replaces, every one, by the anchor built from that link.

#include <cstddef>
#include <string_view>

#include "../bytes/find_text.hpp"
#include "../reading/headline.hpp"

namespace brelim {

// Walks `content` with every occurrence of `source` replaced, left to right,
// never overlapping, never searching an inserted anchor: `text(piece)` for
// the content between occurrences, `anchor()` for each occurrence.
// `next(from)` is the first occurrence at or after `from`, or npos.
template <class Next, class Text, class Anchor>
void for_each_replaced(std::string_view content, std::size_t source_size, Next next, Text text, Anchor anchor) {
    for (std::size_t from = 0;;) {
        const std::size_t hit = next(from);
        if (hit == std::string_view::npos) {
            text(content.substr(from));
            return;
        }
        text(content.substr(from, hit - from));
        anchor();
        from = hit + source_size;
        if (source_size == 0) {  // an empty source occurs before every character and at the end
            if (from == content.size()) return;
            text(content.substr(from++, 1));
        }
    }
}

// The occurrences of the headline's last link or hashtag in its content, as
// for_each_replaced walks them.
template <class Text, class Anchor>
void for_each_link_replaced(const Headline& headline, Text text, Anchor anchor) {
    const std::string_view content = headline.content;
    const std::string_view source = headline.link_source;
    if (headline.link_count == 0) {
        const auto search = [&](std::size_t from) { return find_text(content, source, from); };
        for_each_replaced(content, source.size(), search, text, anchor);
        return;
    }
    // The last link occurs at its own place and nowhere after it; before it
    // only where another link or hashtag begins, which ends before it does:
    // at the starts the reading recorded, or where a search finds it.
    const auto own = static_cast<std::size_t>(source.data() - content.data());
    const std::string_view before = content.substr(0, own);
    const bool recorded = headline.starts.whole(headline.link_count);
    const auto search = [&](std::size_t from) {
        if (from >= own) return from == own ? own : std::string_view::npos;
        std::size_t hit = std::string_view::npos;
        if (headline.link_count > 1) {
            hit = recorded ? headline.starts.find(content, headline.link_count, source, from, own)
                           : find_text(before, source, from);
        }
        return hit != std::string_view::npos ? hit : own;
    };
    for_each_replaced(content, source.size(), search, text, anchor);
}

}  // namespace brelim
