#pragma once

// The matching engine: one small piece per operation of a parsing expression
// grammar. Every piece is a type with `static bool match(ParserState&)`.
//
// The law every piece keeps: a match that fails leaves the position and the
// token queue exactly as it found them. Only `seq` and `normal` can fail after
// having changed something, so only they restore.
//
// What analysis.hpp knows of an expression lets the engine do less work with
// identical results: `sor` skips the alternatives that cannot begin with the
// next byte, `plus` of a byte class is one scan, and a normal rule runs its
// definition's `precheck` before it writes a token.

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

#include "../bytes/byte_set.hpp"
#include "../bytes/scan.hpp"
#include "analysis.hpp"
#include "parser_state.hpp"
#include "rule.hpp"

namespace brelim::peg {

// One byte out of a set: the shape of every character literal and range.
template <const ByteSet& Set>
struct any_of {
    static bool match(ParserState& s) noexcept {
        if (!s.next_in(Set)) return false;
        ++s.position;
        return true;
    }
};

template <char... Cs>
inline constexpr ByteSet bytes_of = ByteSet::of(Cs...);

template <char Lo, char Hi>
inline constexpr ByteSet bytes_between = ByteSet::range(static_cast<unsigned char>(Lo), static_cast<unsigned char>(Hi));

// One of the given bytes.
template <char... Cs>
struct one : any_of<bytes_of<Cs...>> {};

// A range of ASCII characters. No byte of a multi-byte character is below
// 0x80, so a byte test never matches inside one.
template <char Lo, char Hi>
    requires(0 <= Lo && Lo <= Hi && Hi < 0x80)
struct range : any_of<bytes_between<Lo, Hi>> {};

// A literal: exactly these bytes at the position.
template <char C, char... Cs>
struct lit {
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

template <class E, class... Es>
struct seq {
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
struct sor {
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
            const bool found = ((first_of<Es>[static_cast<unsigned char>(b)] || (++index, false)) || ...);
            table[b] = static_cast<unsigned char>(found ? index : sizeof...(Es));
        }
        return table;
    }();

    template <std::size_t... I>
    static bool from(ParserState& s, unsigned first, std::index_sequence<I...>) {
        return ((I >= first && Es::match(s)) || ...);
    }
};

// Greedy repetition; it never gives back what it took.
template <class E>
struct plus {
    static bool match(ParserState& s) {
        if constexpr (Closable<E>) {
            if (!s.next_in(closure_of<E>)) return false;
            s.position = scan<closure_of<E>>(s.input, s.position + 1);
            return true;
        } else {
            if (!E::match(s)) return false;
            while (E::match(s)) {
            }
            return true;
        }
    }
};

struct soi {
    static bool match(ParserState& s) noexcept { return s.position == 0; }
};

struct eoi {
    static bool match(ParserState& s) noexcept { return s.position == s.input.size(); }
};

// A test of the bytes at the position, without side effects, that fails
// only where a match of the expression would fail: what a normal rule checks
// before it opens its pair.
template <class Def>
struct precheck {
    static bool may_match(const ParserState& s) noexcept {
        if constexpr (Guarded<Def>)
            return s.next_in(first_of<Def>);
        else
            return true;
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
               first_of<E>[static_cast<unsigned char>(s.input[after])];
    }
};

// A normal rule: one pair for each match, holding the pairs its definition
// made. A failed match takes its Start token and everything after it back.
template <Rule R, class Def>
struct normal {
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
template <Rule R, class Def>
struct silent : Def {
    static constexpr Rule rule = R;
};

}  // namespace brelim::peg
