#include "anchors.hpp"

#include "../reading/line_scanner.hpp"
#include "../reading/starred_lines.hpp"
#include "../render/href.hpp"
#include "../render/html_size.hpp"
#include "fragment_writer.hpp"
#include "scaffolding.hpp"

namespace brelim {

namespace {

// Keeps the words of a headline's hashtags; its links are not needed.
struct HashtagWords {
    std::vector<std::string_view>& words;

    void plain_link(std::string_view, std::string_view) noexcept {}
    void described_link(std::string_view, std::string_view, std::string_view) noexcept {}
    void hashtag(std::string_view source) { words.push_back(source.substr(1)); }
};

void collect_hashtags(std::string_view content, std::vector<std::string_view>& words) {
    words.clear();
    if (content.find('#') == std::string_view::npos) return;
    PlainRuns runs(content);
    line_scan::Line line{runs, content, false};
    HashtagWords seen{words};
    line_scan::content_end(line, 0, seen);
}

// Builds each anchored headline's `HeadlineAnchor` in turn.
class AnchorMaker {
public:
    explicit AnchorMaker(std::string_view document) : document_(document) {}

    // The anchor of the headline `first` of the line at `begin`, whose HTML
    // is at [html_begin, html_end) in the fragment.
    const HeadlineAnchor& make(const Headline& first, std::size_t begin, std::size_t html_begin, std::size_t html_end) {
        anchor_.line_begin = begin;
        anchor_.column = static_cast<std::size_t>(first.link_source.data() - (document_.data() + begin));
        anchor_.kind = first.link_source.front() == '#' ? AnchorKind::hashtag : AnchorKind::link;
        anchor_.target = first.target;
        anchor_.runs_script = anchor_.kind == AnchorKind::link && is_script_url(first.target);
        anchor_.html_begin = html_begin;
        anchor_.html_end = html_end;
        anchor_.href_size = anchor_places(first, places_);
        for (std::size_t& place : places_) place += html_begin + 9;  // past "<a href='"
        anchor_.hrefs = &places_;
        collect_hashtags(first.content, words_);
        anchor_.hashtags = &words_;
        return anchor_;
    }

private:
    std::string_view document_;
    std::vector<std::size_t> places_;
    std::vector<std::string_view> words_;
    HeadlineAnchor anchor_;
};

}  // namespace

std::size_t for_each_anchor(std::string_view document, AnchorSink& sink) {
    PlainRuns runs(document);
    StarredLines lines(document);
    Headline first;
    AnchorMaker anchors(document);
    int depth = 0;
    std::size_t size = fragment_open.size();
    std::size_t count = 0;
    for (std::size_t begin; (begin = lines.next()) != StarredLines::none;) {
        if (below_items(document, begin) || !scan_line(runs, begin, first) || !is_item(first.level)) continue;
        const std::size_t html_begin = size + scaffolding_before(first.level, depth).size;
        depth = static_cast<int>(first.level);
        size = html_begin + html_size(first);
        ++count;
        if (first.target.empty()) continue;
        if (!sink.headline(anchors.make(first, begin, html_begin, size))) return stopped;
    }
    return count;
}

std::size_t write_with_anchors(std::string_view document, OutputBuffer& out, AnchorSink& sink) {
    AnchorMaker anchors(document);
    return write_fragment(document, out, [&](const Headline& first, std::size_t begin, std::size_t html_begin) {
        return sink.headline(anchors.make(first, begin, html_begin, out.size()));
    });
}

}  // namespace brelim
