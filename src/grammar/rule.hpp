#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brelim {

// The rules of the outline grammar. The number is what an End token records,
// and any rule can be named as the start rule of a parse.
enum class Rule : std::uint8_t {
    EOI = 0,
    paren = 1,
    select_punc = 2,
    plain_chunk = 3,
    link_target = 4,
    plain_link = 5,
    link_desc = 6,
    described_link = 7,
    link = 8,
    hashtag_target = 9,
    hashtag = 10,
    text = 11,
    headline1 = 12,
    headline2 = 13,
    headline3 = 14,
    headline4 = 15,
    headline = 16,
    input = 17,
};

inline constexpr std::size_t rule_count = 18;

constexpr std::string_view rule_name(Rule rule) {
    constexpr std::string_view names[rule_count] = {
        "EOI",  "paren",          "select_punc", "plain_chunk", "link_target", "plain_link",
        "link_desc", "described_link", "link",   "hashtag_target", "hashtag",  "text",
        "headline1", "headline2",  "headline3",   "headline4",   "headline",    "input",
    };
    const auto index = static_cast<std::size_t>(rule);
    return index < rule_count ? names[index] : std::string_view{"?"};
}

// A silent rule leaves no pair of its own; the pairs of the normal rules it
// calls pass through to its caller.
constexpr bool is_silent(Rule rule) {
    switch (rule) {
    case Rule::paren:
    case Rule::select_punc:
    case Rule::plain_chunk:
    case Rule::link:
    case Rule::headline:
    case Rule::input:
        return true;
    default:
        return false;
    }
}

}  // namespace brelim
