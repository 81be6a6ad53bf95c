// Converts arbitrary bytes through the one-pass conversion at every level
// this processor offers (each block type, and a byte at a time) and through
// the matching engine (each line's tree, its first headline pair, the walk
// over it), and requires the same fragment, byte for byte. The lines
// reported as left out must be those the engine rejects that start with one
// to three asterisks and more, each with a position inside the line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/simd.hpp"
#include "convert/lines.hpp"
#include "convert/parse_file.hpp"
#include "fragment_invariants.hpp"
#include "reading/left_out_lines.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    const std::string reference = brelim::parse_file_with_engine(document);
    for (const brelim::simd::Level level : brelim::simd::levels()) {
        brelim::simd::force_level(level);
        const std::string fast = brelim::parse_file(document);
        if (fast != reference) {
            std::size_t at = 0;
            while (at < fast.size() && at < reference.size() && fast[at] == reference[at]) ++at;
            brelim::fuzz::require(false, "the two conversions differ; the engine's fragment from there on:",
                                  std::string_view(reference).substr(at >= 40 ? at - 40 : 0));
        }
    }

    std::vector<std::string_view> lines;
    std::vector<std::size_t> rejected;
    brelim::OutlineParser parser;
    for (brelim::Lines cut(document); const auto line = cut.next();) {
        const std::size_t stars = std::min(line->find_first_not_of('*'), line->size());
        if (stars >= 1 && stars <= 3 && stars < line->size() && !brelim::parse(parser, *line)) {
            rejected.push_back(lines.size());
        }
        lines.push_back(*line);
    }
    std::vector<std::size_t> reported;
    brelim::for_each_left_out(document, [&](std::size_t line, std::size_t at, brelim::LeftOutReason) {
        brelim::fuzz::require(line < lines.size() && at < lines[line].size(), "a left-out position outside its line");
        reported.push_back(line);
        return true;
    });
    brelim::fuzz::require(reported == rejected, "the lines reported as left out are not those the engine rejects");
    return 0;
}
