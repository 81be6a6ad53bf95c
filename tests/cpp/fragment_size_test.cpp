#include "convert/fragment_size.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "convert/parse_file.hpp"

namespace brelim {
namespace {

// "* [[a][LABEL]]" and then `links` plain links "[[b]]": every one of them
// shows the label carried over, so the line grows with links times label.
std::string runaway(std::size_t label, std::size_t links) {
    std::string line = "* [[a][" + std::string(label, 'x') + "]]";
    for (std::size_t i = 0; i < links; ++i) line += " [[b]]";
    return line;
}

TEST(FragmentSize, LargestLineAndCarriedLabel) {
    constexpr std::size_t none = FragmentSize::none;
    struct Row {
        std::string document;
        std::size_t largest_line;
        bool carried;
    };
    const Row rows[] = {
        {"", none, false},
        {"prose\n**** four\n* a!", none, false},
        {"* a\n** bigger one\n* b", 1, false},
        {"* a\r\n\r\nprose\n" + runaway(20, 30) + "\n* long plain headline, longer than the runaway's start", 3, true},
        {"* #t [[b]] [[b]]", 0, true},
        {"* [[a][A]] [[b][B]]", 0, false},  // the last link has its own label
        {"* #a #a #a #a", 0, false},
        {"* [[http x]]\n* x\n" + runaway(5, 5) + "\n* [[a][" + std::string(400, 'y') + "]]", 3, false},
    };
    for (const Row& row : rows) {
        // A byte short: every item is measured, and the line told.
        const std::size_t size = parse_file(row.document).size();
        const FragmentSize measured = measure_fragment(row.document, size - 1);
        EXPECT_EQ(measured.size, size) << row.document;
        EXPECT_EQ(measured.largest_line, row.largest_line) << row.document;
        EXPECT_EQ(measured.label_carried_over, row.carried) << row.document;
        const FragmentSize within = measure_fragment(row.document, size);
        EXPECT_EQ(within.largest_line, none) << row.document;
        EXPECT_FALSE(within.label_carried_over) << row.document;
    }
}

// A line whose HTML is far larger than the document is measured exactly, and
// over a limit the measure stops at the headline that passes it.
TEST(FragmentSize, StopsAtTheHeadlineOverTheLimit) {
    const std::string document = "* a\n" + runaway(1000, 2000) + "\n" + runaway(1000, 2000) + "\n* b";
    const std::size_t size = parse_file(document).size();
    EXPECT_GT(size, 100 * document.size());
    EXPECT_EQ(measure_fragment(document, SIZE_MAX).size, size);
    const FragmentSize first = measure_fragment(document, 100);
    EXPECT_EQ(first.size, parse_file("* a\n" + runaway(1000, 2000)).size());
    EXPECT_EQ(first.largest_line, 1u);
    EXPECT_TRUE(first.label_carried_over);
    EXPECT_EQ(measure_fragment(document, 0).size, parse_file("").size());
}

}  // namespace
}  // namespace brelim
