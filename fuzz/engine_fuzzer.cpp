// Runs the matching engine from every rule of the grammar on arbitrary bytes,
// at the start of the line and at a position inside it, and checks what the
// engine promises: a failed match leaves no trace; a successful one leaves a
// well-formed tree over exactly what it consumed, made only of normal rules,
// and consumes only characters the grammar knows. It also checks that a
// parser reusing its queue never touches a tree that is still held.
//
// Input: the first byte chooses the inner start position, the rest is the line.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/byte_set.hpp"
#include "convert/engine_headline.hpp"
#include "fragment_invariants.hpp"
#include "grammar/outline_parser.hpp"

using namespace brelim;
using fuzz::require;

namespace {

constexpr ByteSet grammar_bytes =
    ByteSet::range('a', 'z') | ByteSet::range('A', 'Z') | ByteSet::range('0', '9') |
    ByteSet::of(' ', '"', '%', '&', '\'', '(', ')', '+', ',', '-', '.', '/', ':', '=', '?', '_', '#', '[', ']', '*');

// The engine's queue, through the only operations this harness needs.
constexpr Token prefill[] = {{0, 1, TokenKind::Start, Rule::EOI}, {0, 0, TokenKind::End, Rule::text}};
constexpr std::size_t prefilled = std::size(prefill);

std::size_t token_count(const QueueRef& queue) { return queue->size(); }
const Token& token_at(const QueueRef& queue, std::size_t index) { return (*queue.get())[index]; }

struct Run {
    QueueRef queue;
    bool matched;
    std::size_t end;  // the position after the match
};

// A match of `rule` from `from`, on a queue that already holds a pair, as when
// a rule runs inside another.
Run run_at(Rule rule, std::string_view line, std::size_t from) {
    QueueRef queue = QueueRef::make();
    queue->assign({prefill[0], prefill[1]});
    ParserState state(line, *queue.get());
    state.position = from;
    const bool matched = OutlineParser::match(rule, state);
    state.finish();
    return {std::move(queue), matched, state.position};
}

bool is_headline(Rule rule) {
    return rule == Rule::headline1 || rule == Rule::headline2 || rule == Rule::headline3 || rule == Rule::headline4;
}

// What the pair's text must look like, by its rule.
void check_shape(const Pair& pair) {
    const std::string_view text = pair.text();
    switch (pair.rule()) {
    case Rule::EOI:
        require(text.empty(), "EOI pair with text");
        break;
    case Rule::hashtag:
        require(text.size() >= 2 && text[0] == '#', "hashtag without its '#'", text);
        break;
    case Rule::plain_link:
    case Rule::described_link:
        require(text.starts_with("[[") && text.ends_with("]]"), "link without its brackets", text);
        break;
    case Rule::headline1:
    case Rule::headline2:
    case Rule::headline3:
    case Rule::headline4: {
        const std::size_t level = headline_level(pair.rule());
        require(text.size() > level && text.find_first_not_of('*') == level, "headline of the wrong level", text);
        break;
    }
    default:
        require(!text.empty(), "empty pair", text);
        require(text.find_first_of("*[]#") == std::string_view::npos || pair.rule() == Rule::text,
                "inline pair holding markup", text);
        break;
    }
}

// The tokens from `first` on form properly nested pairs of normal rules whose
// spans lie within [from, to], parents around children, siblings in order.
void check_tree(const QueueRef& queue, std::size_t first, std::size_t from, std::size_t to) {
    const std::size_t size = token_count(queue);
    struct Open {
        std::size_t index;
        std::size_t last_end;  // where the latest child ended
    };
    std::vector<Open> open{{SIZE_MAX, from}};
    for (std::size_t i = first; i < size; ++i) {
        const Token& token = token_at(queue, i);
        if (token.kind == TokenKind::Start) {
            require(token.partner > i && token.partner < size, "start token's partner out of place");
            const Token& end = token_at(queue, token.partner);
            require(end.kind == TokenKind::End && end.partner == i, "start and end tokens disagree");
            require(token.position >= open.back().last_end, "pair overlaps its previous sibling");
            open.push_back({i, token.position});
        } else {
            require(open.size() > 1 && open.back().index == token.partner, "end token closes the wrong pair");
            const auto rule = static_cast<std::size_t>(token.rule);
            require(rule < rule_count && !is_silent(token.rule), "pair of a silent or unknown rule");
            require(token.position >= open.back().last_end, "pair ends before its children");
            open.pop_back();
            open.back().last_end = token.position;
        }
    }
    require(open.size() == 1, "pair left open");
    require(open.back().last_end <= to, "pair beyond the matched text");
}

// The views read the tree as the tokens say: every pair once in pre-order,
// siblings by jumping over descendants.
void check_views(const QueueRef& queue, std::string_view line, std::size_t first) {
    const std::size_t size = token_count(queue);
    std::size_t starts = 0;
    for (std::size_t i = first; i < size; ++i) starts += token_at(queue, i).kind == TokenKind::Start;
    FlatPairs all(queue, line, first, size);
    std::size_t seen = 0;
    while (const auto pair = all.next()) {
        ++seen;
        check_shape(*pair);
        require(pair->children().count() <= pair->descendants().count(), "more children than descendants");
    }
    require(seen == starts, "pre-order walk missed pairs");
}

bool check_rule(Rule rule, std::string_view line, std::size_t from) {
    const Run run = run_at(rule, line, from);
    const QueueRef& queue = run.queue;
    const std::size_t size = token_count(queue);
    require(token_at(queue, 0).partner == 1 && token_at(queue, 1).partner == 0 && token_at(queue, 1).rule == Rule::text,
            "match changed tokens it did not make");
    if (!run.matched) {
        require(run.end == from && size == prefilled, "failed match left a trace", line);
        return false;
    }
    const std::size_t to = run.end;
    require(to >= from && to <= line.size(), "match ended outside the line", line);
    for (std::size_t i = from; i < to; ++i) {
        require(grammar_bytes[static_cast<unsigned char>(line[i])], "matched a byte the grammar rejects", line);
    }
    check_tree(queue, prefilled, from, to);
    check_views(queue, line, prefilled);

    Pairs top(queue, line, prefilled, size);
    if (!is_silent(rule)) {
        const auto pair = top.next();
        require(pair && pair->rule() == rule && pair->start() == from && pair->end() == to && !top.next(),
                "normal rule did not leave exactly its own pair", line);
    }
    if (rule == Rule::input) {
        require(from == 0 && to == line.size(), "input matched less than the line", line);
    }
    if (rule == Rule::headline1 || rule == Rule::headline2 || rule == Rule::headline3) {
        fuzz::check_markup(html(*Pairs(queue, line, prefilled, size).next()));
    }
    return true;
}

// Everything a tree's views show, to compare a held tree before and after
// the parser has run again.
std::string dump(Pairs pairs) {
    std::string out;
    while (const auto pair = pairs.next()) {
        out += std::to_string(static_cast<int>(pair->rule())) + '[' + std::string(pair->text()) + ']';
        out += '(' + dump(pair->children()) + ')';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t inner = data[0] % (line.size() + 1);

    OutlineParser parser;
    std::optional<Pairs> held;
    std::string held_dump;
    for (std::size_t r = 0; r < rule_count; ++r) {
        const auto rule = static_cast<Rule>(r);
        const bool matched = check_rule(rule, line, 0);
        if (inner != 0) check_rule(rule, line, inner);

        // The parse entry agrees with a match at the start of the line, and
        // keeps every tree that is still held intact.
        std::optional<Pairs> result = parser.parse(rule, line);
        require(result.has_value() == matched, "parse and match disagree", line);
        if (held) require(dump(*held) == held_dump, "reparsing changed a held tree", line);
        if (rule == Rule::input && result) {
            const auto first = Pairs(*result).next();
            require(first && is_headline(first->rule()) && first->start() == 0, "input without a first headline");
        }
        if (result && r % 2 == 0) {  // hold every other tree, let the rest go
            held = std::move(result);
            held_dump = dump(*held);
        }
    }
    return 0;
}
