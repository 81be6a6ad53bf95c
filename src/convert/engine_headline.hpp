#pragma once

// The engine's headline pair as the renderer's input: its level mapped from
// its rule, and its links and hashtags shown to a RecordLinks in the order
// they stand, as the one-pass reading shows them.

#include <cstddef>
#include <string>

#include "../grammar/pair.hpp"
#include "../grammar/rule.hpp"
#include "../reading/headline.hpp"

namespace brelim {

// A headline rule's level, 1 to 4; 0 for any other rule.
constexpr std::size_t headline_level(Rule rule) noexcept {
    static_assert(static_cast<int>(Rule::headline2) == static_cast<int>(Rule::headline1) + 1 &&
                      static_cast<int>(Rule::headline3) == static_cast<int>(Rule::headline1) + 2 &&
                      static_cast<int>(Rule::headline4) == static_cast<int>(Rule::headline1) + 3,
                  "the headline rules are numbered by level");
    const std::size_t offset = static_cast<std::size_t>(rule) - static_cast<std::size_t>(Rule::headline1);
    return offset < 4 ? offset + 1 : 0;
}

// A headline pair's values. Its content is a view of the line, as its text
// pairs lie back to back there; only texts that are not adjacent (a tree the
// grammar never makes) are pieced together in storage of its own. The
// renderer is then not told where the links stand, and searches the content
// whole.
class EngineHeadline {
public:
    explicit EngineHeadline(const Pair& headline);
    EngineHeadline(const EngineHeadline&) = delete;
    EngineHeadline& operator=(const EngineHeadline&) = delete;

    const Headline& values() const noexcept { return values_; }

private:
    Headline values_;
    std::string pieced_;  // empty unless the texts are not adjacent
};

// The HTML of a headline pair's content, as the conversion writes it.
std::string html(const Pair& headline);

}  // namespace brelim
