#pragma once

#include <cstddef>
#include <string_view>

#include "../bytes/byte_set.hpp"
#include "../bytes/portable.hpp"
#include "token.hpp"
#include "token_queue.hpp"

namespace brelim {

// The state of one parse while it runs: the line, the position in it, and the
// token queue the matches append to. The state holds the queue's storage
// while matching runs (the tokens, their count, the room for more) and hands
// the count back with `finish`; one queue serves every line of a document.
struct ParserState {
    std::string_view input;
    std::size_t position = 0;

    // What a failing expression returns to: position and queue length.
    struct Mark {
        std::size_t position;
        std::size_t length;
    };

    ParserState(std::string_view line, TokenQueue& queue) noexcept
        : input(line), queue_(queue), tokens_(queue.storage_.data()), length_(queue.size_),
          capacity_(queue.storage_.size()) {}

    // Hands the tokens over to the queue; the state is done with it.
    void finish() noexcept { queue_.size_ = length_; }

    bool at_end() const noexcept { return position >= input.size(); }
    unsigned char peek() const noexcept { return static_cast<unsigned char>(input[position]); }
    bool next_in(const ByteSet& set) const noexcept { return !at_end() && set[peek()]; }

    Mark mark() const noexcept { return {position, length_}; }
    // Cutting the queue back is a change of its length; nothing is copied.
    void restore(Mark m) noexcept {
        position = m.position;
        length_ = m.length;
    }

    // A pair's Start token goes in when its rule begins; its partner is known
    // only once the End token follows.
    Mark open_pair() {
        const Mark m = mark();
        push(Token{position, 0, TokenKind::Start, Rule::EOI});
        return m;
    }
    void close_pair(Mark m, Rule rule) {
        tokens_[m.length].partner = length_;
        push(Token{position, m.length, TokenKind::End, rule});
    }

private:
    void push(const Token& token) {
        if (length_ == capacity_) [[unlikely]]
            grow();
        tokens_[length_++] = token;
    }
    BRELIM_NOINLINE void grow() {
        queue_.storage_.resize(capacity_ < 32 ? 64 : capacity_ * 2);
        tokens_ = queue_.storage_.data();
        capacity_ = queue_.storage_.size();
    }

    TokenQueue& queue_;
    Token* tokens_;
    std::size_t length_;
    std::size_t capacity_;
};

}  // namespace brelim
