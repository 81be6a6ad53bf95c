#pragma once

// A short line: shorter than a window, with one link or hashtag as its only
// anchor, in a document that may be read slack::short_line_read bytes from
// its content's start. It is written after its scaffolding with one check of
// the buffer's room, each piece as one move of a fixed size (copy_within_64)
// whose excess the next piece overwrites, with no branch on its size beyond
// that move's.

#include <cstddef>

#include "../bytes/reach.hpp"
#include "../reading/headline.hpp"
#include "output_buffer.hpp"

namespace brelim {

inline bool is_short_line(const Headline& headline, Readable readable) noexcept {
    return headline.link_count == 1 && !headline.target.empty() && headline.content.size() < slack::short_line &&
           readable.reaches(headline.content.data(), slack::short_line_read);
}

// Appends a short line whose anchor is a link after `scaffolding_size` of
// the scaffolding_width bytes at `scaffolding`.
void append_short_link(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                       OutputBuffer& out);

// The same for a short line whose anchor is a hashtag.
void append_short_hashtag(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                          OutputBuffer& out);

}  // namespace brelim
