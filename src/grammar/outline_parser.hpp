#pragma once

#include <optional>
#include <string_view>

#include "pair.hpp"
#include "parser_state.hpp"
#include "rule.hpp"
#include "token_queue.hpp"

namespace brelim {

// The grammar's parse entry. One parser converts any number of lines: its
// token queue is reused from one parse to the next unless a handle on the
// previous tree is still alive, in which case that tree is left alone.
class OutlineParser {
public:
    // Runs `start` on `input`; on success, the top-level pairs over the whole
    // queue. `input` must outlive every handle of the result.
    std::optional<Pairs> parse(Rule start, std::string_view input);

    // Runs `rule` at the state's position, as any rule of the grammar would
    // call it: on failure the state is as it was.
    static bool match(Rule rule, ParserState& state);

private:
    QueueRef queue_;
};

}  // namespace brelim
