#include "site/pointed_page.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "convert/parse_file.hpp"
#include "site/relative_url.hpp"
#include "table.hpp"

namespace brelim::site {
namespace {

TEST(RelativeUrl, UpOutOfWhatIsNotSharedThenDown) {
    const struct {
        const char *here, *place, *url;
    } rows[] = {
        {"", "a.html", "a.html"},
        {"", "f/a.html", "f/a.html"},
        {"f", "f/a.html", "a.html"},
        {"f", "g/a.html", "../g/a.html"},
        {"f", "a.html", "../a.html"},
        {"a/b", "a/c/x.html", "../c/x.html"},
        {"a/b", "a/b/c/x.html", "c/x.html"},
        {"a/b", "a", "../../a"},  // a file named like the folder
        {"ab", "a/x.html", "../a/x.html"},
        {"a", "ab/x.html", "../ab/x.html"},
        {"tags", "tags/x.html", "x.html"},
    };
    for (const auto& row : rows) {
        std::string url;
        append_relative_url(url, row.here, row.place);
        EXPECT_EQ(url, row.url) << row.here << " -> " << row.place;
    }
}

// What the anchors are said to lead to, by target; an unknown one is dead.
struct Table final : Destinations {
    std::map<std::string, Destination, std::less<>> known;
    std::vector<std::string> asked;
    std::size_t stop_after = static_cast<std::size_t>(-1);

    bool find(const HeadlineAnchor& anchor, Destination& to) override {
        asked.emplace_back(anchor.target);
        const auto found = known.find(anchor.target);
        to = found == known.end() ? Destination{} : found->second;
        return asked.size() < stop_after;
    }
};

std::vector<std::string> table_inputs() {
    std::vector<std::string> inputs;
    std::string joined;
    for (const char* name : {"documents.tsv", "headlines.tsv"}) {
        for (const auto& row : testing::read_table(name)) {
            inputs.push_back(row.input);
            joined += row.input + "\n";
        }
    }
    inputs.push_back(joined);
    return inputs;
}

// With every anchor dead, nothing changes: the page is the fragment, and the
// anchors shown as it is written are those of the walk that only measures.
TEST(PointedPage, DeadAnchorsKeepTheFragment) {
    struct Seen final : AnchorSink {
        std::string fragment;
        std::vector<std::string> rows;
        bool headline(const HeadlineAnchor& a) override {
            std::string row = std::to_string(a.line_begin) + ":" + std::to_string(a.column) + ":" +
                              std::string(a.target) + ":" + fragment.substr(a.html_begin, a.html_end - a.html_begin);
            for (const std::size_t at : *a.hrefs) row += ":" + std::to_string(at);
            for (const std::string_view word : *a.hashtags) row += ":#" + std::string(word);
            rows.push_back(row);
            return true;
        }
    };
    for (const std::string& document : table_inputs()) {
        const std::string fragment = parse_file(document);
        Table table;
        PointedPage page;
        const std::size_t count = point_page(document, NotePlace{}, table, page);
        EXPECT_EQ(page.body.view(), fragment) << document;
        EXPECT_TRUE(page.links.empty());

        Seen measured, written;
        measured.fragment = written.fragment = fragment;
        EXPECT_EQ(for_each_anchor(document, measured), count);
        OutputBuffer out;
        EXPECT_EQ(write_with_anchors(document, out, written), count);
        EXPECT_EQ(out.view(), fragment);
        EXPECT_EQ(written.rows, measured.rows) << document;
        EXPECT_EQ(table.asked.size(), measured.rows.size());
    }
}

std::string replaced(std::string text, const std::vector<std::pair<std::string, std::string>>& changes) {
    for (const auto& [from, to] : changes) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    return text;
}

TEST(PointedPage, HrefsPointedAndHeadlinesGathered) {
    const std::string document =
        "* see [[../b]]\n"
        "** [[b]] again #Tag #tag #other\n"
        "* #tag [[self]]\n"
        "* [[http://x]]\n"
        "* #tag [[gone]]\n";
    using Kind = Destination::Kind;
    Table table;
    table.known["../b"] = {Kind::file, "f/b.html", "../f/b.html", 7, "b.html"};
    table.known["self"] = {Kind::file, "g/a.html", "../g/a.html", 3, "a.html"};
    table.known["http://x"] = {Kind::external, "http://x", "", no_page, ""};
    table.known["tag"] = {Kind::file, "tags/tag.html", "tag.html", no_page, ""};
    table.known["other"] = {Kind::file, "tags/other.html", "other.html", no_page, ""};
    const NotePlace note{"g", "g/a.html", 3, "../g/a.html", "A &amp; B"};
    PointedPage page;
    EXPECT_EQ(point_page(document, note, table, page), 5u);
    const std::string fragment = parse_file(document);
    EXPECT_EQ(page.body.view(),
              replaced(fragment,
                       {{"'..%2Fb'", "'../f/b.html'"}, {"'other'", "'../tags/other.html'"}, {"'self'", "'a.html'"}}));
    EXPECT_NE(page.body.view().find("<a href='gone'>#tag</a>"), std::string::npos);  // dead: as it was

    const std::string heading = "<h3><a href=\"../g/a.html\">A &amp; B</a></h3>\n<ul>\n";
    ASSERT_EQ(page.links.size(), 1u);  // the note's own page gets no backlink from it
    EXPECT_EQ(page.links[0].first, 7);
    EXPECT_EQ(page.links[0].second.count, 1u);
    const auto html = [&](const Group& group) {
        std::string text;
        page.append_group(group, text);
        return text;
    };
    EXPECT_EQ(html(page.links[0].second), heading + "<li> see <a href='b.html'>../b</a></li>\n</ul>\n");
    const std::string tagged = "<li> [[b]] again #Tag #tag <a href='other.html'>#other</a></li>\n";
    ASSERT_EQ(page.tags.size(), 2u);  // by the word in lower case, once per headline, in first use
    EXPECT_EQ(page.tags[0].first, "tag");
    EXPECT_EQ(page.tags[0].second.count, 3u);
    EXPECT_EQ(html(page.tags[0].second), heading + tagged +
                                             "<li> #tag <a href='../g/a.html'>#tag</a></li>\n"
                                             "<li> #tag <a href='gone'>#tag</a></li>\n</ul>\n");
    EXPECT_EQ(page.tags[1].first, "other");
    EXPECT_EQ(html(page.tags[1].second), heading + tagged + "</ul>\n");
    EXPECT_EQ(page.groups_size(),
              html(page.links[0].second).size() + html(page.tags[0].second).size() + html(page.tags[1].second).size());
    EXPECT_EQ(page.heaviest().line_begin, document.find("** [[b]]"));
    EXPECT_EQ(page.heaviest().copies, 2u);
}

TEST(PointedPage, TheTableStopsThePage) {
    Table table;
    table.stop_after = 2;
    PointedPage page;
    EXPECT_EQ(point_page("* #a\n* #b\n* #c\n", NotePlace{}, table, page), stopped);
    EXPECT_EQ(table.asked.size(), 2u);
}

}  // namespace
}  // namespace brelim::site
