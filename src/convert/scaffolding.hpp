#pragma once

// The list scaffolding of a fragment: what goes before each headline's HTML,
// and around them all, written once for the conversion and its measure.

#include <array>
#include <cstddef>
#include <string_view>

#include "../grammar/rule.hpp"

namespace brelim {

// The scaffolding before a headline's HTML: at most one list is opened or
// closed per headline, whatever the jump in level. Returns the new depth.
template <class Out>
constexpr int write_scaffolding(Rule level, int depth, Out& out) {
    switch (level) {
    case Rule::headline1:
        if (depth > 0) out.append("</li>\n");
        if (depth > 1) out.append("</ul>");
        out.append("<li>");
        return 1;
    case Rule::headline2:
        out.append(depth < 2 ? "<ul>" : depth == 2 ? "</li>" : "</ul>");
        out.append("<li>");
        return 2;
    case Rule::headline3:
        out.append(depth < 3 ? "<ul>" : "</li>");
        out.append("<li>");
        return 3;
    default:
        return depth;
    }
}

// The same scaffolding written once for every level and depth, so that a
// headline costs one small copy instead of a few branches and appends.
struct Piece {
    char bytes[16] = {};
    std::size_t size = 0;

    constexpr void append(std::string_view text) {
        for (const char c : text) bytes[size++] = c;
    }
};

inline constexpr auto scaffolding = [] {
    std::array<std::array<Piece, 4>, 3> table{};
    for (int level = 0; level < 3; ++level) {
        for (int depth = 0; depth < 4; ++depth) {
            write_scaffolding(static_cast<Rule>(static_cast<int>(Rule::headline1) + level), depth, table[level][depth]);
        }
    }
    return table;
}();

inline constexpr std::string_view fragment_open = "<ul>", fragment_close = "\n</li></ul>";

constexpr bool is_item(Rule level) {
    return level == Rule::headline1 || level == Rule::headline2 || level == Rule::headline3;
}

}  // namespace brelim
