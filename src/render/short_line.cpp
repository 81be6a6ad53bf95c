#include "short_line.hpp"

#include <cstring>
#include <string_view>

#include "../bytes/copy_bytes.hpp"
#include "anchor.hpp"
#include "html.hpp"

namespace brelim {

namespace {

// The most a short line's pieces take, their moves' excess included: its
// text, an anchor of a target and a label each shorter than the line, and a
// last move.
constexpr std::size_t short_line_room =
    slack::short_line +
    (anchor_open.size() + 5 * slack::short_line + 1 + anchor_middle.size() + slack::short_line + anchor_close.size()) +
    widest_move;

char* write_link_anchor(char* to, std::string_view target, std::string_view label) {
    const auto href = [target](char* at) {
        return target.size() <= slack::short_target ? write_short_href(at, target) : write_href(at, target, false);
    };
    return write_anchor_with<FixedMoves>(to, href, label);
}

// Appends a short line after its scaffolding, its anchor written by
// `write_anchor(to)` in place of its source, with one check of the room.
template <class WriteAnchor>
void append_short_line(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                       OutputBuffer& out, WriteAnchor write_anchor) {
    const char* const content = headline.content.data();
    const std::string_view source = headline.link_source;
    const auto before = static_cast<std::size_t>(source.data() - content);
    const std::size_t after = headline.content.size() - before - source.size();
    char* const begin = out.extend(scaffolding_width + short_line_room);
    std::memcpy(begin, scaffolding, scaffolding_width);
    char* to = begin + scaffolding_size;
    copy_within_64(to, content, before);
    to = write_anchor(to + before);
    copy_within_64(to, source.data() + source.size(), after);
    out.advance(static_cast<std::size_t>(to + after - begin));
}

}  // namespace

void append_short_link(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                       OutputBuffer& out) {
    const std::string_view target = headline.target, label = shown_label(headline);
    append_short_line(scaffolding, scaffolding_size, headline, out,
                      [&](char* to) { return write_link_anchor(to, target, label); });
}

void append_short_hashtag(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                          OutputBuffer& out) {
    const std::string_view source = headline.link_source;
    append_short_line(scaffolding, scaffolding_size, headline, out,
                      [&](char* to) { return write_hashtag_anchor<FixedMoves>(to, source); });
}

}  // namespace brelim
