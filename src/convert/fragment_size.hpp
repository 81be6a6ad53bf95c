#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brelim {

// What a document's fragment would take, measured by the conversion's own
// reading of it without building it.
struct FragmentSize {
    static constexpr std::size_t none = SIZE_MAX;

    // The fragment's exact size in bytes when it is at most the limit;
    // otherwise a size over the limit, that of the fragment up to the
    // headline that took it over, where the measure stopped.
    std::size_t size = 0;
    // Over the limit, the line (counted from 0) of the largest item measured,
    // and whether that item repeats a label carried over from an earlier
    // link of its headline; `none` and false within the limit or when no
    // item was measured. Lines are counted only then, as a document within
    // the limit needs no line.
    std::size_t largest_line = none;
    bool label_carried_over = false;
};

// Reads the document as parse_file does and adds up what each headline
// would write, which costs less than writing it and allocates nothing.
FragmentSize measure_fragment(std::string_view document, std::size_t limit) noexcept;

}  // namespace brelim
