#pragma once

// The matching engine: one small piece per operation of a parsing expression
// grammar. Every piece is a type with `static bool match(ParserState&)`.
//
// The law every piece keeps: a match that fails leaves the position and the
// token queue exactly as it found them. Only `seq` and `normal` can fail after
// having changed something, so only they restore.
//
// Two optional traits let the engine do less work with identical results:
//   first    the bytes a match can begin with (the piece never matches empty),
//            so a rule can fail on one table load before touching the queue;
//   closure  the byte set whose longest run is what any repetition of the
//            piece consumes (it leaves no tokens), so `e+` becomes one scan.
// A normal rule also runs its definition's `precheck` before it writes a
// token: a side-effect-free test that fails only where the match would.

#include <array>
#include <concepts>
#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

#include "../bytes/byte_set.hpp"
#include "../bytes/scan.hpp"
#include "parser_state.hpp"
#include "rule.hpp"
#include "utf8.hpp"

namespace brelim::peg {

template <class T>
concept Guarded = requires {
    { T::first } -> std::convertible_to<ByteSet>;
};

template <class T>
concept Closable = requires {
    { T::closure } -> std::convertible_to<ByteSet>;
};

// The traits are computed by types, not passed as values: a ByteSet is too
// large to serve reliably as a template argument.
template <bool Has, class Set>
struct first_trait {};
template <class Set>
struct first_trait<true, Set> {
    static constexpr ByteSet first = Set::value();
};

template <bool Has, class Set>
struct closure_trait {};
template <class Set>
struct closure_trait<true, Set> {
    static constexpr ByteSet closure = Set::value();
};

template <class... Es>
struct first_union {
    static constexpr ByteSet value() {
        if constexpr ((Guarded<Es> && ...)) return (ByteSet{} | ... | Es::first);
        else return {};
    }
};

template <class... Es>
struct closure_union {
    static constexpr ByteSet value() {
        if constexpr ((Closable<Es> && ...)) return (ByteSet{} | ... | Es::closure);
        else return {};
    }
};

template <class E>
using inherit_first = first_trait<Guarded<E>, first_union<E>>;

// One byte out of a set: the shape of every ASCII literal and range.
template <class Set>
struct any_of : first_trait<true, Set>, closure_trait<true, Set> {
    static bool match(ParserState& s) noexcept {
        if (!s.next_in(any_of::first)) return false;
        ++s.position;
        return true;
    }
};

// One of the given bytes.
template <char... Cs>
struct bytes_of {
    static constexpr ByteSet value() { return ByteSet::of(Cs...); }
};

template <char32_t Lo, char32_t Hi>
struct bytes_between {
    static constexpr ByteSet value() { return ByteSet::range(Lo, Hi); }
};

template <char... Cs>
struct one : any_of<bytes_of<Cs...>> {};

// One character whose code point lies in [Lo, Hi], decoded from UTF-8.
template <char32_t Lo, char32_t Hi>
struct decoded_range {
    static bool match(ParserState& s) noexcept {
        char32_t code_point = 0;
        const std::size_t length = decode_utf8(s.input, s.position, code_point);
        if (length == 0 || code_point < Lo || code_point > Hi) return false;
        s.position += length;
        return true;
    }
};

// A character range. An ASCII range is a byte test: a byte of a multi-byte
// character is never below 0x80, so it can never fall inside one.
template <char32_t Lo, char32_t Hi>
struct range : std::conditional_t<(Hi < 0x80), any_of<bytes_between<Lo, Hi>>, decoded_range<Lo, Hi>> {};

// A literal: exactly these bytes at the position.
template <char C, char... Cs>
struct lit : first_trait<true, bytes_of<C>> {
    static constexpr std::size_t length = 1 + sizeof...(Cs);

    static bool stands_at(std::string_view input, std::size_t at) noexcept {
        constexpr char bytes[] = {C, Cs...};
        if (input.size() - at < length) return false;
        for (std::size_t i = 0; i < length; ++i) {
            if (input[at + i] != bytes[i]) return false;
        }
        return true;
    }

    static bool match(ParserState& s) noexcept {
        if (!stands_at(s.input, s.position)) return false;
        s.position += length;
        return true;
    }
};

// A test of the position that consumes nothing (start or end of input).
template <class T>
concept Assertion = T::zero_width;

// The member of a sequence that decides its first byte: the first one that
// is not a mere assertion.
template <class E, class... Es>
struct leading {
    using type = E;
};
template <class E, class E2, class... Es>
    requires Assertion<E>
struct leading<E, E2, Es...> : leading<E2, Es...> {};

template <class E, class... Es>
struct seq : inherit_first<typename leading<E, Es...>::type> {
    static bool match(ParserState& s) {
        const auto m = s.mark();
        if (E::match(s) && (Es::match(s) && ...)) return true;
        s.restore(m);
        return false;
    }
};

// Ordered choice: the first alternative that matches wins, for good. When
// every alternative knows its first bytes, the next byte tells which is the
// first that can match at all; the ones before it are not tried.
template <class... Es>
struct sor : first_trait<(Guarded<Es> && ...), first_union<Es...>>,
             closure_trait<(Closable<Es> && ...), closure_union<Es...>> {
    static bool match(ParserState& s) {
        if constexpr ((Guarded<Es> && ...)) {
            if (s.at_end()) return false;
            return from(s, entry[s.peek()], std::index_sequence_for<Es...>{});
        } else {
            return (Es::match(s) || ...);
        }
    }

private:
    // For each byte, the index of the first alternative that can begin with
    // it, or the number of alternatives when none can.
    static constexpr auto entry = [] {
        std::array<unsigned char, 256> table{};
        for (unsigned b = 0; b < 256; ++b) {
            unsigned index = 0;
            const bool found = ((Es::first[static_cast<unsigned char>(b)] || (++index, false)) || ...);
            table[b] = static_cast<unsigned char>(found ? index : sizeof...(Es));
        }
        return table;
    }();

    template <std::size_t... I>
    static bool from(ParserState& s, unsigned first, std::index_sequence<I...>) {
        return ((I >= first && Es::match(s)) || ...);
    }
};

// Greedy repetitions; they never give back what they took.
template <class E>
struct star {
    static bool match(ParserState& s) {
        if constexpr (Closable<E>) {
            s.position = scan<E::closure>(s.input, s.position);
        } else {
            while (E::match(s)) {
            }
        }
        return true;
    }
};

template <class E>
struct plus : inherit_first<E>, closure_trait<Closable<E>, closure_union<E>> {
    static bool match(ParserState& s) {
        if constexpr (Closable<E>) {
            if (!s.next_in(E::closure)) return false;
            s.position = scan<E::closure>(s.input, s.position + 1);
            return true;
        } else {
            if (!E::match(s)) return false;
            while (E::match(s)) {
            }
            return true;
        }
    }
};

template <class E>
struct opt {
    static bool match(ParserState& s) {
        E::match(s);
        return true;
    }
};

struct soi {
    static constexpr bool zero_width = true;
    static bool match(ParserState& s) noexcept { return s.position == 0; }
};

struct eoi {
    static constexpr bool zero_width = true;
    static bool match(ParserState& s) noexcept { return s.position == s.input.size(); }
};

// A test of the bytes at the position, without side effects, that fails
// only where a match of the expression would fail: what a normal rule checks
// before it opens its pair.
template <class Def>
struct precheck {
    static bool may_match(const ParserState& s) noexcept {
        if constexpr (Guarded<Def>) return s.next_in(Def::first);
        else return true;
    }
};

// A literal and then something that must begin with one of its own bytes:
// both are checked ("**" is no level-1 headline, and is known as such before
// any token is written).
template <char C, char... Cs, class E, class... Es>
    requires Guarded<E>
struct precheck<seq<lit<C, Cs...>, E, Es...>> {
    static bool may_match(const ParserState& s) noexcept {
        using literal = lit<C, Cs...>;
        const std::size_t after = s.position + literal::length;
        return literal::stands_at(s.input, s.position) && after < s.input.size() &&
               E::first[static_cast<unsigned char>(s.input[after])];
    }
};

// A normal rule: one pair for each match, holding the pairs its definition
// made. A failed match takes its Start token and everything after it back.
template <Rule R, class Def>
struct normal : inherit_first<Def> {
    static constexpr Rule rule = R;

    static bool match(ParserState& s) {
        if (!precheck<Def>::may_match(s)) return false;
        const auto m = s.open_pair();
        if (Def::match(s)) {
            s.close_pair(m, R);
            return true;
        }
        s.restore(m);
        return false;
    }
};

// A silent rule is its definition: it adds nothing of its own.
template <class Def>
struct silent : Def {};

}  // namespace brelim::peg
