#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brelim {

// The rules of the outline grammar. The number is what an End token records,
// and any rule can be named as the start rule of a parse. The grammar's list
// of rules (outline_grammar.hpp) must agree with it, or it does not compile.
enum class Rule : std::uint8_t {
    EOI = 0,
    paren = 1,
    select_punc = 2,
    plain_chunk = 3,
    link_target = 4,
    plain_link = 5,
    link_desc = 6,
    described_link = 7,
    link = 8,
    hashtag_target = 9,
    hashtag = 10,
    text = 11,
    headline1 = 12,
    headline2 = 13,
    headline3 = 14,
    headline4 = 15,
    headline = 16,
    input = 17,
};

inline constexpr std::size_t rule_count = 18;

// The rule's name in the grammar; "?" for a number that names no rule.
std::string_view rule_name(Rule rule) noexcept;

// A silent rule leaves no pair of its own; the pairs of the normal rules it
// calls pass through to its caller.
bool is_silent(Rule rule) noexcept;

}  // namespace brelim
