#pragma once

// The one-pass conversion's loop: each starred line read from its window, or
// scanned when its window cannot say, and each item appended with its
// scaffolding. `parse_file` runs it with nothing to tell; a site's page runs
// it to be told of each item with an anchor as soon as it is written.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../bytes/reach.hpp"
#include "../reading/line_scanner.hpp"
#include "../reading/starred_window.hpp"
#include "anchors.hpp"
#include "scaffolding.hpp"

namespace brelim {

// Tells nothing.
struct NoAnchorHook {
    bool operator()(const Headline&, std::size_t, std::size_t) const noexcept { return true; }
};

// Appends the fragment of `document` to `out` and returns its item count.
// `on_anchor(headline, line_begin, html_begin)` is called right after an
// item with an anchor is appended, with the offset of its line in the
// document and of its HTML in `out` (which ends with that HTML); false from
// it stops the walk, and `stopped` is returned.
template <typename OnAnchor>
std::size_t write_fragment(std::string_view document, OutputBuffer& out, OnAnchor&& on_anchor) {
    open_fragment(document.size(), out);
    PlainRuns runs(document);
    StarredWindow lines(document);
    Headline first;
    std::vector<std::uint64_t> more_starts;
    first.starts.keep_more_in(&more_starts, document.data() + document.size());
    int depth = 0;
    std::size_t items = 0;
    const Readable readable(document.data() + document.size());
    // The item just appended, when it has an anchor, told of.
    const auto tell = [&](std::size_t line_begin, std::size_t size_before, int depth_before) {
        if (first.target.empty()) return true;
        return on_anchor(first, line_begin, size_before + scaffolding_before(first.level, depth_before).size);
    };
    for (std::size_t begin; (begin = lines.next()) != StarredWindow::none;) {
        if (const std::size_t read = lines.read(begin, first); read != 0) {
            ++items;
            if (read < StarredWindow::marked) {
                depth = append_plain(read, first.content, readable, depth, out);
                continue;
            }
            const std::size_t size_before = out.size();
            const int depth_before = depth;
            depth = append_marked(read - StarredWindow::marked, first, readable, depth, out);
            if (!tell(begin, size_before, depth_before)) return stopped;
            continue;
        }
        if (lines.classified()) runs.adopt(lines.block(), lines.outside());
        // The line is scanned, and so is each starred line right after it,
        // likely long as well, without its window's masks.
        std::size_t read_to = begin;
        while (!below_items(runs.text(), begin)) {
            const std::size_t end = scan_line_end(runs, begin, first);
            if (end == line_scan::no_line) break;
            if (is_item(first.level)) {
                ++items;
                const std::size_t size_before = out.size();
                const int depth_before = depth;
                depth = append_item(first, readable, depth, out);
                if (!tell(begin, size_before, depth_before)) return stopped;
            }
            read_to = end;
            const std::string_view text = runs.text();
            if (end == text.size()) break;
            begin = end + (text[end] == '\r' ? 2 : 1);
            if (begin >= text.size() || text[begin] != '*') break;
        }
        lines.pass(read_to);
    }
    close_fragment(out);
    return items;
}

}  // namespace brelim
