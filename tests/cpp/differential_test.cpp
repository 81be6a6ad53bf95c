#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/fragment_size.hpp"
#include "convert/parse_file.hpp"
#include "table.hpp"

// The one-pass conversion against the engine, byte for byte: on the tables'
// inputs, one by one and joined, and on documents put together at random from
// the pieces of the format, broken ones and foreign bytes among them.
namespace brelim {
namespace {

// Where the two conversions part, or "" when they agree. The document is
// converted from every start address modulo 16, as block scans may care.
std::string difference(std::string_view document) {
    const std::string reference = parse_file_with_engine(document);
    std::string moved(document.size() + 16, '\0');
    for (std::size_t shift = 0; shift < 16; shift += 5) {
        moved.replace(shift, document.size(), document);
        const std::string fast = parse_file(std::string_view(moved).substr(shift, document.size()));
        if (fast == reference) continue;
        std::size_t at = 0;
        while (at < fast.size() && at < reference.size() && fast[at] == reference[at]) ++at;
        const std::size_t from = at >= 40 ? at - 40 : 0;
        return "shifted by " + std::to_string(shift) + ", from byte " + std::to_string(from) +
               "\n  fast:   " + fast.substr(from, 120) + "\n  engine: " + reference.substr(from, 120);
    }
    return "";
}

// Expects `check` (a description of what differs, empty when nothing does)
// to hold on every input of the tables, and on all of them as one document.
template <class Check>
void expect_on_table_inputs(Check check) {
    std::string joined;
    for (const char* name : {"documents.tsv", "headlines.tsv"}) {
        for (const auto& row : testing::read_table(name)) {
            EXPECT_EQ(check(row.input), "") << row.where;
            joined += row.input + "\n";
        }
    }
    EXPECT_EQ(check(joined), "");
}

TEST(Differential, TableInputs) { expect_on_table_inputs(difference); }

std::string size_difference(std::string_view document);

// A line longer than its window: the search for starred lines goes on from
// its end, which lies at a window's last byte, its first, or the one after,
// a window or two on, before the next starred line, a carriage return, or
// the document's end.
TEST(Differential, LinesPastTheirWindow) {
    const std::string_view lines[] = {"* ", "** see [[a b][c]] #d ", "* [[x]] #y [[x]] ", "**** [[x]] #y "};
    const std::string_view endings[] = {"\n* a\n** b #c\n", "\n*** [[e]]",    "\r\n* f", "",
                                        "\n**** g\n* h",    "\n* !i\n** j\n", "\n*",     "\r\n* k\nl\n* m"};
    for (const std::size_t start : {0, 20, 40}) {
        for (const std::size_t end : {63, 64, 65, 127, 128, 129}) {
            for (const std::string_view line : lines) {
                for (const std::string_view ending : endings) {
                    std::string document = "prose\n";
                    document.resize(start, 'x');
                    if (start != 0) document.back() = '\n';
                    document += line;
                    document.resize(end, 'w');
                    document += ending;
                    EXPECT_EQ(difference(document), "") << start << " to " << end << ": " << document;
                }
            }
        }
    }
}

// Starred lines right after 64 bytes without an asterisk, whose last byte
// does or does not end a line, and lines of four asterisks or more, at the
// document's end too.
TEST(Differential, StarredLinesAfterWindowsWithoutAsterisks) {
    const std::string_view afters[] = {"* a\n** b", "**** b\n* c", "****", "***", "* a #b", "**"};
    for (const std::size_t prose : {0, 1, 61, 62, 63, 64, 65, 126, 127, 128, 191}) {
        for (const bool feed : {true, false}) {
            for (const std::string_view after : afters) {
                std::string document(prose, 'x');
                if (feed) document += '\n';
                document += after;
                EXPECT_EQ(difference(document), "") << document;
                EXPECT_EQ(size_difference(document), "") << document;
            }
        }
    }
}

// The last of many links or hashtags, occurring earlier too or not: among
// the first starts a headline keeps, or among those kept apart past them;
// alone, and after a headline whose many starts were kept before it.
TEST(Differential, LastOfManyLinksOccurringEarlier) {
    std::string before = "* ";
    for (std::size_t i = 0; i < 300; ++i) before += i % 3 == 0 ? "#z " : "[[z]] ";
    before += "[[q]]\n";
    for (const std::string_view last : {"[[z]]", "#z", "[[z][d]]"}) {
        for (const std::size_t count : {2, 15, 16, 17, 18, 40}) {
            for (const std::size_t earlier :
                 {std::size_t{0}, std::size_t{14}, std::size_t{15}, std::size_t{16}, count - 2, std::size_t{99}}) {
                std::string document = "* ";
                for (std::size_t i = 0; i + 1 < count; ++i) {
                    document += i == earlier ? std::string(last) : i % 2 == 0 ? "[[a]]" : "#b";
                    document += ' ';
                }
                document += last;
                EXPECT_EQ(difference(document), "") << document;
                EXPECT_EQ(difference(before + document), "") << before + document;
            }
        }
    }
}

class Generator {
public:
    explicit Generator(std::uint64_t seed) : state_(seed) {}

    std::string document() {
        std::string out;
        for (std::uint32_t lines = below(12); lines-- > 0;) {
            line(out);
            static constexpr std::string_view endings[] = {"\n", "\n", "\n", "\n", "\n", "\r\n", "\r", "\r\r\n"};
            if (lines > 0 || below(3) != 0) out += endings[below(8)];
        }
        return out;
    }

private:
    std::uint64_t state_;

    std::uint32_t below(std::uint32_t n) {  // splitmix64: the same numbers everywhere
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) % n);
    }

    std::string word(std::uint32_t longest) {
        static constexpr std::string_view plain = "abcXYZ019 \"%&'()+,-./:=?_";
        std::string out;
        for (std::uint32_t n = 1 + below(longest); n-- > 0;) out += plain[below(plain.size())];
        return out;
    }

    // Links that test the href rules, broken pieces, bytes outside the format
    // and non-ASCII characters.
    static constexpr std::string_view fixed[] = {"[[http://x.org/a?b=1&c=2]]",
                                                 "[[it's http]]",
                                                 "[[ JavaScript:x http]]",
                                                 "[[data:a,http][d]]",
                                                 "[[HTTP x]]",
                                                 "#a #ab #a",
                                                 "[[a][A]] [[b]]",
                                                 "[[",
                                                 "]]",
                                                 "[x]",
                                                 "[[a]",
                                                 "[[a][]]",
                                                 "[[][b]]",
                                                 "[[a][b]",
                                                 "#",
                                                 "# x",
                                                 "][",
                                                 " * ",
                                                 "*",
                                                 "****",
                                                 "\t",
                                                 "!",
                                                 ";",
                                                 "<",
                                                 ">",
                                                 std::string_view("\0", 1),
                                                 "\r",
                                                 "\x7f",
                                                 "\x01",
                                                 "\\",
                                                 "\xc3\xa9",
                                                 "\xff",
                                                 "\xe2\x80\xa8",
                                                 "\xef\xbb\xbf",
                                                 "\xf0\x9f\x98\x80",
                                                 "\x80"};

    // A link's target or description, now and then with a foreign piece in it.
    std::string text(std::uint32_t longest) {
        if (below(4) != 0) return word(longest);
        return below(2) == 0 ? std::string(fixed[below(std::size(fixed))]) + word(longest)
                             : word(longest) + std::string(fixed[below(std::size(fixed))]);
    }

    void line(std::string& out) {
        static constexpr std::uint32_t stars[] = {0, 1, 1, 1, 2, 2, 3, 3, 4, 5};
        if (below(10) == 0) out += ' ';
        out.append(stars[below(10)], '*');
        for (std::uint32_t pieces = below(7); pieces-- > 0;) {
            switch (below(12)) {
            case 0:
                out += word(150);
                break;  // past a 64-byte block
            case 1:
            case 2:
                out += "#" + word(6);
                break;
            case 3:
                out += "[[" + text(10) + "]]";
                break;
            case 4:
                out += "[[" + text(80) + "][" + text(10) + "]]";
                break;
            case 5:
            case 6:
                out += fixed[below(std::size(fixed))];
                break;
            default:
                out += word(8);
                break;
            }
        }
    }
};

TEST(Differential, GeneratedDocuments) {
    int failures = 0;
    for (std::uint64_t seed = 0; seed < 5000 && failures < 5; ++seed) {
        const std::string document = Generator(seed).document();
        const std::string where = difference(document);
        if (where.empty()) continue;
        ++failures;
        ADD_FAILURE() << "Generator(" << seed << ").document(), " << where;
    }
}

// The measure of a fragment against the fragment itself, and against a limit
// just under and at its size.
std::string size_difference(std::string_view document) {
    const std::size_t size = parse_file(document).size();
    const FragmentSize unbounded = measure_fragment(document, SIZE_MAX);
    if (unbounded.size != size) {
        return "measured " + std::to_string(unbounded.size) + ", converted " + std::to_string(size);
    }
    if (measure_fragment(document, size).size != size) return "not exact at a limit of its own size";
    if (measure_fragment(document, size - 1).size <= size - 1) return "not over a limit one byte short";
    return "";
}

TEST(FragmentSize, TableInputs) { expect_on_table_inputs(size_difference); }

TEST(FragmentSize, GeneratedDocuments) {
    int failures = 0;
    for (std::uint64_t seed = 0; seed < 5000 && failures < 5; ++seed) {
        const std::string document = Generator(seed).document();
        const std::string where = size_difference(document);
        if (where.empty()) continue;
        ++failures;
        ADD_FAILURE() << "Generator(" << seed << ").document(), " << where;
    }
}

}  // namespace
}  // namespace brelim
