#pragma once

// What the engine can know of an expression before it tries it, worked out
// at compile time from the expression's type:
//   first_of<E>    the bytes a match of E can begin with, for an E that never
//                  matches empty: at any other byte, or at the end, E fails;
//   closure_of<E>  for an E that takes one byte out of a set and leaves no
//                  tokens (or a choice of such), that set: what a repetition
//                  of E consumes is the longest run of it.
// An empty set says that nothing is known, and the engine just tries E.

#include "../bytes/byte_set.hpp"
#include "rule.hpp"

namespace brelim::peg {

template <const ByteSet& Set>
struct any_of;
template <char C, char... Cs>
struct lit;
template <class E, class... Es>
struct seq;
template <class... Es>
struct sor;
template <class E>
struct plus;
template <Rule R, class Def>
struct normal;
struct soi;

// One overload per piece, chosen by the piece an expression derives from; a
// silent rule derives from its definition and is known as that. Of any other
// piece nothing is known.
struct analysis {
    // A stand-in for an E, to choose an overload by.
    template <class E>
    static constexpr const E* a = nullptr;

    static constexpr bool none(const ByteSet& set) { return set.bits == decltype(set.bits){}; }

    // The union of the sets, or nothing when one of them is unknown.
    template <class... Sets>
    static constexpr ByteSet all_or_none(const Sets&... sets) {
        return (none(sets) || ...) ? ByteSet{} : (ByteSet{} | ... | sets);
    }

    static constexpr ByteSet first(const void*) { return {}; }
    template <const ByteSet& Set>
    static constexpr ByteSet first(const any_of<Set>*) {
        return Set;
    }
    template <char C, char... Cs>
    static constexpr ByteSet first(const lit<C, Cs...>*) {
        return ByteSet::of(C);
    }
    template <class E, class... Es>
    static constexpr ByteSet first(const seq<E, Es...>*) {
        return first(a<E>);
    }
    // The start of the input takes nothing: the sequence begins with what follows.
    template <class E, class... Es>
    static constexpr ByteSet first(const seq<soi, E, Es...>*) {
        return first(a<seq<E, Es...>>);
    }
    template <class... Es>
    static constexpr ByteSet first(const sor<Es...>*) {
        return all_or_none(first(a<Es>)...);
    }
    template <class E>
    static constexpr ByteSet first(const plus<E>*) {
        return first(a<E>);
    }
    template <Rule R, class Def>
    static constexpr ByteSet first(const normal<R, Def>*) {
        return first(a<Def>);
    }

    static constexpr ByteSet closure(const void*) { return {}; }
    template <const ByteSet& Set>
    static constexpr ByteSet closure(const any_of<Set>*) {
        return Set;
    }
    template <class... Es>
    static constexpr ByteSet closure(const sor<Es...>*) {
        return all_or_none(closure(a<Es>)...);
    }
    template <class E>
    static constexpr ByteSet closure(const plus<E>*) {
        return closure(a<E>);
    }
};

template <class E>
inline constexpr ByteSet first_of = analysis::first(analysis::a<E>);

template <class E>
inline constexpr ByteSet closure_of = analysis::closure(analysis::a<E>);

template <class E>
concept Guarded = !analysis::none(first_of<E>);

template <class E>
concept Closable = !analysis::none(closure_of<E>);

}  // namespace brelim::peg
