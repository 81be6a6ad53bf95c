#pragma once

#include <string>
#include <string_view>

#include "grammar/outline_parser.hpp"
#include "grammar/pair.hpp"

namespace brelim::testing {

// "rule[start,end](children)" for each pair, siblings separated by blanks.
inline std::string dump(Pairs pairs) {
    std::string out;
    while (auto pair = pairs.next()) {
        if (!out.empty()) out += ' ';
        out += rule_name(pair->rule());
        out += '[' + std::to_string(pair->start()) + ',' + std::to_string(pair->end()) + ')';
        if (!pair->children().empty()) out += '(' + dump(pair->children()) + ')';
    }
    return out;
}

// What one rule does at position 0 of `input`.
struct Outcome {
    bool matched;
    std::size_t end;
    std::string tree;
    std::size_t tokens;
};

inline Outcome run(Rule rule, std::string_view input) {
    QueueRef queue = QueueRef::make();
    ParserState state(input, *queue.get());
    const bool matched = OutlineParser::match(rule, state);
    state.finish();
    const std::size_t size = queue->size();
    return {matched, state.position, dump(Pairs(queue, input, 0, size)), size};
}

}  // namespace brelim::testing
