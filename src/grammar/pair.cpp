#include "pair.hpp"

#include "internal_error.hpp"

namespace brelim {

namespace {

[[noreturn]] void fault(const char* message) { throw InternalError(message); }

const Token& token_at(const TokenQueue& queue, std::size_t index, TokenKind kind) {
    if (index >= queue.tokens.size()) fault("internal error: token index outside the queue");
    const Token& token = queue.tokens[index];
    if (token.kind != kind) fault(unreachable_message);
    return token;
}

}  // namespace

const Token& Pair::start_token() const {
    const Token& start = token_at(*queue_.get(), index_, TokenKind::Start);
    if (start.partner <= index_) fault("internal error: pair ends before it starts");
    return start;
}

const Token& Pair::end_token() const {
    const Token& end = token_at(*queue_.get(), start_token().partner, TokenKind::End);
    if (end.partner != index_) fault("internal error: token partners disagree");
    return end;
}

std::string_view Pair::text() const {
    const std::size_t from = start();
    const std::size_t to = end();
    if (from > to || to > input_.size()) fault("internal error: pair span outside its line");
    return input_.substr(from, to - from);
}

Pairs Pair::children() const { return Pairs(queue_, input_, index_ + 1, end_index()); }

FlatPairs Pair::descendants() const { return FlatPairs(queue_, input_, index_ + 1, end_index()); }

std::optional<Pair> Pairs::next() {
    if (first_ >= limit_) return std::nullopt;
    Pair pair = pair_at(first_);
    const std::size_t after = pair.end_index() + 1;
    if (after > limit_) fault("internal error: pair overruns its siblings' range");
    first_ = after;
    return pair;
}

std::optional<Pair> FlatPairs::next() {
    if (first_ >= limit_) return std::nullopt;
    Pair pair = pair_at(first_);
    const auto& tokens = queue().tokens;
    const std::size_t stop = limit_ < tokens.size() ? limit_ : tokens.size();
    do {
        ++first_;
    } while (first_ < stop && tokens[first_].kind != TokenKind::Start);
    if (first_ < limit_ && first_ == stop) first_ = limit_;
    return pair;
}

std::size_t Pairs::count() const {
    Pairs rest = *this;
    std::size_t n = 0;
    while (rest.next()) ++n;
    return n;
}

std::size_t FlatPairs::count() const {
    FlatPairs rest = *this;
    std::size_t n = 0;
    while (rest.next()) ++n;
    return n;
}

}  // namespace brelim
