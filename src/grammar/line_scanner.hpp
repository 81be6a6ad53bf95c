#pragma once

// The conversion's one pass over a line. It decides what `input` decides
// (OutlineParser::parse(Rule::input, line) succeeds exactly when scan_line
// returns true) and keeps, instead of a parse tree, only what rendering reads
// of the first headline. No token is written and nothing is allocated, so a
// line costs the same memory whatever it holds.
//
// The byte classes are the grammar's own; the shapes (links, hashtags,
// headlines) follow its rules one for one.

#include <cstddef>
#include <string_view>

#include "byte_scan.hpp"
#include "headline.hpp"
#include "outline_grammar.hpp"

namespace brelim {

namespace line_scan {

// The characters of plain runs, link targets and descriptions.
inline constexpr const ByteSet& plain = grammar::plain_chunk::closure;
// The characters of a hashtag's word.
inline constexpr const ByteSet& word = grammar::hashtag_target::first;

inline bool byte_is(std::string_view line, std::size_t at, char c) noexcept { return at < line.size() && line[at] == c; }

inline bool in(const ByteSet& set, std::string_view line, std::size_t at) noexcept {
    return at < line.size() && set[static_cast<unsigned char>(line[at])];
}

// Where the run of asterisks from `at` ends; a run of five or more stands
// for every run too long to open a headline.
inline std::size_t asterisks_end(std::string_view line, std::size_t at) noexcept {
    const std::size_t limit = at + 5;
    while (at < limit && byte_is(line, at, '*')) ++at;
    return at;
}

// A link from `at` ("[[" target "]]" or "[[" target "][" description "]]"):
// where it ends, or `at` when none starts there.
template <class Seen>
std::size_t link_end(std::string_view line, std::size_t at, Seen& seen) noexcept {
    const std::size_t target = at + 2;
    if (!byte_is(line, at + 1, '[') || !in(plain, line, target)) return at;
    const std::size_t target_end = scan<plain>(line, target + 1);
    if (!byte_is(line, target_end, ']')) return at;
    if (byte_is(line, target_end + 1, ']')) {
        seen.plain_link(line.substr(at, target_end + 2 - at), line.substr(target, target_end - target));
        return target_end + 2;
    }
    const std::size_t desc = target_end + 2;
    if (!byte_is(line, target_end + 1, '[') || !in(plain, line, desc)) return at;
    const std::size_t desc_end = scan<plain>(line, desc + 1);
    if (!byte_is(line, desc_end, ']') || !byte_is(line, desc_end + 1, ']')) return at;
    seen.described_link(line.substr(at, desc_end + 2 - at), line.substr(target, target_end - target),
                        line.substr(desc, desc_end - desc));
    return desc_end + 2;
}

// Where a headline's content from `at` ends: where `text` first fails to
// match. Every link and hashtag on the way is shown to `seen`.
template <class Seen>
std::size_t content_end(std::string_view line, std::size_t at, Seen& seen) noexcept {
    while (at < line.size()) {
        const auto c = static_cast<unsigned char>(line[at]);
        if (plain[c]) {
            at = scan<plain>(line, at + 1);
        } else if (c == '#' && in(word, line, at + 1)) {
            const std::size_t end = scan<word>(line, at + 2);
            seen.hashtag(line.substr(at, end - at));
            at = end;
        } else if (c == '[') {
            const std::size_t end = link_end(line, at, seen);
            if (end == at) break;
            at = end;
        } else {
            break;
        }
    }
    return at;
}

// Keeps the values that rendering reads, as the tree's pre-order walk would
// leave them.
struct Record {
    Headline& headline;

    void plain_link(std::string_view source, std::string_view target) noexcept {
        headline.link_source = source;
        headline.target = target;
    }
    void described_link(std::string_view source, std::string_view target, std::string_view desc) noexcept {
        plain_link(source, target);
        headline.label = desc;
    }
    void hashtag(std::string_view source) noexcept {
        plain_link(source, source.substr(1));
        headline.label = source;
    }
};

// For the headlines after the first, which only have to be there.
struct Ignore {
    void plain_link(std::string_view, std::string_view) noexcept {}
    void described_link(std::string_view, std::string_view, std::string_view) noexcept {}
    void hashtag(std::string_view) noexcept {}
};

// A headline from `at`: its asterisks and its content, where it ends, or `at`
// when none starts there.
template <class Seen>
std::size_t headline_end(std::string_view line, std::size_t at, Seen& seen) noexcept {
    const std::size_t content = asterisks_end(line, at);
    if (content == at || content - at > 4) return at;
    const std::size_t end = content_end(line, content, seen);
    return end == content ? at : end;
}

}  // namespace line_scan

// True when the whole line is headlines, one after another; `first` then
// describes the first of them. On false, `first` holds nothing of use.
inline bool scan_line(std::string_view line, Headline& first) noexcept {
    using namespace line_scan;
    if (line.empty() || line[0] != '*') return false;  // most prose ends here
    first = Headline{};
    Record record{first};
    std::size_t at = headline_end(line, 0, record);
    if (at == 0) return false;
    const std::size_t level = asterisks_end(line, 0);
    first.rule = static_cast<Rule>(static_cast<std::size_t>(Rule::headline1) + level - 1);
    first.content = line.substr(level, at - level);
    Ignore ignore;
    while (at < line.size()) {
        const std::size_t end = headline_end(line, at, ignore);
        if (end == at) return false;
        at = end;
    }
    return true;
}

}  // namespace brelim
