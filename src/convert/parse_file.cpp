#include "parse_file.hpp"

#include "engine_headline.hpp"
#include "fragment_writer.hpp"
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

void parse_file(std::string_view document, OutputBuffer& out) { write_fragment(document, out, NoAnchorHook{}); }

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
