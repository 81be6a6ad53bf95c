#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "bytes/byte_masks.hpp"
#include "bytes/outside_mask.hpp"
#include "bytes/window_classes.hpp"
#include "grammar/combinators.hpp"
#include "grammar/internal_error.hpp"
#include "grammar/outline_grammar.hpp"
#include "tree_dump.hpp"

namespace brelim {
namespace {

using testing::dump;
using testing::run;

TEST(Engine, QueueAndPairsOfOneShortHeadline) {
    OutlineParser parser;
    const auto pairs = parser.parse(Rule::input, "* a");
    ASSERT_TRUE(pairs);
    struct Expected {
        TokenKind kind;
        std::size_t partner;
        Rule rule;
        std::size_t position;
    };
    const std::vector<Expected> expected = {
        {TokenKind::Start, 3, Rule::EOI, 0}, {TokenKind::Start, 2, Rule::EOI, 1},
        {TokenKind::End, 1, Rule::text, 3},  {TokenKind::End, 0, Rule::headline1, 3},
        {TokenKind::Start, 5, Rule::EOI, 3}, {TokenKind::End, 4, Rule::EOI, 3},
    };
    QueueRef queue = QueueRef::make();
    ParserState state("* a", *queue.get());
    ASSERT_TRUE(OutlineParser::match(Rule::input, state));
    state.finish();
    ASSERT_EQ(queue->size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Token& t = (*queue.get())[i];
        EXPECT_EQ(t.kind, expected[i].kind) << i;
        EXPECT_EQ(t.partner, expected[i].partner) << i;
        EXPECT_EQ(t.position, expected[i].position) << i;
        if (t.kind == TokenKind::End) {
            EXPECT_EQ(t.rule, expected[i].rule) << i;
        }
    }

    EXPECT_EQ(pairs->first(), 0u);
    EXPECT_EQ(pairs->limit(), 6u);
    EXPECT_EQ(dump(*pairs), "headline1[0,3)(text[1,3)) EOI[3,3)");
    Pairs top = *pairs;
    const Pair headline = *top.next();
    EXPECT_EQ(headline.text(), "* a");
    EXPECT_EQ(headline.children().count(), 1u);
    EXPECT_EQ(headline.descendants().count(), 1u);
    EXPECT_EQ(headline.children().next()->text(), " a");
    const Pair eoi = *top.next();
    EXPECT_EQ(eoi.rule(), Rule::EOI);
    EXPECT_EQ(eoi.text(), "");
    EXPECT_FALSE(top.next());
}

TEST(Engine, ChildrenSkipGrandchildrenDescendantsDoNot) {
    OutlineParser parser;
    const std::string_view line = "* [[a]]b";
    const auto pairs = parser.parse(Rule::input, line);
    ASSERT_TRUE(pairs);
    const Pair headline = *Pairs(*pairs).next();
    std::vector<std::string> children, descendants;
    for (const Pair& p : headline.children()) children.emplace_back(rule_name(p.rule()));
    for (const Pair& p : headline.descendants()) descendants.emplace_back(rule_name(p.rule()));
    EXPECT_EQ(children, (std::vector<std::string>{"text", "text", "text"}));
    EXPECT_EQ(descendants, (std::vector<std::string>{"text", "text", "plain_link", "link_target", "text"}));
}

TEST(Engine, FailureLeavesPositionAndQueueUntouched) {
    // described_link gets as far as its target, then fails on the missing "]]".
    for (const auto rule : {Rule::described_link, Rule::link, Rule::text, Rule::headline1, Rule::input}) {
        const auto outcome = run(rule, rule == Rule::headline1 || rule == Rule::input ? "*[[a][b]" : "[[a][b]");
        EXPECT_FALSE(outcome.matched) << rule_name(rule);
        EXPECT_EQ(outcome.end, 0u) << rule_name(rule);
        EXPECT_EQ(outcome.tokens, 0u) << rule_name(rule);
    }
}

TEST(Engine, RangesAndLiteralsStopAtForeignBytes) {
    TokenQueue tokens;
    ParserState ascii("\xC3\xA9", tokens);  // "é"
    using lower = peg::range<'a', 'z'>;
    EXPECT_FALSE(lower::match(ascii));
    EXPECT_EQ(ascii.position, 0u);

    ParserState near_end("[", tokens);
    const bool matched = peg::lit<'[', '['>::match(near_end);
    EXPECT_FALSE(matched);
    EXPECT_EQ(near_end.position, 0u);
}

TEST(Engine, AHeldTreeSurvivesLaterParses) {
    OutlineParser parser;
    const std::string first = "* #one";
    const auto kept = parser.parse(Rule::input, first);
    ASSERT_TRUE(kept);
    for (const char* line : {"* [[x][y]] z", "prose", "** b"}) parser.parse(Rule::input, line);
    EXPECT_EQ(dump(*kept), "headline1[0,6)(text[1,2) text[2,6)(hashtag[2,6)(hashtag_target[3,6)))) EOI[6,6)");
}

TEST(Engine, ContradictoryQueueIsAnInternalError) {
    QueueRef queue = QueueRef::make();
    queue->assign({
        {0, 1, TokenKind::Start, Rule::EOI},
        {1, 0, TokenKind::End, Rule::text},
        {0, 3, TokenKind::End, Rule::text},  // an End token where a Start must be
        {1, 2, TokenKind::End, Rule::text},
    });
    const std::string_view line = "ab";
    try {
        Pair(queue, line, 2).rule();
        FAIL() << "no fault raised";
    } catch (const InternalError& fault) {
        EXPECT_STREQ(fault.what(), "internal error: entered unreachable code");
    }
    EXPECT_THROW(Pair(queue, line, 9).rule(), InternalError);  // outside the queue
    EXPECT_THROW(Pair(queue, "", 0).text(), InternalError);    // span beyond the line
    queue->mutable_at(1).partner = 3;
    EXPECT_THROW(Pair(queue, line, 0).rule(), InternalError);  // partners disagree
}

}  // namespace
}  // namespace brelim

namespace brelim {
namespace {

constexpr ByteSet plain_bytes = peg::closure_of<grammar::plain_chunk>;

// Runs are found a block at a time; every byte value must end one exactly
// where a byte-by-byte scan would, wherever it falls in a chunk.
TEST(Engine, RunsEndAtTheFirstByteOutsideTheSet) {
    for (unsigned stop = 0; stop < 256; ++stop) {
        for (std::size_t at : {0u, 1u, 15u, 16u, 17u, 31u, 40u, 46u, 47u}) {
            std::string line(48, 'a');
            line[5] = ' ', line[20] = '/', line[33] = 'Z';
            line[at] = static_cast<char>(stop);
            const std::size_t expected = plain_bytes[static_cast<unsigned char>(stop)] ? line.size() : at;
            EXPECT_EQ(scan<plain_bytes>(line, 0), expected) << stop << " at " << at;
            if (at > 3) {
                EXPECT_EQ(scan<plain_bytes>(line, 3), expected) << stop << " at " << at;
            }
            // A line of one 16-byte chunk, or shorter than a 32-byte block,
            // entered anywhere before the stop.
            for (const std::size_t length : {std::size_t{16}, std::size_t{31}}) {
                if (at >= length) continue;
                const std::string_view chunk = std::string_view(line).substr(0, length);
                const std::size_t end = plain_bytes[static_cast<unsigned char>(stop)] ? length : at;
                for (std::size_t from = 0; from <= at; ++from) EXPECT_EQ(scan<plain_bytes>(chunk, from), end);
            }
        }
    }
}

// The same for 64 bytes at once: every byte value, in each sixteen-byte
// chunk, is marked exactly when it is outside the set, and so is every bit
// past the end.
TEST(Engine, MasksMarkTheBytesOutsideTheSet) {
    const std::size_t places[] = {0, 17, 38, 63};
    for (unsigned value = 0; value < 256; ++value) {
        std::string block(64, 'a');
        for (const std::size_t at : places) block[at] = static_cast<char>(value);
        for (const std::size_t size : {64u, 40u, 1u, 0u}) {
            std::uint64_t expected = size < 64 ? ~std::uint64_t{0} << size : 0;
            for (const std::size_t at : places) {
                if (at < size && !plain_bytes[static_cast<unsigned char>(value)]) expected |= std::uint64_t{1} << at;
            }
            EXPECT_EQ(outside_mask<plain_bytes>(block.data(), size), expected) << value << " in " << size;
        }
    }
}

// Several classes at once give what each gives alone, whatever the bytes
// and however many there are: every byte value, at places in each
// sixteen-byte chunk, among bytes of every class.
TEST(Engine, ClassesAtOnceAreTheMasksOneAtATime) {
    const std::size_t places[] = {0, 17, 38, 63};
    const std::string others = "a#[]\n*- ";
    for (unsigned value = 0; value < 256; ++value) {
        std::string block(64, 'a');
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = others[i % others.size()];
        for (const std::size_t at : places) block[at] = static_cast<char>(value);
        for (const std::size_t size : {64u, 63u, 40u, 1u, 0u}) {
            const auto [equal, outside] =
                window_classes<Equal<'#', '[', ']', '\n'>, Outside<word_bytes, plain_bytes>>(block.data(), size);
            const auto [hash, open, close, feed] = byte_masks<'#', '[', ']', '\n'>(block.data(), size);
            EXPECT_EQ(equal, (std::array{hash, open, close, feed})) << value << " in " << size;
            EXPECT_EQ(outside[0], outside_mask<word_bytes>(block.data(), size)) << value << " in " << size;
            EXPECT_EQ(outside[1], outside_mask<plain_bytes>(block.data(), size)) << value << " in " << size;
        }
    }
}

}  // namespace
}  // namespace brelim
