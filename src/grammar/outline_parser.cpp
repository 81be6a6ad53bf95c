#include "outline_parser.hpp"

#include "outline_grammar.hpp"

namespace brelim {

using grammar::rules;

// A line that begins with any other byte fails without touching the queue.
const std::array<const ByteSet*, rule_count> OutlineParser::first_bytes = rules::first;

bool OutlineParser::match(Rule rule, ParserState& state) {
    const auto index = static_cast<std::size_t>(rule);
    return index < rule_count && rules::match[index](state);
}

std::optional<Pairs> OutlineParser::run(Rule start, std::string_view input) {
    if (!queue_.unique()) queue_ = QueueRef::make();  // a tree still held elsewhere stays as it is
    ParserState state(input, *queue_.get());
    state.restore({0, 0});
    // The conversion's rule is called directly rather than through the table.
    const bool matched = start == Rule::input ? grammar::input::match(state) : match(start, state);
    if (!matched) state.restore({0, 0});
    state.finish();
    if (!matched) return std::nullopt;
    return Pairs(queue_, input, 0, queue_->size());
}

}  // namespace brelim
