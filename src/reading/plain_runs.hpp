#pragma once

// Where runs of plain bytes end, 64 bytes at a time: one bit per byte that is
// not plain, so that a run's end is a shift and a count of trailing zeros,
// however short the run. The bytes are classified when a scan first reaches
// them, so text that no scan reaches (prose between headlines) costs nothing.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../bytes/byte_classes.hpp"
#include "../bytes/outside_mask.hpp"
#include "../bytes/portable.hpp"
#include "../bytes/scan.hpp"

namespace brelim {

class PlainRuns {
public:
    explicit PlainRuns(std::string_view text) noexcept : text_(text) {}

    std::string_view text() const noexcept { return text_; }

    // Where the run of plain bytes that starts at `at` ends; the text's end
    // at most. The 64 bytes classified start where a run is first asked for
    // (a headline's first byte, mostly), so that a line of up to 64 bytes is
    // classified once. A run that outlasts the next 64 bytes too goes on as a
    // plain scan: a headline of many kilobytes is not worth classifying.
    std::size_t end(std::size_t at) noexcept {
        std::size_t offset = at - window_;  // wraps around, and so reloads, before the window
        if (offset >= 64) {
            load(at);
            offset = 0;
        }
        std::uint64_t ends = stops_ >> offset;
        if (ends == 0) {
            // The bits past the text's end are set, so the window lies inside it.
            at = window_ + 64;
            if (at == text_.size()) return at;
            load(at);
            ends = stops_;
            if (ends == 0) [[unlikely]]
                return scan<plain_bytes>(text_, at + 64);
        }
        return at + static_cast<std::size_t>(std::countr_zero(ends));
    }

    // The bits of the 64 bytes from `window` on that a caller has classified
    // already, as outside_mask gives them.
    void adopt(std::size_t window, std::uint64_t stops) noexcept {
        window_ = window;
        stops_ = stops;
    }

private:
    void load(std::size_t at) noexcept {
        const std::size_t left = at < text_.size() ? text_.size() - at : 0;
        stops_ = classify(text_.data() + at, left < 64 ? left : 64);
        window_ = at;
    }

    // Out of line: inlined, it crowds the scanner's loops.
    BRELIM_NOINLINE static std::uint64_t classify(const char* bytes, std::size_t size) noexcept {
        return outside_mask<plain_bytes>(bytes, size);
    }

    std::string_view text_;
    std::size_t window_ = SIZE_MAX / 2;  // where the 64 bytes of `stops_` begin
    std::uint64_t stops_ = 0;
};

}  // namespace brelim
