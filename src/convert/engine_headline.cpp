#include "engine_headline.hpp"

#include <string_view>

#include "../render/html.hpp"

namespace brelim {

namespace {

// The text of the first child of `pair` made by `rule`.
std::string_view part(const Pair& pair, Rule rule) {
    for (const Pair& child : pair.children()) {
        if (child.rule() == rule) return child.text();
    }
    return {};
}

}  // namespace

EngineHeadline::EngineHeadline(const Pair& headline) {
    values_.level = headline_level(headline.rule());
    RecordLinks record{values_};
    std::string_view content;
    for (const Pair& pair : headline.descendants()) {
        switch (pair.rule()) {
        case Rule::text: {
            const std::string_view piece = pair.text();
            const bool adjacent = content.empty() || content.data() + content.size() == piece.data();
            if (pieced_.empty() && adjacent) {
                content = content.empty() ? piece : std::string_view(content.data(), content.size() + piece.size());
            } else {
                if (pieced_.empty()) pieced_ = content;
                pieced_ += piece;
            }
            break;
        }
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
    values_.content = pieced_.empty() ? content : std::string_view(pieced_);
    if (!pieced_.empty()) values_.link_count = 0;
}

std::string html(const Pair& headline) {
    constexpr char no_scaffolding[scaffolding_width] = {};
    const EngineHeadline read(headline);
    OutputBuffer out;
    append_html(no_scaffolding, 0, read.values(), Readable{}, out);
    return out.str();
}

}  // namespace brelim
