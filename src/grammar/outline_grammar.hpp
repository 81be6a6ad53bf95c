#pragma once

// The outline grammar, one type per rule, numbered as in `Rule`. A line is
// parsed on its own from `input`; no rule skips blanks, and no rule accepts an
// asterisk, so a headline's content always stops at the next one.

#include "combinators.hpp"

namespace brelim::grammar {

using namespace peg;

// ASCII letters and digits, tested in this order.
struct letter_or_digit : sor<range<'a', 'z'>, range<'A', 'Z'>, range<'0', '9'>> {};

// Inline characters.
struct paren : silent<sor<one<'('>, one<')'>>> {};  // 1
struct select_punc                                 // 2
    : silent<sor<one<'"'>, one<'\''>, one<','>, one<'-'>, one<'.'>, one<'/'>, one<':'>, paren, one<'&'>,
                 one<'='>, one<'%'>, one<'?'>, one<'_'>, one<'+'>, one<' '>>> {};
struct plain_chunk : silent<sor<plus<letter_or_digit>, plus<select_punc>>> {};  // 3

// Links.
struct link_target : normal<Rule::link_target, plus<plain_chunk>> {};                          // 4
struct plain_link : normal<Rule::plain_link, seq<lit<'[', '['>, link_target, lit<']', ']'>>> {};  // 5
struct link_desc : normal<Rule::link_desc, plus<plain_chunk>> {};                              // 6
struct described_link                                                                          // 7
    : normal<Rule::described_link,
             seq<lit<'[', '['>, link_target, lit<']', '['>, link_desc, lit<']', ']'>>> {};
struct link : silent<sor<described_link, plain_link>> {};  // 8

// Hashtags and inline text.
struct hashtag_target : normal<Rule::hashtag_target, plus<letter_or_digit>> {};   // 9
struct hashtag : normal<Rule::hashtag, seq<one<'#'>, hashtag_target>> {};         // 10
struct text : normal<Rule::text, sor<plus<link>, plus<hashtag>, plus<plain_chunk>>> {};  // 11

// Lines.
struct EOI : normal<Rule::EOI, eoi> {};                                            // 0
struct headline1 : normal<Rule::headline1, seq<lit<'*'>, plus<text>>> {};                // 12
struct headline2 : normal<Rule::headline2, seq<lit<'*', '*'>, plus<text>>> {};           // 13
struct headline3 : normal<Rule::headline3, seq<lit<'*', '*', '*'>, plus<text>>> {};      // 14
struct headline4 : normal<Rule::headline4, seq<lit<'*', '*', '*', '*'>, plus<text>>> {}; // 15
struct headline : silent<sor<headline1, headline2, headline3, headline4>> {};      // 16
struct input : silent<seq<soi, plus<headline>, EOI>> {};                           // 17

}  // namespace brelim::grammar
