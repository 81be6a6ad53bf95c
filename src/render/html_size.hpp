#pragma once

// The measure of a headline's HTML, counted without writing it.

#include <cstddef>
#include <vector>

#include "../reading/headline.hpp"

namespace brelim {

// The number of bytes append_html writes for the headline after its
// scaffolding: SIZE_MAX when that many cannot be counted.
std::size_t html_size(const Headline& headline);

// Whether the headline's anchor shows a label carried over from an earlier
// link or hashtag: the last link is a plain one, and something before it had
// a label. Such a label is repeated at every occurrence of that link, which
// is how a line's HTML can grow with the square of its length.
bool label_carried_over(const Headline& headline);

// Where append_html writes the headline's anchors: the first byte of each,
// counted from the start of the headline's HTML, into `places` (emptied
// first). Returns the size of their href, which follows "<a href='" in each;
// 0 and no place for a headline without a link or hashtag.
std::size_t anchor_places(const Headline& headline, std::vector<std::size_t>& places);

}  // namespace brelim
