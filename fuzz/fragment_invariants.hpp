#pragma once

// What every fragment and every headline's HTML must satisfy, whatever the
// input. A broken invariant prints what broke and aborts, which libFuzzer
// reports as a crash and keeps the input of.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace brelim::fuzz {

inline void require(bool holds, const char* what, std::string_view where = {}) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    if (!where.empty()) {
        const int shown = static_cast<int>(std::min<std::size_t>(where.size(), 300));
        std::fprintf(stderr, "at: %.*s\n", shown, where.data());
    }
    std::abort();
}

// An href value: closed by its own apostrophe right before the ">", holding
// no markup, and, once a URL parser has dropped the leading blanks and
// control characters, naming no scheme that runs code.
inline void check_href(std::string_view after_quote) {
    const std::size_t close = after_quote.find('\'');
    require(close != std::string_view::npos, "href without its closing apostrophe", after_quote);
    require(after_quote.substr(close).starts_with("'>"), "href value broken out of", after_quote);
    const std::string_view value = after_quote.substr(0, close);
    require(value.find_first_of("<>") == std::string_view::npos, "markup inside an href", value);
    std::size_t begin = 0;
    while (begin < value.size() && static_cast<unsigned char>(value[begin]) <= 0x20) ++begin;
    std::string url(value.substr(begin));
    for (char& c : url) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::string_view scheme : {"javascript:", "vbscript:", "data:"}) {
        require(!url.starts_with(scheme), "script scheme in an href", value);
    }
    // The label runs up to the anchor's own end tag: anchors never nest.
    const std::string_view label = after_quote.substr(close + 2);
    const std::size_t tag = label.find('<');
    require(tag != std::string_view::npos && label.substr(tag).starts_with("</a>"),
            "anchor not closed before the next tag", label);
}

// Only ASCII; every "<" starts a tag of the scaffolding or of an anchor, and
// every anchor is well formed.
inline void check_markup(std::string_view html) {
    for (const char c : html) require(static_cast<unsigned char>(c) < 0x80, "byte outside ASCII", html);
    constexpr std::string_view tags[] = {"<ul>", "</ul>", "<li>", "</li>", "<a href='", "</a>"};
    for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
        const std::string_view rest = html.substr(at);
        const bool known =
            std::any_of(std::begin(tags), std::end(tags), [&](std::string_view tag) { return rest.starts_with(tag); });
        require(known, "'<' that starts no scaffolding or anchor tag", rest);
        if (rest.starts_with("<a href='")) check_href(rest.substr(9));
    }
}

// A whole fragment: the fixed frame around it, and line feeds only where the
// scaffolding writes them (after a closing "</li>" and in the final suffix).
inline void check_fragment(std::string_view fragment) {
    require(fragment.starts_with("<ul>"), "fragment does not start with <ul>", fragment);
    require(fragment.ends_with("\n</li></ul>"), "fragment does not end with the suffix", fragment);
    check_markup(fragment);
    const std::size_t suffix_feed = fragment.size() - 11;
    for (std::size_t at = fragment.find('\n'); at < suffix_feed; at = fragment.find('\n', at + 1)) {
        require(at >= 5 && fragment.substr(at - 5, 5) == "</li>", "line feed outside the scaffolding",
                fragment.substr(at >= 40 ? at - 40 : 0));
    }
}

}  // namespace brelim::fuzz
