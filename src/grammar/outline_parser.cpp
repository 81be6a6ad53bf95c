#include "outline_parser.hpp"

#include "outline_grammar.hpp"

namespace brelim {

namespace {

using Matcher = bool (*)(ParserState&);

template <class R>
constexpr const ByteSet* first_bytes_of() {
    if constexpr (peg::Guarded<R>) return &peg::first_of<R>;
    else return nullptr;
}

}  // namespace

// A line that begins with any other byte fails without touching the queue.
const ByteSet* const OutlineParser::first_bytes[rule_count] = {
    first_bytes_of<grammar::EOI>(),            first_bytes_of<grammar::paren>(),          first_bytes_of<grammar::select_punc>(),
    first_bytes_of<grammar::plain_chunk>(),    first_bytes_of<grammar::link_target>(),    first_bytes_of<grammar::plain_link>(),
    first_bytes_of<grammar::link_desc>(),      first_bytes_of<grammar::described_link>(), first_bytes_of<grammar::link>(),
    first_bytes_of<grammar::hashtag_target>(), first_bytes_of<grammar::hashtag>(),        first_bytes_of<grammar::text>(),
    first_bytes_of<grammar::headline1>(),      first_bytes_of<grammar::headline2>(),      first_bytes_of<grammar::headline3>(),
    first_bytes_of<grammar::headline4>(),      first_bytes_of<grammar::headline>(),       first_bytes_of<grammar::input>(),
};

namespace {

constexpr Matcher matchers[rule_count] = {
    &grammar::EOI::match,        &grammar::paren::match,          &grammar::select_punc::match,
    &grammar::plain_chunk::match, &grammar::link_target::match,   &grammar::plain_link::match,
    &grammar::link_desc::match,  &grammar::described_link::match, &grammar::link::match,
    &grammar::hashtag_target::match, &grammar::hashtag::match,    &grammar::text::match,
    &grammar::headline1::match,  &grammar::headline2::match,      &grammar::headline3::match,
    &grammar::headline4::match,  &grammar::headline::match,       &grammar::input::match,
};

// The conversion's rule, called directly rather than through the table.
bool match_input(ParserState& state) { return grammar::input::match(state); }

}  // namespace

bool OutlineParser::match(Rule rule, ParserState& state) {
    const auto index = static_cast<std::size_t>(rule);
    return index < rule_count && matchers[index](state);
}

std::optional<Pairs> OutlineParser::run(Rule start, std::string_view input) {
    if (!queue_.unique()) queue_ = QueueRef::make();  // a tree still held elsewhere stays as it is
    ParserState state(input, *queue_.get());
    state.restore({0, 0});
    const bool matched = start == Rule::input ? match_input(state) : match(start, state);
    if (!matched) state.restore({0, 0});
    state.finish();
    if (!matched) return std::nullopt;
    return Pairs(queue_, input, 0, queue_->size());
}

}  // namespace brelim
