#include "pointed_page.hpp"

#include <algorithm>
#include <unordered_map>

#include "relative_url.hpp"

namespace brelim::site {

namespace {

constexpr std::string_view group_end = "</ul>\n";
// A group's first room: its heading and a few headlines, most groups whole.
constexpr std::size_t group_room = 512;

void append_ascii_lower(std::string& out, std::string_view word) {
    for (const char c : word) out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Walks the anchored headlines of the fragment, writing the page as it goes.
class Pointer final : public AnchorSink {
public:
    Pointer(const OutputBuffer& fragment, const NotePlace& note, Destinations& destinations, PointedPage& out)
        : written_(fragment), note_(note), destinations_(destinations), out_(out) {}

    bool headline(const HeadlineAnchor& anchor) override {
        fragment_ = written_.view();  // it grows as it is written
        Destination to;
        if (!destinations_.find(anchor, to)) return false;
        const std::vector<std::size_t>& hrefs = *anchor.hrefs;
        href_.clear();
        switch (to.kind) {
        case Destination::Kind::dead:
            href_ = fragment_.substr(hrefs.front(), anchor.href_size);
            break;
        case Destination::Kind::external:
            href_ = to.url;
            break;
        case Destination::Kind::file:
            append_relative_url(href_, note_.folder, to.url);
            break;
        }
        for (const std::size_t at : hrefs) {
            out_.body.append(fragment_.substr(done_, at - done_));
            out_.body += href_;
            done_ = at + anchor.href_size;
        }
        if (to.kind == Destination::Kind::file && to.page >= 0 && to.page != note_.number) {
            item(anchor, to.there);
            Group& group = link_group(to);
            group.html += item_;
            ++group.count;
        }
        if (!anchor.hashtags->empty()) tag(anchor, to.kind == Destination::Kind::file ? to.from_tags : href_);
        return true;
    }

    void finish() {
        fragment_ = written_.view();
        out_.body.append(fragment_.substr(done_));
        for (auto& [word, group] : out_.tags) group.html += group_end;
        for (auto& [page, group] : out_.links) group.html += group_end;
    }

private:
    // Makes `item_` the headline's list item, its hrefs pointed at `href`.
    void item(const HeadlineAnchor& anchor, std::string_view href) {
        item_.assign("<li>");
        std::size_t begin = anchor.html_begin;
        for (const std::size_t at : *anchor.hrefs) {
            item_.append(fragment_.substr(begin, at - begin));
            item_ += href;
            begin = at + anchor.href_size;
        }
        item_.append(fragment_.substr(begin, anchor.html_end - begin));
        item_ += "</li>\n";
    }

    void heading(std::string& html, std::string_view here_to_note) {
        html += "<h3><a href=\"";
        html += here_to_note;
        html += "\">";
        html += note_.title;
        html += "</a></h3>\n<ul>\n";
    }

    Group& link_group(const Destination& to) {
        const auto [found, added] = link_groups_.try_emplace(to.page, out_.links.size());
        if (added) {
            Group& group = out_.links.emplace_back(to.page, Group{}).second;
            group.html.reserve(group_room);
            url_.clear();
            append_relative_url(url_, folder_of(to.url), note_.page);
            heading(group.html, url_);
        }
        return out_.links[found->second].second;
    }

    // Adds the headline to the group of each word it carries once, whatever
    // the letter case, its anchor's hrefs pointed at `href`.
    void tag(const HeadlineAnchor& anchor, std::string_view href) {
        item(anchor, href);
        words_.clear();
        for (const std::string_view word : *anchor.hashtags) {
            word_.clear();
            append_ascii_lower(word_, word);
            if (std::find(words_.begin(), words_.end(), word_) != words_.end()) continue;
            words_.push_back(word_);
            const auto [found, added] = tag_groups_.try_emplace(word_, out_.tags.size());
            if (added) {
                std::string& html = out_.tags.emplace_back(word_, Group{}).second.html;
                html.reserve(group_room);
                heading(html, note_.from_tags);
            }
            Group& group = out_.tags[found->second].second;
            group.html += item_;
            ++group.count;
        }
    }

    const OutputBuffer& written_;
    std::string_view fragment_;  // as far as written
    const NotePlace& note_;
    Destinations& destinations_;
    PointedPage& out_;
    std::size_t done_ = 0;  // the fragment is written up to here
    std::string href_;
    std::string item_;
    std::string word_;
    std::string url_;
    std::vector<std::string> words_;  // the headline's words so far
    std::unordered_map<std::string, std::size_t> tag_groups_;
    std::unordered_map<long, std::size_t> link_groups_;
};

}  // namespace

std::size_t point_page(std::string_view document, const NotePlace& note, Destinations& destinations, PointedPage& out) {
    OutputBuffer fragment;
    out.body.clear();
    out.body.reserve(document.size() + document.size() / 2);
    out.tags.clear();
    out.links.clear();
    Pointer pointer(fragment, note, destinations, out);
    const std::size_t headlines = write_with_anchors(document, fragment, pointer);
    if (headlines != stopped) pointer.finish();
    return headlines;
}

}  // namespace brelim::site
