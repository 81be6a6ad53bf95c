#pragma once

// The grammar's list of its rules, in the order of their numbers, and the
// tables made from it. A rule's kind and first bytes are read off its type,
// and a list that disagrees with `Rule` does not compile.

#include <array>
#include <cstddef>
#include <utility>

#include "combinators.hpp"
#include "rule.hpp"

namespace brelim::peg {

template <Rule R, class Def>
constexpr RuleKind kind_of(const silent<R, Def>*) {
    return RuleKind::silent;
}
template <Rule R, class Def>
constexpr RuleKind kind_of(const normal<R, Def>*) {
    return RuleKind::normal;
}

template <std::size_t Place, class R>
constexpr bool numbered() {
    static_assert(static_cast<std::size_t>(R::rule) == Place, "a rule whose number is not its place in the list");
    return true;
}

template <class... Rs>
struct rule_list {
    static_assert(sizeof...(Rs) == rule_count, "a list that is not every rule of the enumeration");
    static_assert([]<std::size_t... Place>(std::index_sequence<Place...>) {
        return (numbered<Place, Rs>() && ...);
    }(std::index_sequence_for<Rs...>{}));

    static_assert(std::array<RuleKind, rule_count>{kind_of(static_cast<const Rs*>(nullptr))...} == rule_kinds,
                  "a rule whose kind is not the one rule.hpp lists");
    // The bytes a match can begin with; null where that is not known.
    static constexpr std::array<const ByteSet*, rule_count> first{(Guarded<Rs> ? &first_of<Rs> : nullptr)...};
    static constexpr std::array<bool (*)(ParserState&), rule_count> match{&Rs::match...};
};

}  // namespace brelim::peg
