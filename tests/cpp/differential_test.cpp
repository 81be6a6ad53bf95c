#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
        return "shifted by " + std::to_string(shift) + ", from byte " + std::to_string(from) + "\n  fast:   " +
               fast.substr(from, 120) + "\n  engine: " + reference.substr(from, 120);
    }
    return "";
}

TEST(Differential, TableInputs) {
    std::string joined;
    for (const char* name : {"documents.tsv", "headlines.tsv"}) {
        for (const auto& row : testing::read_table(name)) {
            EXPECT_EQ(difference(row.input), "") << row.where;
            joined += row.input + "\n";
        }
    }
    EXPECT_EQ(difference(joined), "");
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

    void line(std::string& out) {
        if (below(10) == 0) out += ' ';
        static constexpr std::uint32_t stars[] = {0, 1, 1, 1, 2, 2, 3, 3, 4, 5};
        out.append(stars[below(10)], '*');
        for (std::uint32_t pieces = below(7); pieces-- > 0;) {
            switch (below(22)) {
            case 0: case 1: case 2: out += word(8); break;
            case 3: out += word(150); break;  // past a 64-byte block
            case 4: out += "#" + word(6); break;
            case 5: out += "#tag"; break;
            case 6: out += "[[" + word(10) + "]]"; break;
            case 7: out += "[[" + word(80) + "][" + word(10) + "]]"; break;
            case 8: {
                static constexpr std::string_view targets[] = {
                    "[[http://x.org/a?b=1&c=2]]", "[[it's http]]", "[[ JavaScript:x http]]",
                    "[[data:a,http][d]]", "[[HTTP x]]", "#a #ab #a", "[[a][A]] [[b]]"};
                out += targets[below(7)];
                break;
            }
            case 9: {
                static constexpr std::string_view broken[] = {"[[", "]]", "[x]", "[[a]", "[[a][]]", "[[][b]]",
                                                              "[[a][b]", "#", "# x", "]["};
                out += broken[below(10)];
                break;
            }
            case 10: out.append(1 + below(4), '*'); break;
            case 11: out += " * "; break;
            case 12: {
                static constexpr std::string_view odd[] = {
                    "\t", "!", ";", "<", ">", std::string_view("\0", 1), "\r", "\x7f", "\x01", "\\"};
                out += odd[below(10)];
                break;
            }
            case 13: {
                static constexpr std::string_view foreign[] = {"\xc3\xa9", "\xff", "\xe2\x80\xa8", "\xef\xbb\xbf",
                                                               "\xf0\x9f\x98\x80", "\x80"};
                out += foreign[below(6)];
                break;
            }
            default: out += word(8); break;
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
        std::string shown;
        for (const unsigned char c : document) {
            static constexpr char hex[] = "0123456789abcdef";
            if (c >= 0x20 && c < 0x7f && c != '\\') shown += static_cast<char>(c);
            else shown += std::string("\\x") + hex[c >> 4] + hex[c & 15];
        }
        ADD_FAILURE() << "seed " << seed << ": " << where << "\n  document: " << shown;
    }
}

}  // namespace
}  // namespace brelim
