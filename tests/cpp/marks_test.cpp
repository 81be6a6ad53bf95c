#include "reading/marks.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reading/line_scanner.hpp"
#include "reading/starred_window.hpp"
#include "table.hpp"

// Links and hashtags read from a window's masks against the line's scan: when
// the masks decide a line, they must describe its headline as the scan does;
// and they must decide the lines made of plain runs, links and hashtags.
namespace brelim {
namespace {

// The masks of a window, a byte at a time.
Marks marks_of(std::string_view window) {
    Marks m{~std::uint64_t{0}, ~std::uint64_t{0}, 0, 0, 0};
    for (std::size_t i = 0; i < window.size(); ++i) {
        const auto c = static_cast<unsigned char>(window[i]);
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (plain_bytes[c]) m.not_plain &= ~bit;
        if (word_bytes[c]) m.not_word &= ~bit;
        if (c == '#') m.hash |= bit;
        if (c == '[') m.open |= bit;
        if (c == ']') m.close |= bit;
    }
    return m;
}

std::string describe(const Headline& h) {
    return "content '" + std::string(h.content) + "' source '" + std::string(h.link_source) + "' target '" +
           std::string(h.target) + "' label '" + std::string(h.label) + "' count " + std::to_string(h.link_count);
}

// The masks' reading of `content` (after "*", before a line feed), set in a
// window at `shift`, or "" when they leave it to the scan; and the scan's.
struct Readings {
    std::string masks, scan;
};
Readings read(std::string_view content, std::size_t shift) {
    std::string line = "*";
    line += content;
    std::string window(shift, 'x');
    window += line;
    window += '\n';
    Headline by_masks;
    const bool decided =
        read_marks(MarkedWindow::of(marks_of(window)), window.data(), shift + 1, window.size() - 1, by_masks);
    Headline by_scan;
    const bool scanned = scan_line(line, by_scan);
    return {decided ? describe(by_masks) : "", scanned ? describe(by_scan) : "not a headline"};
}

TEST(Marks, DecideWhatTheyCanAsTheScanDoes) {
    // Lines the masks decide: plain runs, hashtags and links, in any order.
    for (const std::string_view content : {
             " a",
             " a #b c",
             "#a#b",
             " a#b",
             " #a1 and #b",
             " [[a]]",
             " [[a b]] c",
             " see [[a/b.txt]] now",
             " [[a][b]]",
             " x [[a][b c]] y [[d]]",
             " [[a]][[b]]",
             " #t [[a]]",
             " [[a][d]] #t [[b]]",
             " [[a][d]] [[b]]",
             " #t [[b]] [[c]]",
             " [[http://x.org/?a=1&b=2][go]]",
             " #a[[b]]#c",
             " [[a]]#b",
             " #a #b #c #d #e #f #g #h #i",
             " [[a]] [[b][c]] #d #e [[f]]",
         }) {
        for (const std::size_t shift : {std::size_t{0}, std::size_t{7}, 60 - content.size()}) {
            const Readings got = read(content, shift);
            EXPECT_EQ(got.masks, got.scan) << "'" << content << "' at " << shift;
        }
    }
    // Lines they leave to the scan: broken links and hashtags, more headlines,
    // brackets that never double beside a hashtag that would be read.
    for (const std::string_view content : {
             " #",       " a#",     " ##a",     " [a]",      " [[]]",    " [[a]",      " [[a]]]", " [[a][]]",
             " [[a][b]", " [[[a]]", " [[a#b]]", " a * b",    " [[a]][b", " a]]",       " [[a]x]", " [[a][b]]]",
             " a\r",     " [[a",    " [[a][b",  " x [[a][b", " #a [b]",  " [a][b] #c", " #a ]]",  " [a[b]]",
         }) {
        EXPECT_EQ(read(content, 3).masks, "") << "'" << content << "'";
    }
}

// The headline lines of the tables, wherever they fall in a window: what the
// masks decide, they decide as the scan does.
TEST(Marks, AgreeWithTheScanOnTheTables) {
    for (const auto& row : testing::read_table("headlines.tsv")) {
        const std::string_view input = row.input;
        if (input.size() < 2 || input.substr(0, 2) != "* " || input.size() > 60 ||
            input.find('\n') != std::string_view::npos) {
            continue;
        }
        for (const std::size_t shift : {std::size_t{0}, std::size_t{3}, 62 - input.size()}) {
            const Readings got = read(input.substr(1), shift);
            if (!got.masks.empty()) {
                EXPECT_EQ(got.masks, got.scan) << row.where << " at " << shift;
            }
        }
    }
}

// The reading of whole documents through the windows: a line is decided
// there, or left to the scan, wherever it starts and however long it is.
TEST(StarredWindow, ReadsTheLinesThatFitItsWindows) {
    std::string document;
    for (std::size_t n = 0; n < 90; ++n) {
        document += std::string(1 + n % 3, '*') + " w" + std::string(n % 70, 'a') + (n % 4 == 0 ? " #t" : "") + "\n";
    }
    // A byte at a time, every line is left to the scan.
    const bool blocks = simd::active_level() != simd::Level::scalar;
    StarredWindow lines(document);
    std::size_t decided = 0, count = 0;
    for (std::size_t begin; (begin = lines.next()) != StarredWindow::none; ++count) {
        Headline first;
        const std::size_t read = lines.read(begin, first);
        const std::size_t length = document.find('\n', begin) - begin;
        if (read == 0) {
            // Too long for a window, a hashtag's line alone in its window, or
            // a line that runs on from the first 48 bytes of its window.
            const bool runs_on = begin - lines.block() < 48 && begin + length >= lines.block() + 64;
            if (blocks && length <= 60 && !runs_on) {
                EXPECT_NE(document.substr(begin, length).find('#'), std::string::npos) << "line " << count;
            }
            continue;
        }
        ++decided;
        Headline scanned;
        ASSERT_TRUE(scan_line(std::string_view(document).substr(begin, length), scanned));
        // A plain line is its level and content; a marked one all of `first`.
        if (read < StarredWindow::marked) {
            EXPECT_EQ(read, scanned.level) << "line " << count;
            EXPECT_EQ(first.content, scanned.content) << "line " << count;
            EXPECT_TRUE(scanned.target.empty()) << "line " << count;
        } else {
            EXPECT_EQ(read - StarredWindow::marked, scanned.level) << "line " << count;
            EXPECT_EQ(first.level, scanned.level);
            EXPECT_EQ(describe(first), describe(scanned)) << "line " << count;
        }
    }
    EXPECT_EQ(count, 90u);
    EXPECT_EQ(decided > 60, blocks);
}

// The marks of a window are found only where another starred line ends in
// it; a line with links or hashtags alone in its window is left to the scan,
// a short plain line only when it runs on from the first 48 bytes of a window.
TEST(StarredWindow, FindsTheMarksOnlyForWindowsThatShareThem) {
    const std::vector<std::pair<std::string, std::vector<std::size_t>>> cases = {
        {"* call #home\n", {0}},
        {"* call #home\n* a\n", {1, 1}},
        {"* call #home\n** see [[a]]\n", {1, 2}},
        {"* a\n* call #home\n", {1, 0}},
        {"* call #home\n" + std::string(60, 'p') + "\n* a\n", {0, 1}},
        {"* call #home\n* " + std::string(60, 'p') + "\n", {0, 0}},
        {"** see [[a][b]]\nprose\n*** x #y\n", {2, 3}},
        // A line that runs past its window starts a window of its own, unless
        // it has 16 bytes of one behind it already.
        {"* " + std::string(48, 'p') + "\n* " + std::string(40, 'q') + "\n", {1, 1}},
        {"* " + std::string(20, 'p') + "\n* " + std::string(48, 'q') + "\n", {1, 0}},
    };
    // A byte at a time, the scan reads every line.
    const bool blocks = simd::active_level() != simd::Level::scalar;
    for (const auto& [document, levels] : cases) {
        StarredWindow lines(document);
        std::vector<std::size_t> read;
        for (std::size_t begin; (begin = lines.next()) != StarredWindow::none;) {
            Headline first;
            const std::size_t level = lines.read(begin, first);
            read.push_back(level < StarredWindow::marked ? level : level - StarredWindow::marked);
        }
        EXPECT_EQ(read, blocks ? levels : std::vector<std::size_t>(levels.size(), 0)) << document;
    }
}

}  // namespace
}  // namespace brelim
