#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "byte_set.hpp"
#include "token.hpp"

namespace brelim {

// The state of one parse while it runs: the line, the position in it, and the
// token queue the matches append to. The queue is borrowed from the parser so
// that one allocation serves every line of a document.
struct ParserState {
    std::string_view input;
    std::size_t position = 0;
    std::vector<Token>& queue;

    // What a failing expression returns to: position and queue length.
    struct Mark {
        std::size_t position;
        std::size_t length;
    };

    ParserState(std::string_view line, std::vector<Token>& tokens) noexcept : input(line), queue(tokens) {}

    bool at_end() const noexcept { return position >= input.size(); }
    unsigned char peek() const noexcept { return static_cast<unsigned char>(input[position]); }
    bool next_in(const ByteSet& set) const noexcept { return !at_end() && set[peek()]; }

    Mark mark() const noexcept { return {position, queue.size()}; }
    // Cutting the queue back is a change of its length; nothing is copied.
    void restore(Mark m) noexcept {
        position = m.position;
        queue.resize(m.length);
    }

    // A pair's Start token goes in when its rule begins; its partner is known
    // only once the End token follows.
    Mark open_pair() {
        const Mark m = mark();
        queue.push_back(Token{position, 0, TokenKind::Start, Rule::EOI});
        return m;
    }
    void close_pair(Mark m, Rule rule) {
        queue[m.length].partner = queue.size();
        queue.push_back(Token{position, m.length, TokenKind::End, rule});
    }
};

}  // namespace brelim
