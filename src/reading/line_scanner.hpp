#pragma once

// The one-pass reading, which needs nothing of the engine.
//
// The conversion's one pass over a line. It decides what `input` decides
// (OutlineParser::parse(Rule::input, line) succeeds exactly when scan_line
// returns true) and keeps, instead of a parse tree, only what rendering reads
// of the first headline. No token is written and nothing is allocated, so a
// line costs the same memory whatever it holds.
//
// The byte classes are the grammar's own; the shapes (links, hashtags,
// headlines) follow its rules one for one.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "headline.hpp"
#include "plain_runs.hpp"

namespace brelim {

namespace line_scan {

inline constexpr const ByteSet& plain = plain_bytes;
inline constexpr const ByteSet& word = word_bytes;

// A line of a text. Positions are the text's own; the line runs from where
// the scan starts to where `ends_at` says. Every run and literal stops at a
// line feed or carriage return by itself (neither is plain, nor a letter,
// nor "*", "#", "[" or "]"), so only the text's end bounds the reads.
struct Line {
    PlainRuns& runs;
    std::string_view text;
    bool feed_ends;  // a line feed, or a carriage return before one, ends the line

    bool byte_is(std::size_t at, char c) const noexcept { return at < text.size() && text[at] == c; }
    // Whether the two bytes from `at` are `two`, compared as one number.
    bool bytes_are(std::size_t at, const char (&two)[3]) const noexcept {
        if (text.size() < 2 || at > text.size() - 2) return false;
        std::uint16_t bytes, wanted;
        std::memcpy(&bytes, text.data() + at, 2);
        std::memcpy(&wanted, two, 2);
        return bytes == wanted;
    }
    bool in(const ByteSet& set, std::size_t at) const noexcept {
        return at < text.size() && set[static_cast<unsigned char>(text[at])];
    }
    bool ends_at(std::size_t at) const noexcept {
        if (at == text.size()) return true;
        if (!feed_ends) return false;
        return text[at] == '\n' || (text[at] == '\r' && byte_is(at + 1, '\n'));
    }
    std::size_t plain_end(std::size_t at) noexcept { return runs.end(at); }
    std::size_t word_end(std::size_t at) const noexcept { return scan<word>(text, at); }
    // Where the run of asterisks from `at` ends, looked at eight bytes at a
    // time; past four asterisks the exact end does not matter.
    std::size_t stars_end(std::size_t at) const noexcept {
        if (text.size() >= 8 && at <= text.size() - 8) {
            std::uint64_t bytes;
            std::memcpy(&bytes, text.data() + at, 8);
            const std::uint64_t others = bytes ^ 0x2A2A2A2A2A2A2A2Aull;  // zero where a byte is "*"
            if (others == 0) return at + 8;
            if constexpr (std::endian::native == std::endian::little) {
                return at + static_cast<std::size_t>(std::countr_zero(others)) / 8;
            }
        }
        std::size_t end = at;
        while (byte_is(end, '*') && end - at < 5) ++end;
        return end;
    }
    std::string_view slice(std::size_t from, std::size_t to) const noexcept { return {text.data() + from, to - from}; }
};

// A link from `at` ("[[" target "]]" or "[[" target "][" description "]]"):
// where it ends, or `at` when none starts there.
template <class Seen>
std::size_t link_end(Line& line, std::size_t at, Seen& seen) noexcept {
    const std::size_t target = at + 2;
    if (!line.byte_is(at + 1, '[')) return at;
    const std::size_t target_end = line.plain_end(target);
    if (target_end == target) return at;
    if (line.bytes_are(target_end, "]]")) {
        seen.plain_link(line.slice(at, target_end + 2), line.slice(target, target_end));
        return target_end + 2;
    }
    const std::size_t desc = target_end + 2;
    if (!line.bytes_are(target_end, "][")) return at;
    const std::size_t desc_end = line.plain_end(desc);
    if (desc_end == desc || !line.bytes_are(desc_end, "]]")) return at;
    seen.described_link(line.slice(at, desc_end + 2), line.slice(target, target_end), line.slice(desc, desc_end));
    return desc_end + 2;
}

// Where a headline's content from `at` ends: where `text` first fails to
// match. Every link and hashtag on the way is shown to `seen`.
template <class Seen>
std::size_t content_end(Line& whole, std::size_t at, Seen& seen) noexcept {
    // A copy of the line's view in registers: `seen` stores views, which
    // might otherwise be the line's own, and so reload it at every link.
    Line line{whole.runs, whole.text, whole.feed_ends};
    // Each round takes a link or hashtag and the plain run after it, none
    // when the byte after it is not plain.
    if (line.in(plain, at)) at = line.plain_end(at + 1);
    for (; at < line.text.size(); at = line.plain_end(at)) {
        const auto c = static_cast<unsigned char>(line.text[at]);
        if (c == '#' && line.in(word, at + 1)) {
            const std::size_t end = line.word_end(at + 2);
            seen.hashtag(line.slice(at, end));
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

// A headline from `at`: its asterisks and its content, where it ends, or `at`
// when none starts there. The text is read front to back, never going back
// to bytes left behind.
template <class Seen>
std::size_t headline_end(Line& line, std::size_t at, Seen& seen) noexcept {
    const std::size_t content = line.stars_end(at);
    if (content == at || content - at > 4) return at;
    const std::size_t end = content_end(line, content, seen);
    return end == content ? at : end;
}

inline constexpr std::size_t no_line = SIZE_MAX;

// Where the line from `begin` ends, when it is headlines, one after another,
// and nothing else; `first` then describes the first of them (a headline
// without links or hashtags sets only its level, content and empty target).
// Otherwise no_line.
inline std::size_t scan(Line& line, std::size_t begin, Headline& first) noexcept {
    if (!line.byte_is(begin, '*')) return no_line;
    const std::size_t content = line.stars_end(begin);
    if (content - begin > 4) return no_line;
    const std::size_t level = content - begin;
    // Plain text to the line's end: most headlines, decided by one mask.
    std::size_t at = line.plain_end(content);
    if (at != content && line.ends_at(at)) {
        first.level = level;
        first.content = line.slice(content, at);
        first.target = {};
        return at;
    }
    first.forget_links();
    RecordLinks record{first};
    at = content_end(line, at, record);
    if (at == content) return no_line;
    first.level = level;
    first.content = line.slice(content, at);
    IgnoreLinks ignore;
    while (!line.ends_at(at)) {
        const std::size_t next = headline_end(line, at, ignore);
        if (next == at) return no_line;
        at = next;
    }
    return at;
}

}  // namespace line_scan

// The line of a document that starts at `begin` and ends before the next line
// feed (and a carriage return right before it) or at the document's end.
// Returns where it ends (its line feed, the carriage return before one, or
// the document's end), or line_scan::no_line.
inline std::size_t scan_line_end(PlainRuns& document, std::size_t begin, Headline& first) noexcept {
    line_scan::Line line{document, document.text(), true};
    return line_scan::scan(line, begin, first);
}

inline bool scan_line(PlainRuns& document, std::size_t begin, Headline& first) noexcept {
    return scan_line_end(document, begin, first) != line_scan::no_line;
}

// A line on its own, all of whose bytes belong to it.
inline bool scan_line(std::string_view line, Headline& first) noexcept {
    PlainRuns text(line);
    line_scan::Line whole{text, line, false};
    return line_scan::scan(whole, 0, first) != line_scan::no_line;
}

}  // namespace brelim
