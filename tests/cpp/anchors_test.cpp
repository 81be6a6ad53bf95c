#include "convert/anchors.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "convert/parse_file.hpp"

namespace brelim {
namespace {

// What the walk shows, copied out of the call.
struct Seen {
    std::size_t line, column;
    AnchorKind kind;
    std::string target;
    bool script;
    std::string html;
    std::vector<std::string> hrefs;
    std::vector<std::string> hashtags;
};

struct Collect final : AnchorSink {
    std::string document, fragment;
    std::vector<Seen> seen;
    std::size_t stop_after = static_cast<std::size_t>(-1);

    bool headline(const HeadlineAnchor& a) override {
        Seen s{static_cast<std::size_t>(std::count(document.begin(), document.begin() + a.line_begin, '\n')),
               a.column,
               a.kind,
               std::string(a.target),
               a.runs_script,
               fragment.substr(a.html_begin, a.html_end - a.html_begin),
               {},
               {}};
        for (const std::size_t at : *a.hrefs) {
            EXPECT_EQ(fragment.substr(at - 9, 9), "<a href='");
            EXPECT_EQ(fragment[at + a.href_size], '\'');
            s.hrefs.push_back(fragment.substr(at, a.href_size));
        }
        for (const std::string_view word : *a.hashtags) s.hashtags.emplace_back(word);
        seen.push_back(std::move(s));
        return seen.size() < stop_after;
    }
};

using Words = std::vector<std::string>;

TEST(Anchors, EachHeadlineWithAnAnchor) {
    const std::string document =
        "* plain\r\n"
        "** see [[notes]] and #x\n"
        "prose [[skipped]]\n"
        "*** #a [[../up][Up]] #A #b\n"
        "* #ab #a\n"
        "* [[it's http x]]\n"
        "* [[ JavaScript:alert(1)]]\n"
        "**** [[level four]]\n";
    Collect sink;
    sink.document = document;
    sink.fragment = parse_file(document);
    EXPECT_EQ(for_each_anchor(document, sink), 6u);
    ASSERT_EQ(sink.seen.size(), 5u);
    const auto& hashtag = sink.seen[0];
    EXPECT_EQ(hashtag.line, 1u);
    EXPECT_EQ(hashtag.column, 21u);
    EXPECT_EQ(hashtag.kind, AnchorKind::hashtag);
    EXPECT_EQ(hashtag.target, "x");
    EXPECT_EQ(hashtag.html, " see [[notes]] and <a href='x'>#x</a>");
    EXPECT_EQ(hashtag.hashtags, Words{"x"});
    // The last construct decides: a hashtag after the link.
    EXPECT_EQ(sink.seen[1].kind, AnchorKind::hashtag);
    EXPECT_EQ(sink.seen[1].target, "b");
    EXPECT_EQ(sink.seen[1].hashtags, (Words{"a", "A", "b"}));
    // Every occurrence of the last hashtag, inside a longer one too.
    EXPECT_EQ(sink.seen[2].hrefs, (Words{"a", "a"}));
    EXPECT_EQ(sink.seen[2].html, " <a href='a'>#a</a>b <a href='a'>#a</a>");
    EXPECT_EQ(sink.seen[3].hrefs, Words{"it&#39;s http x"});
    EXPECT_EQ(sink.seen[3].target, "it's http x");
    EXPECT_FALSE(sink.seen[3].script);
    EXPECT_TRUE(sink.seen[4].script);
    EXPECT_EQ(sink.seen[4].line, 6u);
    EXPECT_EQ(sink.seen[4].hrefs, Words{"%20JavaScript%3Aalert%281%29"});
}

TEST(Anchors, LinkAfterEarlierOnes) {
    const std::string document = "* x\n* [[a][A]] and [[b/c d]]\n";
    Collect sink;
    sink.document = document;
    sink.fragment = parse_file(document);
    EXPECT_EQ(for_each_anchor(document, sink), 2u);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].kind, AnchorKind::link);
    EXPECT_EQ(sink.seen[0].column, 15u);
    EXPECT_EQ(sink.seen[0].target, "b/c d");
    EXPECT_EQ(sink.seen[0].hrefs, Words{"b%2Fc%20d"});
    EXPECT_TRUE(sink.seen[0].hashtags.empty());
}

TEST(Anchors, SinkStops) {
    const std::string document = "* #a\n* #b\n";
    Collect sink;
    sink.document = document;
    sink.fragment = parse_file(document);
    sink.stop_after = 1;
    EXPECT_EQ(for_each_anchor(document, sink), stopped);
    EXPECT_EQ(sink.seen.size(), 1u);
}

}  // namespace
}  // namespace brelim
