// The measure of a fragment, in a file of its own: beside the conversion, it
// would change how the compiler inlines the conversion's loop.

#include "fragment_size.hpp"

#include <cstdint>

#include "../reading/left_out_lines.hpp"
#include "../reading/line_scanner.hpp"
#include "../reading/starred_lines.hpp"
#include "../render/html_size.hpp"
#include "scaffolding.hpp"

namespace brelim {

FragmentSize measure_fragment(std::string_view document, std::size_t limit) noexcept {
    FragmentSize measured;
    measured.size = fragment_open.size() + fragment_close.size();
    PlainRuns runs(document);
    StarredLines lines(document);
    Headline first;
    int depth = 0;
    std::size_t largest = 0;
    std::size_t largest_at = 0;
    for (std::size_t begin; measured.size <= limit && (begin = lines.next()) != StarredLines::none;) {
        if (below_items(document, begin) || !scan_line(runs, begin, first) || !is_item(first.level)) continue;
        const std::size_t html = html_size(first);
        const std::size_t piece = scaffolding_before(first.level, depth).size;
        const std::size_t item = html > SIZE_MAX - piece ? SIZE_MAX : html + piece;
        depth = static_cast<int>(first.level);
        measured.size = item > SIZE_MAX - measured.size ? SIZE_MAX : measured.size + item;
        if (item > largest) {
            largest = item;
            largest_at = begin;
            measured.label_carried_over = label_carried_over(first);
        }
    }
    if (measured.size <= limit || largest == 0) return FragmentSize{measured.size};
    measured.largest_line = count_line_feeds(document.data(), largest_at);
    return measured;
}

}  // namespace brelim
