#pragma once

// Rendering: a headline's HTML, from a Headline, however it was found.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "../grammar/pair.hpp"
#include "../reading/headline.hpp"
#include "output_buffer.hpp"

namespace brelim {

// The HTML of a headline's content: its text after the asterisks, with every
// occurrence of the last link's or hashtag's source text replaced by one
// anchor built from it. Nothing is escaped: the grammar admits no "<" or ">".
std::string html(Pair headline);

// The same, appended to `out`.
void append_html(const Pair& headline, OutputBuffer& out);

// The same from a headline's values, however they were found; this is what
// the conversion calls. When `readable_end` is not null, the headline's views
// lie in a document of which every byte up to it may be read.
void append_html(const Headline& headline, const char* readable_end, OutputBuffer& out);

// The width of a headline's scaffolding as handed to the call below.
inline constexpr std::size_t scaffolding_width = 16;

// The same after the headline's scaffolding, `scaffolding_size` of the
// `scaffolding_width` bytes at `scaffolding`, with one check of the buffer's
// room. The headline's views lie in a document of which every byte up to
// `readable_end` may be read; a short line reads past its end, and writes
// every piece as one move of a fixed size.
void append_html(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                 const char* readable_end, OutputBuffer& out);

// The number of bytes append_html writes for the headline, counted without
// writing them: SIZE_MAX when that many cannot be counted.
std::size_t html_size(const Headline& headline);

// Where append_html writes the headline's anchors: the first byte of each,
// counted from the start of the headline's HTML, into `places` (emptied
// first). Returns the size of their href, which follows "<a href='" in each;
// 0 and no place for a headline without a link or hashtag.
std::size_t anchor_places(const Headline& headline, std::vector<std::size_t>& places);

// Whether a link's target names a scheme that runs code when followed; its
// href is percent-encoded whatever else it holds.
bool runs_script(std::string_view target);

// Whether the headline's anchor shows a label carried over from an earlier
// link or hashtag: the last link is a plain one, and something before it had
// a label. Such a label is repeated at every occurrence of that link, which
// is how a line's HTML can grow with the square of its length.
bool label_carried_over(const Headline& headline);

}  // namespace brelim
