#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brelim {

// The rules of the outline grammar, in the order of their numbers, each with
// its kind: the enumeration, the rules' names and which of them are silent
// are all made from this one list. The number is what an End token records,
// and any rule can be named as the start rule of a parse. A silent rule
// leaves no pair of its own; the pairs of the normal rules it calls pass
// through to its caller. The grammar's list of rules (outline_grammar.hpp)
// must agree with it, or it does not compile.
#define BRELIM_RULES(X)       \
    X(EOI, normal)            \
    X(paren, silent)          \
    X(select_punc, silent)    \
    X(plain_chunk, silent)    \
    X(link_target, normal)    \
    X(plain_link, normal)     \
    X(link_desc, normal)      \
    X(described_link, normal) \
    X(link, silent)           \
    X(hashtag_target, normal) \
    X(hashtag, normal)        \
    X(text, normal)           \
    X(headline1, normal)      \
    X(headline2, normal)      \
    X(headline3, normal)      \
    X(headline4, normal)      \
    X(headline, silent)       \
    X(input, silent)

#define BRELIM_RULE_ENUMERATOR(name, kind) name,
enum class Rule : std::uint8_t { BRELIM_RULES(BRELIM_RULE_ENUMERATOR) };
#undef BRELIM_RULE_ENUMERATOR

#define BRELIM_RULE_NAME(name, kind) std::string_view{#name},
inline constexpr std::array rule_names{BRELIM_RULES(BRELIM_RULE_NAME)};
#undef BRELIM_RULE_NAME

enum class RuleKind : std::uint8_t { normal, silent };

#define BRELIM_RULE_KIND(name, kind) RuleKind::kind,
inline constexpr std::array rule_kinds{BRELIM_RULES(BRELIM_RULE_KIND)};
#undef BRELIM_RULE_KIND

inline constexpr std::size_t rule_count = rule_names.size();

// The rule's name in the grammar; "?" for a number that names no rule.
std::string_view rule_name(Rule rule) noexcept;

// Whether the rule is silent; false for a number that names no rule.
bool is_silent(Rule rule) noexcept;

}  // namespace brelim
