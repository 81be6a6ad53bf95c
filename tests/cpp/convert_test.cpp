#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "convert/lines.hpp"
#include "convert/parse_file.hpp"
#include "reading/starred_lines.hpp"
#include "table.hpp"

// Every allocation through new, counted, so that a test can see that the
// conversion makes none of its own.
namespace {
std::size_t allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace brelim {
namespace {

using namespace std::literals;

std::vector<std::string_view> split(std::string_view document) {
    std::vector<std::string_view> lines;
    Lines cut(document);
    while (auto line = cut.next()) lines.push_back(*line);
    return lines;
}

TEST(Lines, Splitting) {
    using L = std::vector<std::string_view>;
    EXPECT_EQ(split(""), L{});
    EXPECT_EQ(split("\n"), L{""});
    EXPECT_EQ(split("a\nb"), (L{"a", "b"}));
    EXPECT_EQ(split("a\nb\n"), (L{"a", "b"}));
    EXPECT_EQ(split("a\n\nb"), (L{"a", "", "b"}));
    EXPECT_EQ(split("a\r\nb\r\n"), (L{"a", "b"}));
    EXPECT_EQ(split("a\r"), L{"a\r"});
    EXPECT_EQ(split("a\r\r\n"), L{"a\r"});
    EXPECT_EQ(split("\r\n\r"), (L{"", "\r"}));
}

// Line feeds are found in blocks; documents of every length around the block
// size, with endings in every position, split as one line feed at a time would.
TEST(Lines, SplittingAcrossBlocks) {
    std::uint32_t seed = 7;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (std::size_t size = 0; size < 300; ++size) {
        for (int round = 0; round < 4; ++round) {
            std::string document;
            for (std::size_t i = 0; i < size; ++i)
                document += "a\n\r"[random() % (round + 2) == 0 ? 1 + random() % 2 : 0];
            std::vector<std::string_view> expected;
            for (std::size_t start = 0; start < document.size();) {
                std::size_t feed = document.find('\n', start);
                const bool has_feed = feed != std::string::npos;
                if (!has_feed) feed = document.size();
                std::string_view line(document.data() + start, feed - start);
                if (has_feed && !line.empty() && line.back() == '\r') line.remove_suffix(1);
                expected.push_back(line);
                start = feed + 1;
            }
            EXPECT_EQ(split(document), expected) << size << ' ' << round;
        }
    }
}

// Lines that begin with an asterisk are found from masks, block by block;
// they must be exactly the lines, as split one by one, that begin with one.
TEST(StarredLines, AreTheLinesThatBeginWithAnAsterisk) {
    std::uint32_t seed = 5;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (std::size_t size = 0; size < 300; ++size) {
        std::string document;
        for (std::size_t i = 0; i < size; ++i) document += "a*\n\r"[random() % 4];
        std::vector<std::size_t> expected;
        for (const std::string_view line : split(document)) {
            if (!line.empty() && line[0] == '*')
                expected.push_back(static_cast<std::size_t>(line.data() - document.data()));
        }
        std::vector<std::size_t> found;
        StarredLines starts(document);
        for (std::size_t at; (at = starts.next()) != StarredLines::none;) found.push_back(at);
        EXPECT_EQ(found, expected) << document;
    }
}

// tests/tables/documents.tsv, shared with the Python tests.
TEST(ParseFile, Documents) {
    for (const auto& row : testing::read_table("documents.tsv")) {
        EXPECT_EQ(parse_file(row.input), row.expected) << row.where;
        EXPECT_EQ(parse_file_with_engine(row.input), row.expected) << row.where;
    }
}

TEST(ParseFile, LineEndingsDoNotMatter) {
    const std::string lf = "* A\n** [[b][B]] c\nplain\n*** #d\n* e";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? "\r\n" : std::string(1, c);
    const std::string expected = parse_file(lf);
    EXPECT_EQ(parse_file(lf + "\n"), expected);
    EXPECT_EQ(parse_file(crlf), expected);
    EXPECT_EQ(parse_file(crlf + "\r\n"), expected);
}

// Lines, links and hashtags cost no allocation: only the output grows.
TEST(ParseFile, AllocatesNothingPerLine) {
    std::string document;
    for (int i = 0; i < 2000; ++i)
        document += "* a [[b][c]] #d [[e]]\n** f\nprose\n*** " + std::string(300, 'g') + "\n";
    OutputBuffer out;
    out.reserve(4 * document.size());
    const std::size_t before = allocations;
    parse_file(document, out);
    EXPECT_EQ(allocations, before);
}

}  // namespace
}  // namespace brelim
