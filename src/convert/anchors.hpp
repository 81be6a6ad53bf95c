#pragma once

// The anchors of a document's fragment, as a reader that links pages needs
// them: for each headline with a link or hashtag, what its anchor points at,
// which hashtags its text carries, and where its href stands in the
// fragment, found by the conversion's own reading without building it.

#include <cstddef>
#include <string_view>
#include <vector>

#include "../reading/left_out_lines.hpp"
#include "../render/output_buffer.hpp"

namespace brelim {

// The numbers of lines met in document order, their line feeds counted only
// as far as asked.
class LineCounter {
public:
    explicit LineCounter(std::string_view document) noexcept : document_(document) {}

    // The number, from 0, of the line that begins at `begin`, at or after the last one asked for.
    std::size_t line_at(std::size_t begin) noexcept {
        line_ += count_line_feeds(document_.data() + counted_to_, begin - counted_to_);
        counted_to_ = begin;
        return line_;
    }

private:
    std::string_view document_;
    std::size_t line_ = 0;
    std::size_t counted_to_ = 0;
};

enum class AnchorKind { link, hashtag };

// One headline of the fragment that has an anchor. Views and vectors are
// valid only during the call that shows it.
struct HeadlineAnchor {
    std::size_t line_begin = 0;  // where its line begins in the document: a `LineCounter` numbers it
    std::size_t column = 0;      // the byte of the line where the anchor's link or hashtag begins
    AnchorKind kind = AnchorKind::link;
    std::string_view target;     // as written in the line: a link's target, or a hashtag's word
    bool runs_script = false;    // a link whose target's scheme runs code
    std::size_t html_begin = 0;  // the headline's HTML in the fragment, after its scaffolding
    std::size_t html_end = 0;
    std::size_t href_size = 0;
    const std::vector<std::size_t>* hrefs = nullptr;          // where each href of the anchor begins in the fragment
    const std::vector<std::string_view>* hashtags = nullptr;  // every hashtag's word in the text, in order
};

class AnchorSink {
public:
    // False stops the walk.
    virtual bool headline(const HeadlineAnchor& anchor) = 0;

protected:
    ~AnchorSink() = default;
};

// Shows `sink` every headline of the fragment that has an anchor, in
// document order. Returns the number of headlines in the fragment, or
// `stopped` when the sink stopped the walk.
inline constexpr std::size_t stopped = static_cast<std::size_t>(-1);
std::size_t for_each_anchor(std::string_view document, AnchorSink& sink);

// The same, as the fragment is appended to `out`, which ends with the
// headline's HTML when the sink is shown it; `out` is what `parse_file`
// appends. Positions are in `out`.
std::size_t write_with_anchors(std::string_view document, OutputBuffer& out, AnchorSink& sink);

}  // namespace brelim
