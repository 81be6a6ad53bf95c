#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>

#include "../bytes/portable.hpp"
#include "internal_error.hpp"
#include "rule.hpp"
#include "token_queue.hpp"

namespace brelim {

class Pairs;
class FlatPairs;
template <class Walk>
class PairRange;

namespace detail {
[[noreturn]] BRELIM_COLD void pair_fault(const char* message);
}  // namespace detail

// One match of a normal rule: a small handle on the shared queue, the input
// it was parsed from (borrowed: it must outlive the handle) and the index of
// the pair's Start token. A Pair checks its tokens when it is made, so a
// queue that contradicts itself raises InternalError there, never a stray
// read later; the queries then read the tokens directly.
class Pair {
public:
    Pair(QueueRef queue, std::string_view input, std::size_t start_index)
        : queue_(std::move(queue)), input_(input), index_(start_index) {
        check();
    }

    Rule rule() const noexcept { return end_token().rule; }
    std::size_t start() const noexcept { return start_token().position; }
    std::size_t end() const noexcept { return end_token().position; }
    std::string_view text() const noexcept { return {input_.data() + start(), end() - start()}; }
    Pairs children() const;
    FlatPairs descendants() const;

    std::size_t end_index() const noexcept { return start_token().partner; }

private:
    template <class Walk>
    friend class PairRange;
    friend class FlatPairs;

    const Token& start_token() const noexcept { return (*queue_.get())[index_]; }
    const Token& end_token() const noexcept { return (*queue_.get())[start_token().partner]; }

    void move_to(std::size_t index) {
        index_ = index;
        check();
    }
    void check() const;

    QueueRef queue_;
    std::string_view input_;
    std::size_t index_;
};

// What Pairs and FlatPairs share: a range [first, limit) of queue indices and
// the walk over it, in which `Walk::after(pair, limit)` is the index of the
// pair that follows `pair`, or the limit when none does.
template <class Walk>
class PairRange {
public:
    PairRange(QueueRef queue, std::string_view input, std::size_t first, std::size_t limit) noexcept
        : queue_(std::move(queue)), input_(input), first_(first), limit_(limit) {}

    bool empty() const noexcept { return first_ >= limit_; }
    std::size_t first() const noexcept { return first_; }
    std::size_t limit() const noexcept { return limit_; }

    std::optional<Pair> next() {
        std::optional<Pair> pair;
        step(pair);
        return pair;
    }

    std::size_t count() const { return static_cast<std::size_t>(std::ranges::distance(*this)); }

    class iterator;
    iterator begin() const { return iterator(*this); }
    std::default_sentinel_t end() const noexcept { return {}; }

private:
    // Makes `pair` the pair at `first`, moving the handle it holds if it has
    // one, and `first` the index of the pair after it; past the last pair,
    // empties `pair`.
    void step(std::optional<Pair>& pair) {
        if (empty()) {
            pair.reset();
            return;
        }
        if (pair) {
            pair->move_to(first_);
        } else {
            pair.emplace(queue_, input_, first_);
        }
        first_ = Walk::after(*pair, limit_);
    }

    QueueRef queue_;
    std::string_view input_;
    std::size_t first_;
    std::size_t limit_;
};

// An input iterator over the pairs that next() yields. It holds one Pair whose
// index moves along, so a step costs no reference-count traffic; the Pair it
// shows is valid until the next step.
template <class Walk>
class PairRange<Walk>::iterator {
public:
    using value_type = Pair;
    using difference_type = std::ptrdiff_t;

    explicit iterator(const PairRange& range) : rest_(range) { rest_.step(current_); }
    const Pair& operator*() const noexcept { return *current_; }
    const Pair* operator->() const noexcept { return &*current_; }
    iterator& operator++() {
        rest_.step(current_);
        return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const noexcept { return !current_; }

private:
    PairRange rest_;  // the pairs after the current one
    std::optional<Pair> current_;
};

// A run of sibling pairs; each step jumps over a pair's descendants.
class Pairs : public PairRange<Pairs> {
public:
    using PairRange::PairRange;

private:
    friend PairRange;

    static std::size_t after(const Pair& pair, std::size_t limit) {
        const std::size_t after = pair.end_index() + 1;
        if (after > limit) [[unlikely]]
            detail::pair_fault("internal error: pair overruns its siblings' range");
        return after;
    }
};

// Every pair of a range of the queue, in pre-order.
class FlatPairs : public PairRange<FlatPairs> {
public:
    using PairRange::PairRange;

private:
    friend PairRange;

    // The index of the first Start token after the pair's, or the limit.
    static std::size_t after(const Pair& pair, std::size_t limit) noexcept {
        const TokenQueue& queue = *pair.queue_.get();
        const std::size_t stop = limit < queue.size() ? limit : queue.size();
        std::size_t index = pair.index_;
        do {
            ++index;
        } while (index < stop && queue[index].kind != TokenKind::Start);
        return index < stop ? index : limit;
    }
};

inline Pairs Pair::children() const { return Pairs(queue_, input_, index_ + 1, end_index()); }
inline FlatPairs Pair::descendants() const { return FlatPairs(queue_, input_, index_ + 1, end_index()); }

inline void Pair::check() const {
    const TokenQueue& tokens = *queue_.get();
    if (index_ >= tokens.size()) [[unlikely]]
        detail::pair_fault("internal error: token index outside the queue");
    const Token& start = tokens[index_];
    if (start.kind != TokenKind::Start) [[unlikely]]
        detail::pair_fault(unreachable_message);
    if (start.partner <= index_ || start.partner >= tokens.size()) [[unlikely]]
        detail::pair_fault("internal error: pair's end outside the queue");
    const Token& end = tokens[start.partner];
    if (end.kind != TokenKind::End) [[unlikely]]
        detail::pair_fault(unreachable_message);
    if (end.partner != index_) [[unlikely]]
        detail::pair_fault("internal error: token partners disagree");
    if (start.position > end.position || end.position > input_.size()) [[unlikely]]
        detail::pair_fault("internal error: pair span outside its line");
}

}  // namespace brelim
