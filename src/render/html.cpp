#include "html.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../bytes/copy_bytes.hpp"
#include "../bytes/find_text.hpp"
#include "../bytes/portable.hpp"
#include "../bytes/short_mask.hpp"
#include "append_string.hpp"

namespace brelim {

namespace {

// The headline's text: its `text` pairs appended in order. They lie back to
// back in the line, so this stays a view of it; only texts that are not
// adjacent (a tree the grammar never makes) force a copy.
class Content {
public:
    void append(std::string_view piece) {
        const bool adjacent = view_.empty() || view_.data() + view_.size() == piece.data();
        if (owned_.empty() && adjacent) {
            view_ = view_.empty() ? piece : std::string_view(view_.data(), view_.size() + piece.size());
            return;
        }
        if (owned_.empty()) owned_ = view_;
        owned_ += piece;
    }
    std::string_view view() const { return owned_.empty() ? view_ : std::string_view(owned_); }

private:
    std::string_view view_;
    std::string owned_;  // empty until the texts are copied
};

bool starts_with_ignoring_case(std::string_view text, std::string_view lower_prefix) {
    if (text.size() < lower_prefix.size()) return false;
    for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_prefix[i]) return false;
    }
    return true;
}

// A scheme that runs code when followed, whatever "http" appears later.
bool is_script_url(std::string_view target) {
    std::size_t begin = 0;
    while (begin < target.size() && (target[begin] == ' ' || target[begin] == '\t')) ++begin;
    const std::string_view rest = target.substr(begin);
    return starts_with_ignoring_case(rest, "javascript:") || starts_with_ignoring_case(rest, "vbscript:") ||
           starts_with_ignoring_case(rest, "data:");
}

// Whether a target goes into the href as written: it contains "http" and
// runs no script. Any other is percent-encoded.
inline bool href_as_written(std::string_view target) {
    return target.find("http") != std::string_view::npos && !is_script_url(target);
}

// How far past its start write_short_href reads a target, and how far past
// the href's end its moves write.
constexpr std::size_t href_readable = 32, href_slack = 16;

// The most an anchor takes: its fixed parts, five bytes for each byte of
// the target (an apostrophe becomes "&#39;"; a percent-encoding takes three,
// and one more to spare) and the label, and the slack of an href's moves.
std::size_t anchor_room(std::string_view target, std::string_view label) {
    return 9 + 5 * target.size() + 1 + 2 + label.size() + 4 + href_slack;  // "<a href='", "'>", "</a>"
}

// The target as written but for its apostrophes, which must not end the
// apostrophe-delimited attribute.
char* write_literal_href(char* to, std::string_view target) {
    for (std::size_t from = 0;;) {
        const std::size_t quote = target.find('\'', from);
        const std::size_t piece = (quote == std::string_view::npos ? target.size() : quote) - from;
        copy_bytes(to, target.data() + from, piece);
        to += piece;
        if (quote == std::string_view::npos) return to;
        std::memcpy(to, "&#39;", 5);
        to += 5;
        from = quote + 1;
    }
}

constexpr std::string_view anchor_open = "<a href='", anchor_middle = "'>", anchor_close = "</a>";

// The target percent-encoded; tells in `http` whether it contains "http".
char* write_encoded_href(char* to, std::string_view target, bool& http) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(target.data());
    const std::size_t size = target.size();
    for (std::size_t i = 0; i < size; ++i) {
        const PercentEncoded& code = percent_encoded[bytes[i]];
        std::memcpy(to, &code, sizeof code);
        to += code.size;
        if (bytes[i] == 'h' && size - i >= 4 && bytes[i + 1] == 't' && bytes[i + 2] == 't' && bytes[i + 3] == 'p') {
            http = true;
        }
    }
    return to;
}

// The bytes of a target that both of its hrefs keep as they are: the
// unreserved ones but "h", which may begin "http".
constexpr ByteSet href_kept = ByteSet::range('A', 'Z') | ByteSet::range('a', 'g') | ByteSet::range('i', 'z') |
                              ByteSet::range('0', '9') | ByteSet::of('-', '.', '_', '~');

char* write_href(char* to, std::string_view target, bool readable);

// A target of at most 16 bytes, which may be read href_readable bytes past
// its start, into room for href_slack bytes past its href: the runs of bytes it keeps are moved 16 bytes at a time
// between the bytes it encodes, found from one block; an "h" that begins "http" hands the target to write_href, which
// writes it as it is.
BRELIM_ALWAYS_INLINE char* write_short_href(char* to, std::string_view target) {
    const char* const from = target.data();
    const std::size_t size = target.size();
    char* const begin = to;
    std::size_t done = 0;
    for (std::uint32_t marked = short_outside_mask<href_kept>(from, size); marked != 0; marked &= marked - 1) {
        const auto at = static_cast<std::size_t>(std::countr_zero(marked));
        if (from[at] == 'h' && size - at >= 4 && std::memcmp(from + at, "http", 4) == 0) {
            return write_href(begin, target, false);
        }
        std::memcpy(to, from + done, 16);
        to += at - done;
        const PercentEncoded& code = percent_encoded[static_cast<unsigned char>(from[at])];
        std::memcpy(to, &code, sizeof code);
        to += code.size;
        done = at + 1;
    }
    std::memcpy(to, from + done, 16);
    return to + (size - done);
}

// A target that contains "http" goes into the href as written, unless its
// scheme runs code; any other is percent-encoded. A short target is encoded
// in the same pass that looks for "http", and written again in the rare case
// it holds one: from one block's mask where it may be read href_readable
// bytes past its start (`readable`), else a byte at a time. A long one is
// searched first.
char* write_href(char* to, std::string_view target, bool readable) {
    if (readable && target.size() <= 16) return write_short_href(to, target);
    bool http = false;
    if (target.size() > 16) {
        return href_as_written(target) ? write_literal_href(to, target) : write_encoded_href(to, target, http);
    }
    char* const end = write_encoded_href(to, target, http);
    return http && !is_script_url(target) ? write_literal_href(to, target) : end;
}

// Whether `target` may be read href_readable bytes past its start: it lies
// in a document readable up to `readable_end`, when that is not null.
bool readable_past(std::string_view target, const char* readable_end) {
    return readable_end != nullptr && readable_end - target.data() >= static_cast<std::ptrdiff_t>(href_readable);
}

alignas(16) constexpr char anchor_open_padded[16] = "<a href='";

// How an anchor's pieces are moved: each as it is, or as one move of a
// fixed size whose excess the next piece overwrites, where the document may
// be read and the output written past a piece (copy_within_64).
struct ExactMoves {
    static char* open(char* to) {
        std::memcpy(to, anchor_open.data(), anchor_open.size());
        return to + anchor_open.size();
    }
    static void copy(char* to, const char* from, std::size_t n) { copy_bytes(to, from, n); }
};
struct FixedMoves {
    static char* open(char* to) {
        std::memcpy(to, anchor_open_padded, sizeof anchor_open_padded);
        return to + anchor_open.size();
    }
    static void copy(char* to, const char* from, std::size_t n) { copy_within_64(to, from, n); }
};

// Writes an anchor at `to`, its href by `write_href(to)`, and returns its end.
template <class Moves, class WriteHref>
BRELIM_ALWAYS_INLINE char* write_anchor_with(char* to, WriteHref write_href, std::string_view label) {
    to = write_href(Moves::open(to));
    std::memcpy(to, "'>", 2);
    to += 2;
    Moves::copy(to, label.data(), label.size());
    to += label.size();
    std::memcpy(to, "</a>", 4);
    return to + 4;
}

// A hashtag's anchor: its word, made of letters and digits, is its href as it
// is, and the whole hashtag its label.
template <class Moves>
BRELIM_ALWAYS_INLINE char* write_hashtag_anchor(char* to, std::string_view hashtag) {
    const auto word = [hashtag](char* href) {
        Moves::copy(href, hashtag.data() + 1, hashtag.size() - 1);
        return href + hashtag.size() - 1;
    };
    return write_anchor_with<Moves>(to, word, hashtag);
}

// The size write_hashtag_anchor writes.
constexpr std::size_t hashtag_anchor_size(std::string_view hashtag) {
    return anchor_open.size() + 2 * hashtag.size() - 1 + anchor_middle.size() + anchor_close.size();
}

// Writes the anchor at `to`, which has anchor_room() bytes, and returns its
// end; `readable` as for write_href.
char* write_anchor(char* to, std::string_view target, std::string_view label, bool readable) {
    return write_anchor_with<ExactMoves>(to, [&](char* href) { return write_href(href, target, readable); }, label);
}

BRELIM_ALWAYS_INLINE void append_anchor(std::string_view target, std::string_view label, bool readable,
                                        OutputBuffer& out) {
    char* const to = out.extend(anchor_room(target, label));
    out.advance(static_cast<std::size_t>(write_anchor(to, target, label, readable) - to));
}

// The size append_anchor writes.
std::size_t anchor_size(std::string_view target, std::string_view label) {
    std::size_t href = target.size();
    if (href_as_written(target)) {
        for (const char c : target) href += c == '\'' ? 4 : 0;  // "&#39;"
    } else {
        href = encoded_size(target);
    }
    return anchor_open.size() + href + anchor_middle.size() + label.size() + anchor_close.size();
}

// Walks `content` with every occurrence of `source` replaced, left to right,
// never overlapping, never searching an inserted anchor: `text(piece)` for
// the content between occurrences, `anchor()` for each occurrence.
// `next(from)` is the first occurrence at or after `from`, or npos.
template <class Next, class Text, class Anchor>
void for_each_replaced(std::string_view content, std::size_t source_size, Next next, Text text, Anchor anchor) {
    for (std::size_t from = 0;;) {
        const std::size_t hit = next(from);
        if (hit == std::string_view::npos) {
            text(content.substr(from));
            return;
        }
        text(content.substr(from, hit - from));
        anchor();
        from = hit + source_size;
        if (source_size == 0) {  // an empty source occurs before every character and at the end
            if (from == content.size()) return;
            text(content.substr(from++, 1));
        }
    }
}

// The occurrences of the headline's last link or hashtag in its content, as
// for_each_replaced walks them.
template <class Text, class Anchor>
void for_each_link_replaced(const Headline& headline, Text text, Anchor anchor) {
    const std::string_view content = headline.content;
    const std::string_view source = headline.link_source;
    if (headline.link_count == 0) {
        const auto search = [&](std::size_t from) { return find_text(content, source, from); };
        for_each_replaced(content, source.size(), search, text, anchor);
        return;
    }
    // The last link occurs at its own place and nowhere after it; before it
    // only where another link or hashtag begins, which ends before it does.
    const auto own = static_cast<std::size_t>(source.data() - content.data());
    const std::string_view before = content.substr(0, own);
    const auto search = [&](std::size_t from) {
        if (from >= own) return from == own ? own : std::string_view::npos;
        const std::size_t hit = headline.link_count > 1 ? find_text(before, source, from) : std::string_view::npos;
        return hit != std::string_view::npos ? hit : own;
    };
    for_each_replaced(content, source.size(), search, text, anchor);
}

std::string_view shown_label(const Headline& headline) {
    return headline.label.empty() ? headline.target : headline.label;
}

// A headline whose one hashtag is its only anchor: the text around it and the
// anchor are written with one check of the buffer's room.
void append_with_hashtag(std::string_view before, std::string_view hashtag, std::string_view after, OutputBuffer& out) {
    const std::size_t size = before.size() + hashtag_anchor_size(hashtag) + after.size();
    char* to = out.extend(size);
    copy_bytes(to, before.data(), before.size());
    to = write_hashtag_anchor<ExactMoves>(to + before.size(), hashtag);
    copy_bytes(to, after.data(), after.size());
    out.advance(size);
}

// A headline whose one link is its only anchor: the text around it and the
// anchor are written with one check of the buffer's room.
void append_with_link(std::string_view before, std::string_view target, std::string_view label, std::string_view after,
                      bool readable, OutputBuffer& out) {
    char* const begin = out.extend(before.size() + anchor_room(target, label) + after.size());
    copy_bytes(begin, before.data(), before.size());
    char* to = write_anchor(begin + before.size(), target, label, readable);
    copy_bytes(to, after.data(), after.size());
    out.advance(static_cast<std::size_t>(to + after.size() - begin));
}

// A hashtag's anchor, written as append_anchor would.
void append_hashtag_anchor(std::string_view hashtag, OutputBuffer& out) {
    const std::size_t size = hashtag_anchor_size(hashtag);
    write_hashtag_anchor<ExactMoves>(out.extend(size), hashtag);
    out.advance(size);
}

// Any other headline with links or hashtags. Out of line, so that the
// common headlines above do not pay for its set-up. The anchor is written
// once and later occurrences copy it from the output.
BRELIM_NOINLINE void append_with_links(const Headline& headline, bool readable, OutputBuffer& out) {
    std::size_t anchor_at = std::string_view::npos;
    std::size_t anchor_length = 0;
    const auto text = [&](std::string_view piece) { out.append(piece); };
    const auto anchor = [&] {
        if (anchor_at == std::string_view::npos) {
            anchor_at = out.size();
            if (headline.link_source.front() == '#') {
                append_hashtag_anchor(headline.link_source, out);  // a hashtag is its own label
            } else {
                append_anchor(headline.target, shown_label(headline), readable, out);
            }
            anchor_length = out.size() - anchor_at;
        } else {
            out.append_copy(anchor_at, anchor_length);
        }
    };
    for_each_link_replaced(headline, text, anchor);
}

// A line of fewer than 64 bytes whose one link or hashtag is its only
// anchor, read where 128 bytes from its content's start may be read: each
// piece is written as one move of a fixed size (copy_within_64) whose excess
// the next piece overwrites, with no branch on its size beyond that move's.
constexpr std::size_t short_content = 64, short_readable = 128;

bool is_short_line(const Headline& headline, const char* readable_end) {
    const std::string_view content = headline.content;
    return headline.link_count == 1 && !headline.target.empty() && content.size() < short_content &&
           readable_end - content.data() >= static_cast<std::ptrdiff_t>(short_readable);
}

// The most a short line's pieces take, their moves' excess included: its
// text, an anchor of a target and a label each shorter than the line, and a
// last move.
constexpr std::size_t short_line_room =
    short_content + (9 + 5 * short_content + 1 + 2 + short_content + 4) + short_content;

char* write_link_anchor(char* to, std::string_view target, std::string_view label) {
    const auto href = [target](char* at) {
        return target.size() <= 16 ? write_short_href(at, target) : write_href(at, target, false);
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

// A short line whose anchor is a link.
BRELIM_NOINLINE void append_short_link(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                                       OutputBuffer& out) {
    const std::string_view target = headline.target, label = shown_label(headline);
    append_short_line(scaffolding, scaffolding_size, headline, out,
                      [&](char* to) { return write_link_anchor(to, target, label); });
}

// A short line whose anchor is a hashtag.
BRELIM_NOINLINE void append_short_hashtag(const char* scaffolding, std::size_t scaffolding_size,
                                          const Headline& headline, OutputBuffer& out) {
    const std::string_view source = headline.link_source;
    append_short_line(scaffolding, scaffolding_size, headline, out,
                      [&](char* to) { return write_hashtag_anchor<FixedMoves>(to, source); });
}

// A headline that is not a short line: its scaffolding, then its HTML.
BRELIM_NOINLINE void append_after(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                                  OutputBuffer& out) {
    std::memcpy(out.extend(scaffolding_width), scaffolding, scaffolding_width);
    out.advance(scaffolding_size);
    append_html(headline, nullptr, out);
}

}  // namespace

void append_html(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                 const char* readable_end, OutputBuffer& out) {
    if (!is_short_line(headline, readable_end)) return append_after(scaffolding, scaffolding_size, headline, out);
    if (headline.link_source.front() == '#') return append_short_hashtag(scaffolding, scaffolding_size, headline, out);
    append_short_link(scaffolding, scaffolding_size, headline, out);
}

void append_html(const Headline& headline, const char* readable_end, OutputBuffer& out) {
    if (headline.target.empty()) {
        out.append(headline.content);
        return;
    }
    const std::string_view source = headline.link_source;
    if (headline.link_count == 1) {
        // The content's one link or hashtag: the text around it is all there is.
        const char* const begin = headline.content.data();
        const char* const end = begin + headline.content.size();
        const char* const after = source.data() + source.size();
        const std::string_view before_text{begin, static_cast<std::size_t>(source.data() - begin)};
        const std::string_view after_text{after, static_cast<std::size_t>(end - after)};
        if (source.front() == '#') {
            append_with_hashtag(before_text, source, after_text, out);
        } else {
            append_with_link(before_text, headline.target, shown_label(headline), after_text,
                             readable_past(headline.target, readable_end), out);
        }
        return;
    }
    append_with_links(headline, readable_past(headline.target, readable_end), out);
}

void append_html(const Pair& headline, OutputBuffer& out) {
    Content content;
    Headline values;
    RecordLinks record{values};
    // The text of the first child of `pair` made by `rule`.
    const auto part = [](const Pair& pair, Rule rule) {
        for (const Pair& child : pair.children()) {
            if (child.rule() == rule) return child.text();
        }
        return std::string_view{};
    };
    for (const Pair& pair : headline.descendants()) {
        switch (pair.rule()) {
        case Rule::text:
            content.append(pair.text());
            break;
        case Rule::plain_link:
            record.plain_link(pair.text(), part(pair, Rule::link_target));
            break;
        case Rule::described_link:
            record.described_link(pair.text(), part(pair, Rule::link_target), part(pair, Rule::link_desc));
            break;
        case Rule::hashtag:
            record.hashtag(pair.text());
            break;
        default:
            break;
        }
    }
    values.content = content.view();
    // The content may be pieced together rather than a view of the line, so
    // the renderer is not told where the links stand: it searches it whole.
    values.link_count = 0;
    append_html(values, nullptr, out);
}

std::size_t html_size(const Headline& headline) {
    if (headline.target.empty()) return headline.content.size();
    std::size_t occurrences = 0;
    for_each_link_replaced(headline, [](std::string_view) {}, [&] { ++occurrences; });
    const std::size_t anchor = anchor_size(headline.target, shown_label(headline));
    const std::size_t rest = headline.content.size() - occurrences * headline.link_source.size();
    if (occurrences != 0 && anchor > (SIZE_MAX - rest) / occurrences) return SIZE_MAX;
    return rest + occurrences * anchor;
}

std::size_t anchor_places(const Headline& headline, std::vector<std::size_t>& places) {
    places.clear();
    if (headline.target.empty()) return 0;
    const std::string_view label = shown_label(headline);
    const std::size_t anchor = anchor_size(headline.target, label);
    std::size_t at = 0;
    for_each_link_replaced(
        headline, [&](std::string_view piece) { at += piece.size(); },
        [&] {
            places.push_back(at);
            at += anchor;
        });
    return anchor - anchor_open.size() - anchor_middle.size() - label.size() - anchor_close.size();
}

bool runs_script(std::string_view target) { return is_script_url(target); }

bool label_carried_over(const Headline& headline) {
    const std::string_view source = headline.link_source;
    const bool plain_link = source.starts_with("[[") && source.size() == headline.target.size() + 4;
    return plain_link && !headline.label.empty();
}

std::string html(Pair headline) {
    OutputBuffer out;
    append_html(headline, out);
    return out.str();
}

}  // namespace brelim
