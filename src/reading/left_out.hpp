#pragma once

// Why the conversion leaves out a line that was meant as a headline: the
// first character or construct it does not accept, found by the same pieces
// the conversion decides the line with. Lines left out by design (prose,
// asterisks alone, level 4 headlines, five or more asterisks) have no reason.

#include <cstddef>
#include <cstdint>

#include "line_scanner.hpp"

namespace brelim {

// Stable values: callers outside C++ receive them as numbers.
enum class LeftOutReason : std::uint8_t {
    none = 0,             // the line is used, or left out by design
    character = 1,        // an ASCII character the format has no place for
    non_ascii = 2,        // the first byte of a character beyond ASCII
    hashtag = 3,          // a "#" that does not start a hashtag
    link = 4,             // a "[" that does not start a complete link
    closing_bracket = 5,  // a "]" outside a link
    no_text = 6,          // a later headline's asterisks with nothing after them
    many_stars = 7,       // five or more asterisks in the middle of the line
};

struct LeftOut {
    LeftOutReason reason = LeftOutReason::none;
    std::size_t at = 0;  // where the reason lies, a position of the line's text
};

namespace line_scan {

// True for a byte that no rule of the format reads, wherever it stands.
inline bool is_foreign(const Line& line, std::size_t at) noexcept {
    if (line.ends_at(at) || line.in(plain, at)) return false;
    const char c = line.text[at];
    return c != '*' && c != '#' && c != '[' && c != ']';
}

// A link from `at` failed: where its reading stopped. Only the text a link
// holds is followed ("[[" target, then "][" description), as far as it is plain.
inline std::size_t link_stop(Line& line, std::size_t at) noexcept {
    if (!line.byte_is(at + 1, '[')) return at;
    std::size_t stop = line.plain_end(at + 2);
    if (line.byte_is(stop, ']') && line.byte_is(stop + 1, '[')) stop = line.plain_end(stop + 2);
    return stop;
}

// The reason for the content that stops at `at`, which does not end the line
// and is no asterisk. A character foreign to the format inside a link's text
// is named rather than the link: "[[Zoë]]" lacks nothing but an ASCII "e".
inline LeftOut stop_reason(Line& line, std::size_t at) noexcept {
    switch (line.text[at]) {
    case '#':
        return {LeftOutReason::hashtag, at};
    case ']':
        return {LeftOutReason::closing_bracket, at};
    case '[': {
        const std::size_t stop = link_stop(line, at);
        if (stop == at || !is_foreign(line, stop)) return {LeftOutReason::link, at};
        at = stop;
        break;
    }
    default:
        break;
    }
    const bool ascii = static_cast<unsigned char>(line.text[at]) < 0x80;
    return {ascii ? LeftOutReason::character : LeftOutReason::non_ascii, at};
}

// Why the line from `begin` is left out. A reason is given exactly when the
// line starts with one to three asterisks and something after them, and
// `scan` rejects it.
inline LeftOut left_out(Line& line, std::size_t begin) noexcept {
    std::size_t at = line.stars_end(begin);
    if (at == begin || at - begin > 3 || line.ends_at(at)) return {};
    IgnoreLinks ignore;
    for (;;) {
        at = content_end(line, at, ignore);
        if (line.ends_at(at)) return {};
        if (!line.byte_is(at, '*')) return stop_reason(line, at);
        const std::size_t text = line.stars_end(at);
        if (text - at > 4) return {LeftOutReason::many_stars, at};
        if (line.ends_at(text)) return {LeftOutReason::no_text, at};
        at = text;
    }
}

}  // namespace line_scan

// A line on its own, all of whose bytes belong to it; positions are the line's.
inline LeftOut left_out(std::string_view line) noexcept {
    PlainRuns text(line);
    line_scan::Line whole{text, line, false};
    return line_scan::left_out(whole, 0);
}

}  // namespace brelim
