#pragma once

// The list scaffolding of a fragment, and its one writer: the root list
// around every item, and before each headline's HTML what opens and closes
// the lists between the depth before it and its level. Written here for
// both conversions, and counted here for the measure.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "../bytes/copy_bytes.hpp"
#include "../bytes/portable.hpp"
#include "../bytes/reach.hpp"
#include "../reading/headline.hpp"
#include "../render/html.hpp"
#include "../render/output_buffer.hpp"

namespace brelim {

// Whether a headline of `level` is an item of the fragment: levels 1 to 3.
constexpr bool is_item(std::size_t level) { return level >= 1 && level <= 3; }

// Whether the starred line at `begin` of `document` starts with four
// asterisks or more: it is no item, whatever follows them, so it need not be
// read at all.
inline bool below_items(std::string_view document, std::size_t begin) noexcept {
    if (document.size() - begin < 4) return false;
    std::uint32_t stars, four;
    std::memcpy(&stars, document.data() + begin, 4);
    std::memcpy(&four, "****", 4);
    return stars == four;
}

// The scaffolding before a headline's HTML: at most one list is opened or
// closed per headline, whatever the jump in level. Returns the new depth.
template <class Out>
constexpr int write_scaffolding(std::size_t level, int depth, Out& out) {
    switch (level) {
    case 1:
        if (depth > 0) out.append("</li>\n");
        if (depth > 1) out.append("</ul>");
        out.append("<li>");
        return 1;
    case 2:
        out.append(depth < 2 ? "<ul>" : depth == 2 ? "</li>" : "</ul>");
        out.append("<li>");
        return 2;
    case 3:
        out.append(depth < 3 ? "<ul>" : "</li>");
        out.append("<li>");
        return 3;
    default:
        return depth;
    }
}

// The same scaffolding made once for every level and depth, so that a
// headline costs one move of a fixed size instead of a few branches and
// appends.
struct Piece {
    char bytes[scaffolding_width] = {};
    std::size_t size = 0;

    constexpr void append(std::string_view text) {
        for (const char c : text) bytes[size++] = c;
    }
};

inline constexpr auto scaffolding = [] {
    std::array<std::array<Piece, 4>, 3> table{};
    for (std::size_t level = 1; level <= 3; ++level) {
        for (int depth = 0; depth < 4; ++depth) {
            write_scaffolding(level, depth, table[level - 1][static_cast<std::size_t>(depth)]);
        }
    }
    return table;
}();

inline constexpr std::string_view fragment_open = "<ul>", fragment_close = "\n</li></ul>";

// The scaffolding before a headline of `level`, 1 to 3, at `depth`, 0 to 3.
inline const Piece& scaffolding_before(std::size_t level, int depth) noexcept {
    return scaffolding[level - 1][static_cast<std::size_t>(depth)];
}

// The fragment starts with the root list; headlines grow by their
// scaffolding and anchors and prose vanishes, so a quarter more than the
// document covers notes without growing.
inline void open_fragment(std::size_t document_size, OutputBuffer& out) {
    out.reserve(out.size() + document_size + document_size / 4 + 64);
    out.append(fragment_open);
}

// Whatever the depth, the same fixed suffix closes the fragment.
inline void close_fragment(OutputBuffer& out) { out.append(fragment_close); }

// Appends an item of `level`, a headline of plain text read from its window:
// its scaffolding and its text, of less than a window, each as one move of a
// fixed size where the document goes on far enough. Returns the new depth.
inline int append_plain(std::size_t level, std::string_view text, Readable readable, int depth, OutputBuffer& out) {
    const Piece& piece = scaffolding_before(level, depth);
    char* to = out.extend(sizeof piece.bytes + slack::line_write);
    std::memcpy(to, piece.bytes, sizeof piece.bytes);
    to += piece.size;
    if (!readable.reaches(text.data(), slack::line_read)) [[unlikely]] {
        copy_bytes(to, text.data(), text.size());
    } else if (text.size() <= widest_move / 2) {
        std::memcpy(to, text.data(), widest_move / 2);
    } else {
        std::memcpy(to, text.data(), widest_move);
    }
    out.advance(piece.size + text.size());
    return static_cast<int>(level);
}

// Appends an item with links or hashtags read from its window, and so
// shorter than one. Out of line, so that the loop keeps its registers for
// plain headlines.
BRELIM_NOINLINE inline int append_marked(std::size_t level, const Headline& headline, Readable readable, int depth,
                                         OutputBuffer& out) {
    const Piece& piece = scaffolding_before(level, depth);
    append_html(piece.bytes, piece.size, headline, readable, out);
    return static_cast<int>(level);
}

// Appends an item: its scaffolding, then its HTML, with one check of the
// buffer's room for the common headline without links or hashtags.
inline int append_item(const Headline& headline, Readable readable, int depth, OutputBuffer& out) {
    const Piece& piece = scaffolding_before(headline.level, depth);
    if (headline.target.empty()) {
        const std::string_view text = headline.content;
        char* to = out.extend(sizeof piece.bytes + text.size());
        std::memcpy(to, piece.bytes, sizeof piece.bytes);
        copy_bytes(to + piece.size, text.data(), text.size());
        out.advance(piece.size + text.size());
    } else {
        append_html(piece.bytes, piece.size, headline, readable, out);
    }
    return static_cast<int>(headline.level);
}

}  // namespace brelim
