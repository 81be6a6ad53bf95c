#pragma once

// The byte classes of a text, 64 bytes at a time: one bit per byte that ends
// a plain run. A run's end is
// then a shift and a count of trailing zeros, however short the run. Bytes
// are classified when a scan first reaches them, so text that no scan reaches
// (prose between headlines) costs nothing here.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "byte_scan.hpp"
#include "byte_set.hpp"
#include "outline_grammar.hpp"

namespace brelim {

namespace byte_class {
// The characters of plain runs, link targets and descriptions.
inline constexpr const ByteSet& plain = grammar::plain_chunk::closure;
// The characters of a hashtag's word.
inline constexpr const ByteSet& word = grammar::hashtag_target::first;
}  // namespace byte_class

struct BlockClasses {
    std::uint64_t not_plain;  // bytes outside the plain characters
};

// The classes of the `size` (at most 64) bytes at `bytes`; the bits past
// `size` are set, so that every run stops at the end.
BlockClasses classify_block(const char* bytes, std::size_t size) noexcept;

class ClassifiedText {
public:
    explicit ClassifiedText(std::string_view text) noexcept : text_(text) {}

    std::string_view text() const noexcept { return text_; }

    // Where the run of plain bytes that starts at `at` ends; the text's end
    // at most.
    std::size_t plain_end(std::size_t at) noexcept { return run_end<byte_class::plain>(at, &BlockClasses::not_plain); }

private:
    // The classes come 64 bytes at a time from where a run is first asked
    // for (a headline's first asterisk, mostly), so that a line of up to 64
    // bytes is classified once and crosses no block. A run that outlasts the
    // next 64 bytes too goes on as a plain scan: long runs (a headline of
    // many kilobytes) are not worth classifying.
    template <const ByteSet& Set>
    std::size_t run_end(std::size_t at, std::uint64_t BlockClasses::*stops) noexcept {
        std::size_t offset = at - window_;  // wraps around, and so reloads, before the window
        if (offset >= 64) {
            load(at);
            offset = 0;
        }
        std::uint64_t ends = classes_.*stops >> offset;
        if (ends == 0) {
            // The bits past the text's end are set, so the window lies inside it.
            at = window_ + 64;
            if (at == text_.size()) return at;
            load(at);
            ends = classes_.*stops;
            if (ends == 0) [[unlikely]]
                return scan<Set>(text_, at + 64);
        }
        return at + static_cast<std::size_t>(__builtin_ctzll(ends));
    }

    void load(std::size_t at) noexcept {
        const std::size_t left = at < text_.size() ? text_.size() - at : 0;
        classes_ = classify_block(text_.data() + at, left < 64 ? left : 64);
        window_ = at;
    }

    std::string_view text_;
    std::size_t window_ = SIZE_MAX / 2;  // where the 64 bytes `classes_` describes begin
    BlockClasses classes_{};
};

}  // namespace brelim
