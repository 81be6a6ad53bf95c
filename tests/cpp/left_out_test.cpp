#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "reading/left_out_lines.hpp"

namespace brelim {
namespace {

using R = LeftOutReason;

TEST(LeftOut, NamesWhereAndWhy) {
    struct Row {
        std::string_view line;
        std::size_t at;
        R reason;
    };
    const Row rows[] = {
        {"** Buy milk!", 11, R::character},
        {"** 10:00; bring notes", 8, R::character},
        {"*!", 1, R::character},
        {"* tab\there", 5, R::character},
        {"* a\r", 3, R::character},
        {std::string_view("* a\0b", 5), 3, R::character},
        {"** Call Zo\xC3\xAB", 10, R::non_ascii},
        {"* #caf\xC3\xA9", 6, R::non_ascii},
        {"** Use C# or C++", 8, R::hashtag},
        {"* #", 2, R::hashtag},
        {"* # x", 2, R::hashtag},
        {"** Read [the doc]", 8, R::link},
        {"* [[a]", 2, R::link},
        {"* [[]]", 2, R::link},
        {"* [[a][]]", 2, R::link},
        {"* [[a] b]]", 2, R::link},
        {"* [[#a]]", 2, R::link},
        {"* [", 2, R::link},
        {"* [[a]][x]", 7, R::link},
        // A character foreign to the format inside a link's text is named.
        {"* [[Zo\xC3\xAB]]", 6, R::non_ascii},
        {"* [[a][b!]]", 8, R::character},
        {"* a]", 3, R::closing_bracket},
        {"* [[a]]]", 7, R::closing_bracket},
        {"* a *", 4, R::no_text},
        {"* a ****", 4, R::no_text},
        {"* a *****b", 4, R::many_stars},
        {"* a ********b", 4, R::many_stars},
        {"* a ** b!", 8, R::character},
        {"* a **!", 6, R::character},
        // Used, or left out by design: nothing to say.
        {"* a", 0, R::none},
        {"* a * b", 0, R::none},
        {"* a **** b", 0, R::none},
        {"**** four!", 0, R::none},
        {"***** five!", 0, R::none},
        {"*", 0, R::none},
        {"***", 0, R::none},
        {"prose!", 0, R::none},
        {" * a!", 0, R::none},
        {"", 0, R::none},
    };
    for (const Row& row : rows) {
        const LeftOut why = left_out(row.line);
        EXPECT_EQ(why.reason, row.reason) << row.line;
        EXPECT_EQ(why.at, row.at) << row.line;
    }
}

// A reason exactly for the lines the conversion rejects that start with one to
// three asterisks and more; random lines from the bytes that matter.
TEST(LeftOut, AgreesWithTheConversion) {
    std::uint32_t seed = 11;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const std::string_view bytes("****aa  ##[[]]!\t\r\xC3\xAB", 20);
    for (int round = 0; round < 200000; ++round) {
        std::string line;
        for (std::size_t size = random() % 14; line.size() < size;) line += bytes[random() % bytes.size()];
        std::size_t stars = 0;
        while (stars < line.size() && line[stars] == '*') ++stars;
        const bool meant = stars >= 1 && stars <= 3 && stars < line.size();
        Headline first;
        const bool used = scan_line(line, first);
        const LeftOut why = left_out(line);
        ASSERT_EQ(why.reason != R::none, meant && !used) << line;
        ASSERT_TRUE(why.reason == R::none || why.at < line.size()) << line;
    }
}

TEST(LeftOut, LinesOfADocument) {
    using Found = std::vector<std::tuple<std::size_t, std::size_t, R>>;
    auto found = [](std::string_view document) {
        Found all;
        for_each_left_out(document, [&](std::size_t line, std::size_t at, R reason) {
            all.emplace_back(line, at, reason);
            return true;
        });
        return all;
    };
    EXPECT_EQ(found("* a\r\n** b!\r\nprose!\n**** c!\n\n*** C#\n* ok\r\n* x\r"),
              (Found{{1, 4, R::character}, {5, 5, R::hashtag}, {7, 3, R::character}}));
    std::string long_document;
    for (int i = 0; i < 100; ++i) long_document += i % 7 ? "* fine line\n" : "* not fine;\n";
    const Found many = found(long_document);
    ASSERT_EQ(many.size(), 15u);
    EXPECT_EQ(many[14], (std::tuple<std::size_t, std::size_t, R>{98, 10, R::character}));
    std::size_t calls = 0;
    EXPECT_FALSE(for_each_left_out(long_document, [&](auto...) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2u);
}

}  // namespace
}  // namespace brelim
