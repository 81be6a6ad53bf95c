#include "parse_file.hpp"

#include <array>
#include <cstring>

#include "../bytes/copy_bytes.hpp"
#include "../bytes/portable.hpp"
#include "../reading/line_scanner.hpp"
#include "../reading/starred_window.hpp"
#include "../render/html.hpp"
#include "lines.hpp"
#include "scaffolding.hpp"

namespace brelim {

namespace {

// Appends a headline of level 1 to 3, its scaffolding first, with one check
// of the buffer's room for the common headline without links or hashtags;
// returns the new depth.
int append_item(const Headline& headline, const char* document_end, int depth, OutputBuffer& out) {
    const auto index = static_cast<std::size_t>(headline.rule) - static_cast<std::size_t>(Rule::headline1);
    const Piece& piece = scaffolding[index][static_cast<std::size_t>(depth)];
    if (headline.target.empty()) {
        const std::string_view text = headline.content;
        char* to = out.extend(sizeof piece.bytes + text.size());
        std::memcpy(to, piece.bytes, sizeof piece.bytes);
        copy_bytes(to + piece.size, text.data(), text.size());
        out.advance(piece.size + text.size());
    } else {
        std::memcpy(out.extend(sizeof piece.bytes), piece.bytes, sizeof piece.bytes);
        out.advance(piece.size);
        append_html(headline, document_end, out);
    }
    return static_cast<int>(index) + 1;
}

// Appends a headline of level 1 to 3 (`stars`) with links or hashtags, read
// from its window, and so shorter than one, with its scaffolding and one
// check of the buffer's room; returns the new depth. Out of line, so that the
// loop keeps its registers for plain headlines.
BRELIM_NOINLINE int append_marked(std::size_t stars, const Headline& headline, const char* document_end, int depth,
                                  OutputBuffer& out) {
    const Piece& piece = scaffolding[stars - 1][static_cast<std::size_t>(depth)];
    static_assert(sizeof piece.bytes == scaffolding_width);
    append_html(piece.bytes, piece.size, headline, document_end, out);
    return static_cast<int>(stars);
}

// Appends a headline of level 1 to 3 (`stars`) of plain text, its
// scaffolding first; returns the new depth. The text, of at most 62 bytes, is
// copied as one move of a fixed size where the document goes on far enough.
int append_plain(std::size_t stars, std::string_view text, const char* document_end, int depth, OutputBuffer& out) {
    const Piece& piece = scaffolding[stars - 1][static_cast<std::size_t>(depth)];
    char* to = out.extend(sizeof piece.bytes + 64);
    std::memcpy(to, piece.bytes, sizeof piece.bytes);
    to += piece.size;
    if (document_end - text.data() < 64) [[unlikely]] {
        copy_bytes(to, text.data(), text.size());
    } else if (text.size() <= 32) {
        std::memcpy(to, text.data(), 32);
    } else {
        std::memcpy(to, text.data(), 64);
    }
    out.advance(piece.size + text.size());
    return static_cast<int>(stars);
}

// The fragment starts with the root list; headlines grow by their
// scaffolding and anchors and prose vanishes, so a quarter more than the
// document covers notes without growing.
void open_fragment(std::size_t document_size, OutputBuffer& out) {
    out.reserve(out.size() + document_size + document_size / 4 + 64);
    out.append(fragment_open);
}

// Whatever the depth, the same fixed suffix closes the fragment.
void close_fragment(OutputBuffer& out) { out.append(fragment_close); }

}  // namespace

std::optional<Pair> parse(OutlineParser& parser, std::string_view line) {
    std::optional<Pairs> pairs = parser.parse(Rule::input, line);
    if (!pairs) return std::nullopt;
    return pairs->next();
}

std::optional<Pair> parse(std::string_view line) {
    OutlineParser parser;
    return parse(parser, line);
}

void parse_file(std::string_view document, OutputBuffer& out) {
    open_fragment(document.size(), out);
    PlainRuns runs(document);
    StarredWindow lines(document);
    Headline first;
    int depth = 0;
    const char* const end = document.data() + document.size();
    for (std::size_t begin; (begin = lines.next()) != StarredWindow::none;) {
        if (const std::size_t stars = lines.read(begin, first); stars != 0) {
            depth = first.target.empty() ? append_plain(stars, first.content, end, depth, out)
                                         : append_marked(stars, first, end, depth, out);
            continue;
        }
        if (lines.classified()) runs.adopt(lines.block(), lines.outside());
        if (!scan_line(runs, begin, first) || !is_item(first.rule)) continue;
        depth = append_item(first, end, depth, out);
    }
    close_fragment(out);
}

void parse_file_with_engine(std::string_view document, OutputBuffer& out) {
    open_fragment(document.size(), out);
    OutlineParser parser;
    Lines lines(document);
    int depth = 0;
    while (const auto line = lines.next()) {
        const std::optional<Pair> headline = parse(parser, *line);
        if (!headline || !is_item(headline->rule())) continue;
        depth = write_scaffolding(headline->rule(), depth, out);
        append_html(*headline, out);
    }
    close_fragment(out);
}

std::string parse_file(std::string_view document) {
    OutputBuffer out;
    parse_file(document, out);
    return out.str();
}

std::string parse_file_with_engine(std::string_view document) {
    OutputBuffer out;
    parse_file_with_engine(document, out);
    return out.str();
}

}  // namespace brelim
