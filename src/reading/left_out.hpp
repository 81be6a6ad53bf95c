#pragma once

// Why the conversion leaves out a line that was meant as a headline: the
// first character or construct it does not accept, found by the same pieces
// the conversion decides the line with. Lines left out by design (prose,
// asterisks alone, level 4 headlines, five or more asterisks) have no reason.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "line_scanner.hpp"

namespace brelim {

// Every reason, with its code: stable values, as callers outside C++
// receive them as numbers and name them from `left_out_reason_names`.
#define BRELIM_LEFT_OUT_REASONS(X)                                                   \
    X(0, none)            /* the line is used, or left out by design */              \
    X(1, character)       /* an ASCII character the format has no place for */       \
    X(2, non_ascii)       /* the first byte of a character beyond ASCII */           \
    X(3, hashtag)         /* a "#" that does not start a hashtag */                  \
    X(4, link)            /* a "[" that does not start a complete link */            \
    X(5, closing_bracket) /* a "]" outside a link */                                 \
    X(6, no_text)         /* a later headline's asterisks with nothing after them */ \
    X(7, many_stars)      /* five or more asterisks in the middle of the line */

#define BRELIM_LEFT_OUT_ENUMERATOR(code, name) name = code,
enum class LeftOutReason : std::uint8_t { BRELIM_LEFT_OUT_REASONS(BRELIM_LEFT_OUT_ENUMERATOR) };
#undef BRELIM_LEFT_OUT_ENUMERATOR

// The reasons' names, indexed by code.
#define BRELIM_LEFT_OUT_NAME(code, name) std::string_view{#name},
inline constexpr std::string_view left_out_reason_names[] = {BRELIM_LEFT_OUT_REASONS(BRELIM_LEFT_OUT_NAME)};
#undef BRELIM_LEFT_OUT_NAME

#define BRELIM_LEFT_OUT_CODE(code, name) code,
static_assert(
    [] {
        constexpr int codes[] = {BRELIM_LEFT_OUT_REASONS(BRELIM_LEFT_OUT_CODE)};
        for (std::size_t place = 0; place < std::size(codes); ++place) {
            if (codes[place] != static_cast<int>(place)) return false;
        }
        return true;
    }(),
    "a reason whose code is not its place in the list");
#undef BRELIM_LEFT_OUT_CODE

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
