#include "pointed_page.hpp"

#include <unordered_map>

#include "relative_url.hpp"

namespace brelim::site {

namespace {

constexpr std::string_view group_end = "</ul>\n";
constexpr std::size_t none = static_cast<std::size_t>(-1);

void append_ascii_lower(std::string& out, std::string_view word) {
    for (const char c : word) out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Told of each anchored headline right after the fragment's walk wrote it,
// at the end of the page: points its hrefs there, and lists it in its groups.
class Pointer final : public AnchorSink {
public:
    Pointer(const NotePlace& note, Destinations& destinations, PointedPage& out)
        : note_(note), destinations_(destinations), out_(out) {}

    bool headline(const HeadlineAnchor& anchor) override {
        fragment_ = out_.body.view();  // it grows as it is written
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
        if (to.kind == Destination::Kind::file && to.page >= 0 && to.page != note_.number) {
            add(link_group(to), item(anchor, to.there));
        }
        if (!anchor.hashtags->empty()) tag(anchor, to.kind == Destination::Kind::file ? to.from_tags : href_);
        if (to.kind != Destination::Kind::dead) point(anchor);
        return true;
    }

private:
    // Rewrites the headline's HTML, the page's last bytes, from its first
    // href on, each href `href_`.
    void point(const HeadlineAnchor& anchor) {
        const std::vector<std::size_t>& hrefs = *anchor.hrefs;
        const std::size_t first = hrefs.front();
        tail_.assign(fragment_.substr(first));
        OutputBuffer& body = out_.body;
        body.truncate(first);
        std::size_t from = 0;  // in `tail_`
        for (const std::size_t at : hrefs) {
            body.append(std::string_view(tail_).substr(from, at - first - from));
            body.append(href_);
            from = at - first + anchor.href_size;
        }
        body.append(std::string_view(tail_).substr(from));
    }

    // A new piece of `out_.text`, begun by `begin_piece` and ended here.
    std::size_t begin_piece() const noexcept { return out_.text.size(); }
    std::size_t end_piece(std::size_t begin, std::size_t line_begin = 0) {
        out_.pieces.push_back({begin, out_.text.size() - begin, line_begin});
        return out_.pieces.size() - 1;
    }

    // The headline's list item, its hrefs pointed at `href`: a new piece.
    std::size_t item(const HeadlineAnchor& anchor, std::string_view href) {
        std::string& text = out_.text;
        const std::size_t piece = begin_piece();
        text += "<li>";
        std::size_t begin = anchor.html_begin;
        for (const std::size_t at : *anchor.hrefs) {
            text.append(fragment_.substr(begin, at - begin));
            text += href;
            begin = at + anchor.href_size;
        }
        text.append(fragment_.substr(begin, anchor.html_end - begin));
        text += "</li>\n";
        return end_piece(piece, anchor.line_begin);
    }

    // A heading that links to the note from the group's page: a new piece.
    std::size_t heading(std::string_view here_to_note) {
        std::string& text = out_.text;
        const std::size_t piece = begin_piece();
        text += "<h3><a href=\"";
        text += here_to_note;
        text += "\">";
        text += note_.title;
        text += "</a></h3>\n<ul>\n";
        return end_piece(piece);
    }

    // Lists the item's piece last in the group.
    void add(Group& group, std::size_t item) {
        std::vector<PointedPage::Listed>& listed = out_.listed;
        listed.push_back({item, none});
        if (group.count++ == 0) {
            group.first = listed.size() - 1;
        } else {
            listed[group.last].next = listed.size() - 1;
        }
        group.last = listed.size() - 1;
    }

    Group& link_group(const Destination& to) {
        const auto [found, added] = link_groups_.try_emplace(to.page, out_.links.size());
        if (added) {
            url_.clear();
            append_relative_url(url_, folder_of(to.url), note_.page);
            out_.links.emplace_back(to.page, Group{heading(url_)});
        }
        return out_.links[found->second].second;
    }

    // Adds the headline to the group of each word it carries once, whatever
    // the letter case, its anchor's hrefs pointed at `href`.
    void tag(const HeadlineAnchor& anchor, std::string_view href) {
        const std::size_t listed = item(anchor, href);
        ++headline_;
        for (const std::string_view word : *anchor.hashtags) {
            word_.clear();
            append_ascii_lower(word_, word);
            const auto [found, added] = tag_groups_.try_emplace(word_, out_.tags.size());
            if (added) {
                if (tag_heading_ == none) tag_heading_ = heading(note_.from_tags);
                out_.tags.emplace_back(word_, Group{tag_heading_});
                last_listed_.push_back(0);
            }
            if (last_listed_[found->second] == headline_) continue;  // the word again, in any case
            last_listed_[found->second] = headline_;
            add(out_.tags[found->second].second, listed);
        }
    }

    std::string_view fragment_;  // the page as far as written
    const NotePlace& note_;
    Destinations& destinations_;
    PointedPage& out_;
    std::string href_;
    std::string tail_;                // a headline's HTML from its first href on, as written
    std::size_t tag_heading_ = none;  // the one heading of every tag group
    std::string word_;
    std::string url_;
    std::size_t headline_ = 0;              // the headlines tagged so far
    std::vector<std::size_t> last_listed_;  // by tag group: the last headline it lists
    std::unordered_map<std::string, std::size_t> tag_groups_;
    std::unordered_map<long, std::size_t> link_groups_;
};

}  // namespace

void PointedPage::append_group(const Group& group, std::string& html) const {
    const auto append = [&](std::size_t piece) { html.append(text, pieces[piece].begin, pieces[piece].size); };
    append(group.heading);
    for (std::size_t at = group.count > 0 ? group.first : none; at != none; at = listed[at].next) {
        append(listed[at].item);
    }
    html += group_end;
}

std::size_t PointedPage::groups_size() const noexcept {
    std::size_t size = 0;
    for (const auto& [word, group] : tags) size += pieces[group.heading].size + group_end.size();
    for (const auto& [page, group] : links) size += pieces[group.heading].size + group_end.size();
    for (const Listed& entry : listed) size += pieces[entry.item].size;  // each in one group
    return size;
}

PointedPage::Heaviest PointedPage::heaviest() const {
    std::vector<std::size_t> copies(pieces.size());
    for (const Listed& entry : listed) ++copies[entry.item];
    Heaviest found;
    std::size_t most = 0;
    for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
        if (copies[piece] * pieces[piece].size > most) {
            most = copies[piece] * pieces[piece].size;
            found = {pieces[piece].line_begin, copies[piece]};
        }
    }
    return found;
}

std::size_t point_page(std::string_view document, const NotePlace& note, Destinations& destinations, PointedPage& out) {
    out.body.truncate(0);
    out.tags.clear();
    out.links.clear();
    out.text.clear();
    out.pieces.clear();
    out.listed.clear();
    Pointer pointer(note, destinations, out);
    return write_with_anchors(document, out.body, pointer);
}

}  // namespace brelim::site
