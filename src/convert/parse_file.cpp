#include "parse_file.hpp"

#include <cstdint>
#include <vector>

#include "../bytes/reach.hpp"
#include "../reading/line_scanner.hpp"
#include "../reading/starred_window.hpp"
#include "engine_headline.hpp"
#include "lines.hpp"
#include "scaffolding.hpp"

namespace brelim {

std::optional<Pair> parse(OutlineParser& parser, std::string_view line) {
    std::optional<Pairs> pairs = parser.parse(Rule::input, line);
    if (!pairs) return std::nullopt;
    return pairs->next();
}

std::optional<Pair> parse(std::string_view line) {
    OutlineParser parser;
    return parse(parser, line);
}

void parse_file(std::string_view document, OutputBuffer& out) {
    open_fragment(document.size(), out);
    PlainRuns runs(document);
    StarredWindow lines(document);
    Headline first;
    std::vector<std::uint64_t> more_starts;
    first.starts.keep_more_in(&more_starts, document.data() + document.size());
    int depth = 0;
    const Readable readable(document.data() + document.size());
    for (std::size_t begin; (begin = lines.next()) != StarredWindow::none;) {
        if (const std::size_t read = lines.read(begin, first); read != 0) {
            depth = read < StarredWindow::marked
                        ? append_plain(read, first.content, readable, depth, out)
                        : append_marked(read - StarredWindow::marked, first, readable, depth, out);
            continue;
        }
        if (lines.classified()) runs.adopt(lines.block(), lines.outside());
        // The line is scanned, and so is each starred line right after it,
        // likely long as well, without its window's masks.
        std::size_t read_to = begin;
        while (!below_items(runs.text(), begin)) {
            const std::size_t end = scan_line_end(runs, begin, first);
            if (end == line_scan::no_line) break;
            if (is_item(first.level)) depth = append_item(first, readable, depth, out);
            read_to = end;
            const std::string_view text = runs.text();
            if (end == text.size()) break;
            begin = end + (text[end] == '\r' ? 2 : 1);
            if (begin >= text.size() || text[begin] != '*') break;
        }
        lines.pass(read_to);
    }
    close_fragment(out);
}

void parse_file_with_engine(std::string_view document, OutputBuffer& out) {
    open_fragment(document.size(), out);
    OutlineParser parser;
    Lines lines(document);
    int depth = 0;
    while (const auto line = lines.next()) {
        const std::optional<Pair> headline = parse(parser, *line);
        if (!headline) continue;
        const EngineHeadline read(*headline);
        if (!is_item(read.values().level)) continue;
        depth = append_item(read.values(), Readable{}, depth, out);
    }
    close_fragment(out);
}

std::string parse_file(std::string_view document) {
    OutputBuffer out;
    parse_file(document, out);
    return out.str();
}

std::string parse_file_with_engine(std::string_view document) {
    OutputBuffer out;
    parse_file_with_engine(document, out);
    return out.str();
}

}  // namespace brelim
