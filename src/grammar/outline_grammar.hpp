#pragma once

// The outline grammar, one type per rule, in the order of their numbers. A
// line is parsed on its own from `input`; no rule skips blanks, and no rule
// accepts an asterisk, so a headline's content always stops at the next one.

#include "../bytes/byte_classes.hpp"
#include "rule_list.hpp"

namespace brelim::grammar {

using namespace peg;

// ASCII letters and digits, tested in this order.
struct letter_or_digit : sor<range<'a', 'z'>, range<'A', 'Z'>, range<'0', '9'>> {};

// The end of the line.
struct EOI : normal<Rule::EOI, eoi> {};

// Inline characters.
struct paren : silent<Rule::paren, sor<one<'('>, one<')'>>> {};
struct select_punc
    : silent<Rule::select_punc, sor<one<'"'>, one<'\''>, one<','>, one<'-'>, one<'.'>, one<'/'>, one<':'>, paren,
                                    one<'&'>, one<'='>, one<'%'>, one<'?'>, one<'_'>, one<'+'>, one<' '>>> {};
struct plain_chunk : silent<Rule::plain_chunk, sor<plus<letter_or_digit>, plus<select_punc>>> {};

// Links.
struct link_target : normal<Rule::link_target, plus<plain_chunk>> {};
struct plain_link : normal<Rule::plain_link, seq<lit<'[', '['>, link_target, lit<']', ']'>>> {};
struct link_desc : normal<Rule::link_desc, plus<plain_chunk>> {};
struct described_link
    : normal<Rule::described_link, seq<lit<'[', '['>, link_target, lit<']', '['>, link_desc, lit<']', ']'>>> {};
struct link : silent<Rule::link, sor<described_link, plain_link>> {};

// Hashtags and inline text.
struct hashtag_target : normal<Rule::hashtag_target, plus<letter_or_digit>> {};
struct hashtag : normal<Rule::hashtag, seq<one<'#'>, hashtag_target>> {};
struct text : normal<Rule::text, sor<plus<link>, plus<hashtag>, plus<plain_chunk>>> {};

// Lines.
struct headline1 : normal<Rule::headline1, seq<lit<'*'>, plus<text>>> {};
struct headline2 : normal<Rule::headline2, seq<lit<'*', '*'>, plus<text>>> {};
struct headline3 : normal<Rule::headline3, seq<lit<'*', '*', '*'>, plus<text>>> {};
struct headline4 : normal<Rule::headline4, seq<lit<'*', '*', '*', '*'>, plus<text>>> {};
struct headline : silent<Rule::headline, sor<headline1, headline2, headline3, headline4>> {};
struct input : silent<Rule::input, seq<soi, plus<headline>, EOI>> {};

// Every rule, in the order of their numbers: the tables of names, kinds,
// first bytes and matchers are made from this list.
using rules = rule_list<EOI, paren, select_punc, plain_chunk, link_target, plain_link, link_desc, described_link, link,
                        hashtag_target, hashtag, text, headline1, headline2, headline3, headline4, headline, input>;

// The one-pass reading decides lines with byte classes of its own; they must
// be the ones these rules make.
static_assert(closure_of<plain_chunk> == plain_bytes, "the reading's plain bytes are not plain_chunk's");
static_assert(first_of<link_target> == plain_bytes && first_of<link_desc> == plain_bytes,
              "the reading's link texts do not begin as the rules' do");
static_assert(first_of<hashtag_target> == word_bytes && closure_of<letter_or_digit> == word_bytes,
              "the reading's word bytes are not hashtag_target's");

}  // namespace brelim::grammar
