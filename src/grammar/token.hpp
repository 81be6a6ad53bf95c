#pragma once

#include <cstdint>

#include "rule.hpp"

namespace brelim {

enum class TokenKind : std::uint8_t { Start, End };

// One entry of the token queue. A pair is a Start token and its End token,
// each naming the other's index as partner; the queue is the parse tree.
// Plain fields, no bit packing: tokens are written on the hot path, and a
// field of its own is one store.
struct Token {
    std::uint64_t position;  // where the pair begins (Start) or ends (End)
    std::uint64_t partner;   // index of the other token of the pair
    TokenKind kind;
    Rule rule;  // meaningful in End tokens only
};

static_assert(sizeof(Token) == 24);

}  // namespace brelim
