#pragma once

// Document conversion: a whole document into its fragment of nested lists,
// through the one-pass reading or through the engine.

#include <optional>
#include <string>
#include <string_view>

#include "../grammar/outline_parser.hpp"
#include "../grammar/pair.hpp"
#include "../render/output_buffer.hpp"

namespace brelim {

// The pair of the line's first headline, or nothing when the line is not a
// run of headlines. `line` must outlive the pair.
std::optional<Pair> parse(OutlineParser& parser, std::string_view line);
std::optional<Pair> parse(std::string_view line);

// The whole document as one HTML fragment of nested lists. Lines that are not
// headlines of level 1 to 3 contribute nothing; the conversion never fails.
// The document is only read, and only during the call.
std::string parse_file(std::string_view document);

// The same, appended to `out`, which is sized once up front for a typical
// notes document. Throws std::bad_alloc when memory runs out.
void parse_file(std::string_view document, OutputBuffer& out);

// The same conversion through the matching engine: each line's token queue,
// its first headline pair, and the walk over that pair. Slower, and the
// reference that parse_file must agree with byte for byte.
std::string parse_file_with_engine(std::string_view document);
void parse_file_with_engine(std::string_view document, OutputBuffer& out);

}  // namespace brelim
