#include "outline_parser.hpp"

#include "outline_grammar.hpp"

namespace brelim {

namespace {

using Matcher = bool (*)(ParserState&);

constexpr Matcher matchers[rule_count] = {
    &grammar::EOI::match,        &grammar::paren::match,          &grammar::select_punc::match,
    &grammar::plain_chunk::match, &grammar::link_target::match,   &grammar::plain_link::match,
    &grammar::link_desc::match,  &grammar::described_link::match, &grammar::link::match,
    &grammar::hashtag_target::match, &grammar::hashtag::match,    &grammar::text::match,
    &grammar::headline1::match,  &grammar::headline2::match,      &grammar::headline3::match,
    &grammar::headline4::match,  &grammar::headline::match,       &grammar::input::match,
};

}  // namespace

bool OutlineParser::match(Rule rule, ParserState& state) {
    const auto index = static_cast<std::size_t>(rule);
    return index < rule_count && matchers[index](state);
}

std::optional<Pairs> OutlineParser::parse(Rule start, std::string_view input) {
    if (queue_.unique()) {
        queue_->tokens.clear();
    } else {
        queue_ = QueueRef::make();
    }
    ParserState state(input, queue_->tokens);
    bool matched = false;
    if (start == Rule::input) {
        matched = grammar::input::match(state);  // the conversion's rule, called directly
    } else {
        matched = match(start, state);
    }
    if (!matched) {
        queue_->tokens.clear();
        return std::nullopt;
    }
    return Pairs(queue_, input, 0, queue_->tokens.size());
}

}  // namespace brelim
