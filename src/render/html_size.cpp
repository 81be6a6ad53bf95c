#include "html_size.hpp"

#include <cstdint>
#include <string_view>

#include "anchor.hpp"
#include "link_occurrences.hpp"

namespace brelim {

std::size_t html_size(const Headline& headline) {
    if (headline.target.empty()) return headline.content.size();
    std::size_t occurrences = 0;
    for_each_link_replaced(headline, [](std::string_view) {}, [&] { ++occurrences; });
    const std::size_t anchor = anchor_size(headline.target, shown_label(headline));
    const std::size_t rest = headline.content.size() - occurrences * headline.link_source.size();
    if (occurrences != 0 && anchor > (SIZE_MAX - rest) / occurrences) return SIZE_MAX;
    return rest + occurrences * anchor;
}

bool label_carried_over(const Headline& headline) {
    const std::string_view source = headline.link_source;
    const bool plain_link = source.starts_with("[[") && source.size() == headline.target.size() + 4;
    return plain_link && !headline.label.empty();
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

}  // namespace brelim
