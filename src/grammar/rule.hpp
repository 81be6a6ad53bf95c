#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brelim {

// The rules of the outline grammar, in the order of their numbers: the
// enumeration and the rules' names are both made from this one list. The
// number is what an End token records, and any rule can be named as the
// start rule of a parse. The grammar's list of rules (outline_grammar.hpp)
// must agree with it, or it does not compile.
#define BRELIM_RULES(X) \
    X(EOI)              \
    X(paren)            \
    X(select_punc)      \
    X(plain_chunk)      \
    X(link_target)      \
    X(plain_link)       \
    X(link_desc)        \
    X(described_link)   \
    X(link)             \
    X(hashtag_target)   \
    X(hashtag)          \
    X(text)             \
    X(headline1)        \
    X(headline2)        \
    X(headline3)        \
    X(headline4)        \
    X(headline)         \
    X(input)

#define BRELIM_RULE_ENUMERATOR(name) name,
enum class Rule : std::uint8_t { BRELIM_RULES(BRELIM_RULE_ENUMERATOR) };
#undef BRELIM_RULE_ENUMERATOR

#define BRELIM_RULE_NAME(name) std::string_view{#name},
inline constexpr std::array rule_names{BRELIM_RULES(BRELIM_RULE_NAME)};
#undef BRELIM_RULE_NAME

inline constexpr std::size_t rule_count = rule_names.size();

// The rule's name in the grammar; "?" for a number that names no rule.
std::string_view rule_name(Rule rule) noexcept;

// A silent rule leaves no pair of its own; the pairs of the normal rules it
// calls pass through to its caller.
bool is_silent(Rule rule) noexcept;

}  // namespace brelim
