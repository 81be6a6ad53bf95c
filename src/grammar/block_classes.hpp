#pragma once

// The byte classes of a text, 64 bytes at a time: for each block one bit per
// byte that ends a plain run and one per byte that ends a run of asterisks. A
// run's end is then a shift and a count of trailing zeros, however short the
// run. Blocks are classified when first asked for, so text that no scan
// reaches (prose between headlines) costs nothing here.

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
// What a headline begins with, one to four times.
inline constexpr ByteSet star = ByteSet::of('*');
}  // namespace byte_class

struct BlockClasses {
    std::uint64_t not_plain;  // bytes outside the plain characters
    std::uint64_t not_star;   // bytes other than "*"
};

// The classes of the `size` (at most 64) bytes at `bytes`; the bits past
// `size` are set, so that every run stops at the end.
BlockClasses classify_block(const char* bytes, std::size_t size) noexcept;

class ClassifiedText {
public:
    explicit ClassifiedText(std::string_view text) noexcept : text_(text) {}

    std::string_view text() const noexcept { return text_; }

    // Where the run of plain bytes, or of asterisks, that starts at `at`
    // ends; the text's end at most.
    std::size_t plain_end(std::size_t at) noexcept { return run_end<byte_class::plain>(at, &BlockClasses::not_plain); }
    std::size_t stars_end(std::size_t at) noexcept { return run_end<byte_class::star>(at, &BlockClasses::not_star); }

private:
    // A run that outlasts the next block too goes on as a plain scan: long
    // runs (a headline of many kilobytes) are not worth classifying.
    template <const ByteSet& Set>
    std::size_t run_end(std::size_t at, std::uint64_t BlockClasses::*stops) noexcept {
        std::size_t block = at & ~std::size_t{63};
        if (block >= text_.size()) return text_.size();
        std::uint64_t ends = load(block).*stops >> (at - block);
        if (ends == 0) {
            block += 64;
            if (block >= text_.size()) return text_.size();
            at = block;
            ends = load(block).*stops;
            if (ends == 0) [[unlikely]]
                return scan<Set>(text_, block + 64 < text_.size() ? block + 64 : text_.size());
        }
        return at + static_cast<std::size_t>(__builtin_ctzll(ends));
    }

    const BlockClasses& load(std::size_t block) noexcept {
        if (block != block_) {
            const std::size_t left = text_.size() - block;
            classes_ = classify_block(text_.data() + block, left < 64 ? left : 64);
            block_ = block;
        }
        return classes_;
    }

    std::string_view text_;
    std::size_t block_ = SIZE_MAX;  // the block `classes_` describes
    BlockClasses classes_{};
};

}  // namespace brelim
