#include "anchors.hpp"

#include "../reading/left_out_lines.hpp"
#include "../reading/line_scanner.hpp"
#include "../reading/starred_lines.hpp"
#include "../render/href.hpp"
#include "../render/html_size.hpp"
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
    PlainRuns runs(content);
    line_scan::Line line{runs, content, false};
    HashtagWords seen{words};
    line_scan::content_end(line, 0, seen);
}

}  // namespace

std::size_t for_each_anchor(std::string_view document, AnchorSink& sink) {
    PlainRuns runs(document);
    StarredLines lines(document);
    Headline first;
    std::vector<std::size_t> places;
    std::vector<std::string_view> words;
    int depth = 0;
    std::size_t size = fragment_open.size();
    std::size_t count = 0;
    std::size_t line_number = 0;
    std::size_t counted_to = 0;
    for (std::size_t begin; (begin = lines.next()) != StarredLines::none;) {
        if (below_items(document, begin) || !scan_line(runs, begin, first) || !is_item(first.level)) continue;
        const std::size_t html_begin = size + scaffolding_before(first.level, depth).size;
        depth = static_cast<int>(first.level);
        size = html_begin + html_size(first);
        ++count;
        if (first.target.empty()) continue;
        line_number += count_line_feeds(document.data() + counted_to, begin - counted_to);
        counted_to = begin;
        HeadlineAnchor anchor;
        anchor.line = line_number;
        anchor.column = static_cast<std::size_t>(first.link_source.data() - (document.data() + begin));
        anchor.kind = first.link_source.front() == '#' ? AnchorKind::hashtag : AnchorKind::link;
        anchor.target = first.target;
        anchor.runs_script = anchor.kind == AnchorKind::link && is_script_url(first.target);
        anchor.html_begin = html_begin;
        anchor.html_end = size;
        anchor.href_size = anchor_places(first, places);
        for (std::size_t& place : places) place += html_begin + 9;  // past "<a href='"
        anchor.hrefs = &places;
        collect_hashtags(first.content, words);
        anchor.hashtags = &words;
        if (!sink.headline(anchor)) return stopped;
    }
    return count;
}

}  // namespace brelim
