#pragma once

// The format's byte classes: the one-pass reading decides a line with them,
// and the grammar's rules make them. Written out here, below both, so that
// neither includes the other; the grammar checks, when it compiles, that its
// rules make the same sets.

#include "byte_set.hpp"

namespace brelim {

// Letters and digits: the characters of a hashtag's word (what follows "#").
inline constexpr ByteSet word_bytes = ByteSet::range('a', 'z') | ByteSet::range('A', 'Z') | ByteSet::range('0', '9');

// The characters of plain runs, link targets and descriptions.
inline constexpr ByteSet plain_bytes =
    word_bytes | ByteSet::of('"', '\'', ',', '-', '.', '/', ':', '(', ')', '&', '=', '%', '?', '_', '+', ' ');

}  // namespace brelim
