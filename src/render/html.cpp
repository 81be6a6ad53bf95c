#include "html.hpp"

#include <cstring>
#include <string_view>

#include "../bytes/find_text.hpp"
#include "../bytes/portable.hpp"
#include "anchor.hpp"
#include "link_occurrences.hpp"
#include "short_line.hpp"

namespace brelim {

namespace {

// Whether `target` may be read slack::href_read bytes past its start.
bool readable_past(std::string_view target, Readable readable) {
    return readable.reaches(target.data(), slack::href_read);
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

// A hashtag's anchor, on its own.
void append_hashtag_anchor(std::string_view hashtag, OutputBuffer& out) {
    const std::size_t size = hashtag_anchor_size(hashtag);
    write_hashtag_anchor<ExactMoves>(out.extend(size), hashtag);
    out.advance(size);
}

// A link's anchor, on its own.
BRELIM_ALWAYS_INLINE void append_anchor(std::string_view target, std::string_view label, bool readable,
                                        OutputBuffer& out) {
    char* const to = out.extend(anchor_room(target, label));
    out.advance(static_cast<std::size_t>(write_anchor(to, target, label, readable) - to));
}

// A headline whose last link or hashtag occurs more than once, or whose links
// were not counted. Out of line, so that the common headlines above do not
// pay for its set-up. The anchor is written once and later occurrences copy
// it from the output.
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

// Whether the last link or hashtag of a headline whose links were counted,
// two or more, occurs before its own place too.
bool occurs_earlier(const Headline& headline) {
    const std::string_view content = headline.content;
    const std::string_view source = headline.link_source;
    if (headline.starts.whole(headline.link_count)) {
        return headline.starts.occurs_earlier(content, headline.link_count, source);
    }
    const auto own = static_cast<std::size_t>(source.data() - content.data());
    return find_text(content.substr(0, own), source, 0) != std::string_view::npos;
}

// The headline's HTML, after its scaffolding.
void append_content(const Headline& headline, Readable readable, OutputBuffer& out) {
    if (headline.target.empty()) {
        out.append(headline.content);
        return;
    }
    const std::string_view source = headline.link_source;
    if (headline.link_count == 1 || (headline.link_count > 1 && !occurs_earlier(headline))) {
        // The content's last link or hashtag occurs only at its own place:
        // the text around it is all there is.
        const char* const begin = headline.content.data();
        const char* const end = begin + headline.content.size();
        const char* const after = source.data() + source.size();
        const std::string_view before_text{begin, static_cast<std::size_t>(source.data() - begin)};
        const std::string_view after_text{after, static_cast<std::size_t>(end - after)};
        if (source.front() == '#') {
            append_with_hashtag(before_text, source, after_text, out);
        } else {
            append_with_link(before_text, headline.target, shown_label(headline), after_text,
                             readable_past(headline.target, readable), out);
        }
        return;
    }
    append_with_links(headline, readable_past(headline.target, readable), out);
}

// A headline that is not a short line: its scaffolding, then its HTML.
BRELIM_NOINLINE void append_after(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline,
                                  Readable readable, OutputBuffer& out) {
    std::memcpy(out.extend(scaffolding_width), scaffolding, scaffolding_width);
    out.advance(scaffolding_size);
    append_content(headline, readable, out);
}

}  // namespace

void append_html(const char* scaffolding, std::size_t scaffolding_size, const Headline& headline, Readable readable,
                 OutputBuffer& out) {
    if (!is_short_line(headline, readable)) {
        return append_after(scaffolding, scaffolding_size, headline, readable, out);
    }
    if (headline.link_source.front() == '#') return append_short_hashtag(scaffolding, scaffolding_size, headline, out);
    append_short_link(scaffolding, scaffolding_size, headline, out);
}

}  // namespace brelim
