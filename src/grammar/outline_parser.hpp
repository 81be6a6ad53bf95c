#pragma once

// The matching engine, the reference that defines the format: parses a line
// with the outline grammar into a token queue, read as pairs.

#include <array>
#include <optional>
#include <string_view>

#include "../bytes/byte_set.hpp"
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
    std::optional<Pairs> parse(Rule start, std::string_view input) {
        if (!may_begin(start, input)) return std::nullopt;  // most prose ends here, inline
        return run(start, input);
    }

    // Runs `rule` at the state's position, as any rule of the grammar would
    // call it: on failure the state is as it was.
    static bool match(Rule rule, ParserState& state);

    // False when no match of `rule` can begin with the first byte of `input`.
    static bool may_begin(Rule rule, std::string_view input) noexcept {
        const auto index = static_cast<std::size_t>(rule);
        if (index >= rule_count) return false;
        const ByteSet* first = first_bytes[index];
        return first == nullptr || (!input.empty() && (*first)[static_cast<unsigned char>(input[0])]);
    }

private:
    // For each rule, the bytes a match can begin with, where that is known.
    static const std::array<const ByteSet*, rule_count> first_bytes;

    std::optional<Pairs> run(Rule start, std::string_view input);

    QueueRef queue_;
};

}  // namespace brelim
