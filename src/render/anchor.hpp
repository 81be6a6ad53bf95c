#pragma once

// An anchor: "<a href='", its href, "'>", its label, "</a>". Its pieces are
// moved each as it is, or each as one move of a fixed size whose excess the
// next piece overwrites; a policy type says which.

#include <cstddef>
#include <cstring>
#include <string_view>

#include "../bytes/copy_bytes.hpp"
#include "../bytes/portable.hpp"
#include "href.hpp"

namespace brelim {

inline constexpr std::string_view anchor_open = "<a href='", anchor_middle = "'>", anchor_close = "</a>";

alignas(narrow_move) inline constexpr char anchor_open_padded[narrow_move] = "<a href='";

// Each piece moved as it is.
struct ExactMoves {
    static char* open(char* to) {
        std::memcpy(to, anchor_open.data(), anchor_open.size());
        return to + anchor_open.size();
    }
    static void copy(char* to, const char* from, std::size_t n) { copy_bytes(to, from, n); }
};

// Each piece moved as one move of a fixed size (copy_within_64), where the
// document may be read, and the output written, widest_move bytes from a
// piece's start.
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

// Writes a link's anchor at `to`, which has anchor_room() bytes, and returns
// its end; `readable` as for write_href.
inline char* write_anchor(char* to, std::string_view target, std::string_view label, bool readable) {
    return write_anchor_with<ExactMoves>(to, [&](char* href) { return write_href(href, target, readable); }, label);
}

// The most write_anchor takes.
constexpr std::size_t anchor_room(std::string_view target, std::string_view label) {
    return anchor_open.size() + href_room(target) + anchor_middle.size() + label.size() + anchor_close.size();
}

// The size write_anchor writes.
inline std::size_t anchor_size(std::string_view target, std::string_view label) {
    return anchor_open.size() + href_size(target) + anchor_middle.size() + label.size() + anchor_close.size();
}

}  // namespace brelim
