#pragma once

// Rendering: a headline's HTML, from a Headline, however it was found.

#include <cstddef>

#include "../bytes/copy_bytes.hpp"
#include "../bytes/reach.hpp"
#include "../reading/headline.hpp"
#include "output_buffer.hpp"

namespace brelim {

// The width of the scaffolding handed to append_html: it is moved whole.
inline constexpr std::size_t scaffolding_width = narrow_move;

// Appends `scaffolding_size` of the scaffolding_width bytes at
// `scaffolding`, then the HTML of the headline's content: its text after the
// asterisks, with every occurrence of the last link's or hashtag's source
// text replaced by one anchor built from it. Nothing is escaped: the format
// admits no "<" or ">". The headline's views lie in a document that may be
// read as far as `readable` says; common shapes are written with one check
// of the buffer's room.
void append_html(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline, Readable readable,
                 OutputBuffer& out);

}  // namespace brelim
