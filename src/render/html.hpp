#pragma once

// Rendering: a headline's HTML, from a Headline, however it was found.

#include <string>

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
// the conversion calls.
void append_html(const Headline& headline, OutputBuffer& out);

}  // namespace brelim
