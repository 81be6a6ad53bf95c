#include <gtest/gtest.h>

#include "bytes/find_text.hpp"
#include "convert/parse_file.hpp"
#include "grammar/line_scanner.hpp"
#include "render/append_string.hpp"
#include "render/html.hpp"

namespace brelim {
namespace {

// The first headline's HTML, from its parse tree and from the one-pass scan,
// which must agree.
std::string render(std::string_view line) {
    const auto headline = parse(line);
    EXPECT_TRUE(headline) << line;
    const std::string from_tree = headline ? html(*headline) : std::string();
    Headline scanned;
    EXPECT_TRUE(scan_line(line, scanned)) << line;
    OutputBuffer from_scan;
    append_html(scanned, from_scan);
    EXPECT_EQ(from_scan.str(), from_tree) << line;
    return from_tree;
}

TEST(Html, HeadlineContent) {
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"* Buy milk", " Buy milk"},
        {"* See [[notes]]", " See <a href='notes'>notes</a>"},
        {"* [[my page][My Page]] today", " <a href='my%20page'>My Page</a> today"},
        {"* [[a/b?c=1&d]]", " <a href='a%2Fb%3Fc%3D1%26d'>a/b?c=1&d</a>"},
        {"* [[my http notes]]", " <a href='my http notes'>my http notes</a>"},
        {"* [[http]]", " <a href='http'>http</a>"},
        {"* [[HTTP notes]]", " <a href='HTTP%20notes'>HTTP notes</a>"},
        {"* [[https://example.org/a?b=1&c=2]]",
         " <a href='https://example.org/a?b=1&c=2'>https://example.org/a?b=1&c=2</a>"},
        {"* #idea", " <a href='idea'>#idea</a>"},
        {"*** #idea", " <a href='idea'>#idea</a>"},
        {"* [[a][A]] and [[b]]", " [[a][A]] and <a href='b'>A</a>"},
        {"* #t [[b]]", " #t <a href='b'>#t</a>"},
        {"* #a and #a", " <a href='a'>#a</a> and <a href='a'>#a</a>"},
        {"* #ab #a", " <a href='a'>#a</a>b <a href='a'>#a</a>"},
        {"* Tom & Jerry's", " Tom & Jerry's"},
        {"* [[it's]]", " <a href='it%27s'>it's</a>"},
        {"* See [[x]] * more", " See <a href='x'>x</a> "},
        {"* #a ** #b", " <a href='a'>#a</a> "},
        {"* Read [[docs/intro][the intro]], see #review#later (ok)",
         " Read [[docs/intro][the intro]], see #review<a href='later'>#later</a> (ok)"},
        {"*[[x]][[x]]", "<a href='x'>x</a><a href='x'>x</a>"},
    };
    for (const auto& [line, expected] : rows) EXPECT_EQ(render(line), expected) << line;
}

// An apostrophe must not end the href, and a script scheme must not survive
// as one, whatever "http" appears later in the target.
TEST(Html, HrefCannotBreakOutOrRunScript) {
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"* [[http it's]]", " <a href='http it&#39;s'>http it's</a>"},
        {"* [[http://x' onmouseover='alert(1)]]",
         " <a href='http://x&#39; onmouseover=&#39;alert(1)'>http://x' onmouseover='alert(1)</a>"},
        {"* [[javascript:alert(1)//http]]",
         " <a href='javascript%3Aalert%281%29%2F%2Fhttp'>javascript:alert(1)//http</a>"},
        {"* [[  JavaScript:x http]]", " <a href='%20%20JavaScript%3Ax%20http'>  JavaScript:x http</a>"},
        {"* [[VBScript:x http]]", " <a href='VBScript%3Ax%20http'>VBScript:x http</a>"},
        {"* [[data:text/html,http][d]]", " <a href='data%3Atext%2Fhtml%2Chttp'>d</a>"},
        {"* [[see data: http]]", " <a href='see data: http'>see data: http</a>"},
    };
    for (const auto& [line, expected] : rows) EXPECT_EQ(render(line), expected) << line;
}

TEST(AppendString, PercentEncoding) {
    struct Row {
        std::string_view data;
        bool skip;
        bool unchanged;
        std::string_view out;
    };
    const Row rows[] = {
        {"abc-._~XYZ09", true, true, ""},
        {"abc-._~XYZ09", false, false, "abc-._~XYZ09"},
        {"", true, true, ""},
        {"", false, false, ""},
        {" \"%&'()+,/:=?", true, false, "%20%22%25%26%27%28%29%2B%2C%2F%3A%3D%3F"},
        {"a b", true, false, "a%20b"},
        {std::string_view("\xC3\xA9\x7F\0", 4), true, false, "%C3%A9%7F%00"},
    };
    for (const Row& row : rows) {
        OutputBuffer out;
        out.append("<");  // appends to what is there
        EXPECT_EQ(append_string(row.data, out, row.skip), row.unchanged) << row.data;
        EXPECT_EQ(out.str(), "<" + std::string(row.out)) << row.data;
    }
}

// The search tests sixteen starts at a time; it must agree with a plain search
// for needles of every length, at every offset, near and at the text's end.
TEST(FindText, AgreesWithAPlainSearch) {
    std::uint32_t seed = 11;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 70, ' ');
        for (char& c : text) c = "[]ab#"[random() % 5];
        std::string needle(1 + random() % 6, ' ');
        for (char& c : needle) c = "[]ab#"[random() % 5];
        if (round % 3 == 0 && text.size() >= needle.size()) {  // make sure it occurs, often near the end
            text.replace(text.size() - needle.size() - random() % (text.size() - needle.size() + 1), needle.size(), needle);
        }
        for (std::size_t from = 0; from <= text.size() + 1; from += 1 + random() % 7) {
            EXPECT_EQ(find_text(text, needle, from), std::string_view(text).find(needle, from))
                << '"' << text << "\" \"" << needle << "\" " << from;
        }
    }
    EXPECT_EQ(find_text("abc", "", 3), 3u);
    EXPECT_EQ(find_text("abc", "", 4), std::string_view::npos);
}

// Past 32 MiB the buffer maps its own memory and grows it in place; what was
// written before each growth must still be there.
TEST(OutputBuffer, KeepsItsBytesAsItGrowsPastAllocatorBlocks) {
    OutputBuffer out;
    std::string piece(1 << 20, ' ');
    for (int i = 0; i < 80; ++i) {
        piece.front() = piece.back() = static_cast<char>('A' + i % 26);
        out.append(piece);
    }
    ASSERT_EQ(out.size(), std::size_t{80} << 20);
    for (int i = 0; i < 80; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) << 20;
        EXPECT_EQ(out.data()[at], 'A' + i % 26) << i;
        EXPECT_EQ(out.data()[at + piece.size() - 1], 'A' + i % 26) << i;
        EXPECT_EQ(out.data()[at + 1], ' ') << i;
    }
}

}  // namespace
}  // namespace brelim
