#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/find_text.hpp"
#include "bytes/reach.hpp"
#include "bytes/short_mask.hpp"
#include "convert/parse_file.hpp"
#include "render/percent_encoding.hpp"
#include "table.hpp"

namespace brelim {
namespace {

// tests/tables/headlines.tsv, shared with the Python tests: each line through
// both conversions, the one-pass scan and the parse tree.
TEST(Html, HeadlineContent) {
    for (const auto& row : testing::read_table("headlines.tsv")) {
        const std::string fragment = "<ul><li>" + row.expected + "\n</li></ul>";
        EXPECT_EQ(parse_file(row.input), fragment) << row.where;
        EXPECT_EQ(parse_file_with_engine(row.input), fragment) << row.where;
    }
}

// A line shorter than a window, with one link or hashtag, is written with
// moves of a fixed size that read and write past each of its pieces. Followed
// by more of the document, as most lines are, it still gives exactly its
// HTML, alone and with the other lines around it.
TEST(Html, ShortLineWithOneAnchor) {
    struct Row {
        std::string_view line, html;
    };
    const Row rows[] = {
        {"* call #home", " call <a href='home'>#home</a>"},
        {"* #a", " <a href='a'>#a</a>"},
        {"* see [[a/b.txt]] now", " see <a href='a%2Fb.txt'>a/b.txt</a> now"},
        {"* [[abcdefghijklmnop]]", " <a href='abcdefghijklmnop'>abcdefghijklmnop</a>"},
        {"* [[abcdefghijklmno/]]", " <a href='abcdefghijklmno%2F'>abcdefghijklmno/</a>"},
        {"* [[abcdefghijklmnop/]]", " <a href='abcdefghijklmnop%2F'>abcdefghijklmnop/</a>"},
        {"* [[/a b?c=d&e'f]]", " <a href='%2Fa%20b%3Fc%3Dd%26e%27f'>/a b?c=d&e'f</a>"},
        {"* [[hohum/h]]", " <a href='hohum%2Fh'>hohum/h</a>"},
        {"* [[x/htt]] [[x/htt]]", " <a href='x%2Fhtt'>x/htt</a> <a href='x%2Fhtt'>x/htt</a>"},
        {"* [[x/http]]", " <a href='x/http'>x/http</a>"},
        {"* [[a'http/]]", " <a href='a&#39;http/'>a'http/</a>"},
        {"* [[data:http]]", " <a href='data%3Ahttp'>data:http</a>"},
        {"* [[a/b][see it]] after", " <a href='a%2Fb'>see it</a> after"},
        {"* 0123456789abcdefghijklmnopqrstuvwxyz #tag 0123456789",
         " 0123456789abcdefghijklmnopqrstuvwxyz <a href='tag'>#tag</a> 0123456789"},
        {"* #abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXY",
         " <a href='abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXY'>"
         "#abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXY</a>"},
        {"* a [[b/c][0123456789abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ]]",
         " a <a href='b%2Fc'>0123456789abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ</a>"},
    };
    const std::string prose = "\n" + std::string(200, 'x') + "\n";  // read past, never written
    std::string joined;
    for (const Row& row : rows) {
        const std::string document = std::string(row.line) + prose;
        EXPECT_EQ(parse_file(document), "<ul><li>" + std::string(row.html) + "\n</li></ul>") << row.line;
        joined += "** " + std::string(row.line.substr(2)) + "\n* a\n" + std::string(row.line) + "\n";
    }
    EXPECT_EQ(parse_file(joined + prose), parse_file_with_engine(joined + prose));
}

// Headlines longer than a window, read by the scan: their last link's
// occurrences found and its target written from masks where the document
// goes on past them, byte by byte at its end; the same HTML either way.
TEST(Html, LongHeadlineWhereTheDocumentEndsOrGoesOn) {
    const std::string_view lines[] = {
        "* 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz [[a/b]] [[a/b]]",
        "* [[h]] [[x/htt]] 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnop #h [[x/htt]]",
        "* #home #homework 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnop #home",
        "* [[a b][c]] [[a b]] [[a b][c]] 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdef [[a b]]",
        "* [[x/http]] 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnop [[x/http]]",
        "* [[a'b]] 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuv [[a'b]]",
        "* 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklm"
        "nopqrstuvwxyz #a0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz #a01",
        "* [[0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz/]] [[q]] "
        "[[0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz/]]",
    };
    for (const std::string_view line : lines) {
        for (const std::string& document : {std::string(line), std::string(line) + "\n" + std::string(100, 'x')}) {
            EXPECT_EQ(parse_file(document), parse_file_with_engine(document)) << document;
        }
    }
}

// A short piece's bytes outside a set, from one block: every length up to 16,
// with the bytes after the piece outside the set too, which must not count.
TEST(ShortMask, MarksTheBytesOutsideTheSet) {
    static constexpr ByteSet letters = ByteSet::range('a', 'z');
    std::uint32_t seed = 5;
    for (int round = 0; round < 500; ++round) {
        std::string bytes(64, '/');
        const std::size_t size = (seed = seed * 1664525u + 1013904223u) % 17;
        std::uint32_t expected = 0;
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = "ab/\xe9"[(seed = seed * 1664525u + 1013904223u) >> 29 & 3];
            expected |= std::uint32_t{bytes[i] == '/' || bytes[i] == '\xe9'} << i;
        }
        EXPECT_EQ(short_outside_mask<letters>(bytes.data(), size), expected) << bytes.substr(0, size);
    }
}

// A fast path reads past a piece only as far as the document goes on, and
// nowhere past a piece when no end was given.
TEST(Readable, ReachesUpToItsEndOnly) {
    const char document[8] = {};
    const Readable readable(document + 8), nothing;
    struct Row {
        std::size_t at, size;
        bool reaches;
    };
    const Row rows[] = {{0, 8, true}, {0, 9, false}, {7, 1, true}, {7, 2, false}, {8, 0, true}, {3, 5, true}};
    for (const Row& row : rows) {
        EXPECT_EQ(readable.reaches(document + row.at, row.size), row.reaches) << row.at << " " << row.size;
        EXPECT_FALSE(nothing.reaches(document + row.at, row.size)) << row.at << " " << row.size;
    }
}

// Each byte's entry and the size the measure counts for a target.
TEST(PercentEncoding, EntriesAndSize) {
    struct Row {
        std::string_view data, encoded;
    };
    const Row rows[] = {
        {"abc-._~XYZ09", "abc-._~XYZ09"},
        {"", ""},
        {" \"%&'()+,/:=?", "%20%22%25%26%27%28%29%2B%2C%2F%3A%3D%3F"},
        {"a b", "a%20b"},
        {std::string_view("\xC3\xA9\x7F\0", 4), "%C3%A9%7F%00"},
    };
    for (const Row& row : rows) {
        std::string encoded;
        for (const char c : row.data) {
            const PercentEncoded& code = percent_encoded[static_cast<unsigned char>(c)];
            encoded.append(code.bytes, code.size);
        }
        EXPECT_EQ(encoded, row.encoded) << row.data;
        EXPECT_EQ(encoded_size(row.data), row.encoded.size()) << row.data;
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
            text.replace(text.size() - needle.size() - random() % (text.size() - needle.size() + 1), needle.size(),
                         needle);
        }
        for (std::size_t from = 0; from <= text.size() + 1; from += 1 + random() % 7) {
            EXPECT_EQ(find_text(text, needle, from), std::string_view(text).find(needle, from))
                << '"' << text << "\" \"" << needle << "\" " << from;
        }
    }
    EXPECT_EQ(find_text("abc", "", 3), 3u);
    EXPECT_EQ(find_text("abc", "", 4), std::string_view::npos);
}

// A fragment starts in the buffer's own storage and leaves it as it grows,
// piece by piece or by one reservation for the heap or for a mapping; what
// was written before must come along.
TEST(OutputBuffer, KeepsItsBytesWhenItLeavesItsOwnStorage) {
    for (const std::size_t reserved : {std::size_t{0}, std::size_t{4096}, std::size_t{40} << 20}) {
        OutputBuffer out;
        std::string expected;
        for (int i = 0; i < 1000; ++i) {  // some 4 KB
            if (i == 10 && reserved != 0) out.reserve(reserved);
            const std::string piece = std::to_string(i) + ",";
            out.append(piece);
            expected += piece;
        }
        EXPECT_EQ(out.view(), expected) << reserved;
    }
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

// Lends storage up to a limit, moving it on every growth as realloc may, so
// that a buffer still writing where it was would be caught.
class TestLender final : public StorageLender {
public:
    explicit TestLender(std::size_t limit) : limit_(limit) {}

    char* lend(std::size_t total) noexcept override {
        ++calls;
        if (total > limit_) return nullptr;
        auto grown = std::make_unique<char[]>(total);
        if (storage_ != nullptr) {
            std::memcpy(grown.get(), storage_.get(), size_);
            std::memset(storage_.get(), '?', size_);
        }
        retired_.push_back(std::move(storage_));
        storage_ = std::move(grown);
        size_ = total;
        return storage_.get();
    }
    const char* storage() const { return storage_.get(); }
    std::string_view lent() const { return {storage_.get(), size_}; }
    int calls = 0;

private:
    std::size_t limit_, size_ = 0;
    std::unique_ptr<char[]> storage_;
    std::vector<std::unique_ptr<char[]>> retired_;  // kept, so that a stale write is seen, not a use after free
};

// A fragment that outgrows the inline room moves into lent storage with what
// was written, grows there, and moves to the buffer's own storage with its
// bytes once the lender refuses; the buffer never asks again after that.
TEST(OutputBuffer, WritesIntoLentStorageUntilTheLenderRefuses) {
    struct Row {
        std::size_t limit, reserved, pieces;
        bool lent;
        int calls;
    };
    const Row rows[] = {
        {1 << 20, 0, 100, false, 0},          // fits the inline room: never asks
        {1 << 20, 0, 2000, true, 3},          // 2 KiB inline, then 4, 8 and 16 KiB lent
        {1 << 20, 10000, 2000, true, 1},      // one reservation, lent
        {5000, 0, 2000, false, 2},            // 4 KiB lent, 8 KiB refused
        {0, 0, 2000, false, 1},               // refused at once
        {1 << 20, 40 << 20, 2000, false, 1},  // refused, then mapped by the buffer itself
    };
    for (const Row& row : rows) {
        TestLender lender(row.limit);
        OutputBuffer out(lender);
        std::string expected;
        for (std::size_t i = 0; i < row.pieces; ++i) {  // 8,890 bytes for 2000 pieces
            if (i == 10 && row.reserved != 0) out.reserve(row.reserved);
            const std::string piece = std::to_string(i) + ",";
            out.append(piece);
            expected += piece;
        }
        EXPECT_EQ(out.view(), expected) << row.limit << " " << row.reserved;
        EXPECT_EQ(out.in_lent_storage(), row.lent) << row.limit << " " << row.reserved;
        EXPECT_EQ(out.data() == lender.storage(), row.lent) << row.limit << " " << row.reserved;
        EXPECT_EQ(lender.calls, row.calls) << row.limit << " " << row.reserved;
        if (row.lent) {
            EXPECT_EQ(lender.lent().substr(0, expected.size()), expected);
        }
    }
}

}  // namespace
}  // namespace brelim
