#include <gtest/gtest.h>

#include "reading/line_scanner.hpp"
#include "tree_dump.hpp"

namespace brelim {
namespace {

struct Row {
    Rule rule;
    std::string_view input;
    bool matched;
    std::size_t end;
    std::string_view tree;
};

void check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        const auto outcome = testing::run(row.rule, row.input);
        const auto where = std::string(rule_name(row.rule)) + " on \"" + std::string(row.input) + '"';
        EXPECT_EQ(outcome.matched, row.matched) << where;
        EXPECT_EQ(outcome.end, row.matched ? row.end : 0) << where;
        EXPECT_EQ(outcome.tree, row.matched ? row.tree : "") << where;
        Headline first;
        if (row.rule == Rule::input) {
            EXPECT_EQ(scan_line(row.input, first), row.matched) << where;
        }
    }
}

TEST(Grammar, PlainCharacters) {
    check({
        {Rule::paren, "(x", true, 1, ""},
        {Rule::paren, ")", true, 1, ""},
        {Rule::paren, "x", false, 0, ""},
        {Rule::select_punc, "\"", true, 1, ""},
        {Rule::select_punc, " x", true, 1, ""},
        {Rule::select_punc, "~", false, 0, ""},
        {Rule::select_punc, "", false, 0, ""},
        {Rule::plain_chunk, "ab, cd", true, 2, ""},
        {Rule::plain_chunk, ", cd", true, 2, ""},
        {Rule::plain_chunk, "!", false, 0, ""},
        {Rule::plain_chunk, "\xC3\xA9", false, 0, ""},
    });
    // Every accepted punctuation character, and what is not accepted.
    for (char c : std::string_view("\"%&'()+,-./:=?_ ")) {
        EXPECT_TRUE(testing::run(Rule::select_punc, std::string(1, c)).matched) << c;
    }
    for (char c : std::string_view("!#$*;<>@[\\]^`{|}~\t\r")) {
        EXPECT_FALSE(testing::run(Rule::plain_chunk, std::string(1, c)).matched) << c;
    }
}

TEST(Grammar, Hashtags) {
    check({
        {Rule::hashtag, "#2024", true, 5, "hashtag[0,5)(hashtag_target[1,5))"},
        {Rule::hashtag, "#Q3plan", true, 7, "hashtag[0,7)(hashtag_target[1,7))"},
        {Rule::hashtag, "#tag-name", true, 4, "hashtag[0,4)(hashtag_target[1,4))"},
        {Rule::hashtag, "#caf\xC3\xA9", true, 4, "hashtag[0,4)(hashtag_target[1,4))"},
        {Rule::hashtag, "#", false, 0, ""},
        {Rule::hashtag, "# x", false, 0, ""},
        {Rule::hashtag, "#_x", false, 0, ""},
        {Rule::hashtag, "##tag", false, 0, ""},
        {Rule::hashtag,
         "#\xC3\xBC"
         "ber",
         false, 0, ""},
        {Rule::hashtag_target, "ab_c", true, 2, "hashtag_target[0,2)"},
    });
}

TEST(Grammar, Links) {
    check({
        {Rule::link, "[[a]]", true, 5, "plain_link[0,5)(link_target[2,3))"},
        {Rule::link, "[[a][b]]", true, 8, "described_link[0,8)(link_target[2,3) link_desc[5,6))"},
        {Rule::link, "[[Page 2][see: notes, part (1)]]", true, 32,
         "described_link[0,32)(link_target[2,8) link_desc[10,30))"},
        {Rule::link, "[[docs/a-b_c.txt?x=1&y=%20]]", true, 28, "plain_link[0,28)(link_target[2,26))"},
        {Rule::link, "[[it's]]", true, 8, "plain_link[0,8)(link_target[2,6))"},
        {Rule::link, "[[ a ]]", true, 7, "plain_link[0,7)(link_target[2,5))"},
        {Rule::link, "[[a]]]", true, 5, "plain_link[0,5)(link_target[2,3))"},
        {Rule::plain_link, "[[a][b]]", false, 0, ""},
        {Rule::described_link, "[[a]]", false, 0, ""},
        {Rule::link_target, "a b]]", true, 3, "link_target[0,3)"},
        {Rule::link_desc, "x y", true, 3, "link_desc[0,3)"},
    });
    for (std::string_view input :
         {"[[]]", "[[a][]]", "[[a]", "[[a][b]", "[[a] ]", "[[[a]]]", "[[a[b]]", "[[a][[b]]]", "[[a][b][c]]", "[[a#b]]",
          "[[a*b]]", "[[a;b]]", "[[a\tb]]", "[[caf\xC3\xA9]]", "[a]", "[", ""}) {
        const auto outcome = testing::run(Rule::link, input);
        EXPECT_FALSE(outcome.matched) << input;
        EXPECT_EQ(outcome.tokens, 0u) << input;
    }
}

TEST(Grammar, Text) {
    check({
        {Rule::text, "abc#def", true, 3, "text[0,3)"},
        {Rule::text, "#a#b", true, 4, "text[0,4)(hashtag[0,2)(hashtag_target[1,2)) hashtag[2,4)(hashtag_target[3,4)))"},
        {Rule::text, "#a #b", true, 2, "text[0,2)(hashtag[0,2)(hashtag_target[1,2)))"},
        {Rule::text, "[[a]][[b][c]]", true, 13,
         "text[0,13)(plain_link[0,5)(link_target[2,3)) described_link[5,13)(link_target[7,8) link_desc[10,11)))"},
        {Rule::text, "[[a]] [[b]]", true, 5, "text[0,5)(plain_link[0,5)(link_target[2,3)))"},
        {Rule::text, "  two  spaces  ", true, 15, "text[0,15)"},
        {Rule::text, "don't \"q\" 100% a=b&c x?y 1+1 a/b:c", true, 34, "text[0,34)"},
        {Rule::text, "C# notes", true, 1, "text[0,1)"},
        {Rule::text, "# x", false, 0, ""},
        {Rule::text, "[x]", false, 0, ""},
        {Rule::text, "!", false, 0, ""},
        {Rule::text, "", false, 0, ""},
    });
    // Headline content cut into text pairs of alternating kinds.
    check({{Rule::headline1, "* Read [[docs/intro][the intro]], see #review#later (ok)", true, 56,
            "headline1[0,56)(text[1,7) text[7,32)(described_link[7,32)(link_target[9,19) link_desc[21,30))) "
            "text[32,38) text[38,51)(hashtag[38,45)(hashtag_target[39,45)) hashtag[45,51)(hashtag_target[46,51))) "
            "text[51,56))"}});
}

TEST(Grammar, Lines) {
    check({
        {Rule::input, "* a", true, 3, "headline1[0,3)(text[1,3)) EOI[3,3)"},
        {Rule::input, "*a", true, 2, "headline1[0,2)(text[1,2)) EOI[2,2)"},
        {Rule::input, "** a", true, 4, "headline2[0,4)(text[2,4)) EOI[4,4)"},
        {Rule::input, "*** a", true, 5, "headline3[0,5)(text[3,5)) EOI[5,5)"},
        {Rule::input, "**** a", true, 6, "headline4[0,6)(text[4,6)) EOI[6,6)"},
        {Rule::input, "* a * b", true, 7, "headline1[0,4)(text[1,4)) headline1[4,7)(text[5,7)) EOI[7,7)"},
        {Rule::input, "* a ** b", true, 8, "headline1[0,4)(text[1,4)) headline2[4,8)(text[6,8)) EOI[8,8)"},
        {Rule::headline, "** x", true, 4, "headline2[0,4)(text[2,4))"},
        {Rule::headline1, "* a!", true, 3, "headline1[0,3)(text[1,3))"},
        {Rule::EOI, "", true, 0, "EOI[0,0)"},
        {Rule::EOI, "a", false, 0, ""},
    });
    for (std::string_view line :
         std::initializer_list<std::string_view>{"***** a", "*", "**", "****", "", "* **", " * a", "* a *", "* a!",
                                                 "* a\r", "plain", "* caf\xC3\xA9", std::string_view("* a\0b", 5)}) {
        const auto outcome = testing::run(Rule::input, line);
        EXPECT_FALSE(outcome.matched) << line;
        EXPECT_EQ(outcome.tokens, 0u) << line;
        Headline first;
        EXPECT_FALSE(scan_line(line, first)) << line;
    }
}

// Run ends come from 64-byte masks loaded where a run is asked for, and long
// runs go on as a scan; from every position, the end must be where a byte by
// byte walk stops.
TEST(PlainRuns, EndWhereTheFirstByteThatIsNotPlainStands) {
    std::uint32_t seed = 3;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 200; ++round) {
        std::string text(random() % 400, 'a');
        const std::size_t stops = random() % 8;  // few stops make long runs
        for (std::size_t i = 0; i < stops && !text.empty(); ++i)
            text[random() % text.size()] = "[]#*\n\xC3"[random() % 6];
        for (std::size_t step = 1 + random() % 5, from = 0; from <= text.size(); from += step) {
            PlainRuns runs(text);  // and one that has read the text before `from`
            PlainRuns reused(text);
            if (from > 0) reused.end(from / 2);
            std::size_t expected = from;
            while (expected < text.size() && plain_bytes[static_cast<unsigned char>(text[expected])]) ++expected;
            EXPECT_EQ(runs.end(from), expected) << text << ' ' << from;
            EXPECT_EQ(reused.end(from), expected) << text << ' ' << from;
        }
    }
}

}  // namespace
}  // namespace brelim
