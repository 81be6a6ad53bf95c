#pragma once

#include <cstddef>
#include <string_view>

#include "rule.hpp"

namespace brelim {

// What rendering needs of a headline, as views into its line: its level, its
// text after the asterisks, and the values its links and hashtags leave
// behind. `link_source` and `target` belong to the last link or hashtag;
// `label` to the last described link or hashtag, which may be an earlier one.
struct Headline {
    Rule rule = Rule::headline1;  // headline1 to headline4
    std::string_view content;
    std::string_view link_source;
    std::string_view target;  // empty when the headline has no link or hashtag
    std::string_view label;

    // How many links and hashtags the content holds, when a scan of the line
    // counted them (0: not counted). `link_source` is then the view of the
    // last one in the content, and its text can occur only where one of them
    // begins: "[" and "#" stand nowhere else in a headline's content.
    std::size_t link_count = 0;
};

}  // namespace brelim
