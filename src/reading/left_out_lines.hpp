#pragma once

#include <bit>
#include <cstddef>
#include <string_view>

#include "../bytes/byte_masks.hpp"
#include "left_out.hpp"
#include "starred_lines.hpp"

namespace brelim {

// The line feeds among `size` bytes, counted 64 at a time.
inline std::size_t count_line_feeds(const char* bytes, std::size_t size) noexcept {
    std::size_t count = 0;
    for (; size >= 64; bytes += 64, size -= 64) count += std::popcount(byte_masks<'\n'>(bytes, 64)[0]);
    return count + std::popcount(byte_masks<'\n'>(bytes, size)[0]);
}

// Calls report(line, offset, reason) for every line of the document that the
// conversion leaves out though it starts like a headline of level 1 to 3, in
// document order: `line` counts from 0, `offset` is a byte of that line.
// Lines end as they do for the conversion. Stops, and returns false, as soon
// as report returns false. One pass over the starred lines, with line feeds
// counted only up to lines that are reported.
template <class Report>
bool for_each_left_out(std::string_view document, Report&& report) {
    PlainRuns runs(document);
    line_scan::Line text{runs, document, true};
    StarredLines lines(document);
    std::size_t line_number = 0;
    std::size_t counted_to = 0;
    for (std::size_t begin; (begin = lines.next()) != StarredLines::none;) {
        const LeftOut why = line_scan::left_out(text, begin);
        if (why.reason == LeftOutReason::none) continue;
        line_number += count_line_feeds(document.data() + counted_to, begin - counted_to);
        counted_to = begin;
        if (!report(line_number, why.at - begin, why.reason)) return false;
    }
    return true;
}

}  // namespace brelim
