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
