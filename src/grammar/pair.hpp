#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>

#include "internal_error.hpp"
#include "rule.hpp"
#include "token_queue.hpp"

namespace brelim {

class Pairs;
class FlatPairs;

namespace detail {
[[noreturn, gnu::cold]] void pair_fault(const char* message);
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

    std::size_t start_index() const noexcept { return index_; }
    std::size_t end_index() const noexcept { return start_token().partner; }

private:
    friend class Pairs;
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

// Shared state of Pairs and FlatPairs: a range [first, limit) of queue indices.
class PairRange {
public:
    PairRange(QueueRef queue, std::string_view input, std::size_t first, std::size_t limit) noexcept
        : queue_(std::move(queue)), input_(input), first_(first), limit_(limit) {}

    bool empty() const noexcept { return first_ >= limit_; }
    std::size_t first() const noexcept { return first_; }
    std::size_t limit() const noexcept { return limit_; }

protected:
    QueueRef queue_;
    std::string_view input_;
    std::size_t first_;
    std::size_t limit_;
};

// A run of sibling pairs; each step jumps over a pair's descendants.
class Pairs : public PairRange {
public:
    using PairRange::PairRange;

    std::optional<Pair> next();
    std::size_t count() const;

    class iterator;
    iterator begin() const;
    std::default_sentinel_t end() const noexcept { return {}; }
};

// Every pair of a range of the queue, in pre-order.
class FlatPairs : public PairRange {
public:
    using PairRange::PairRange;

    std::optional<Pair> next();
    std::size_t count() const;

    class iterator;
    iterator begin() const;
    std::default_sentinel_t end() const noexcept { return {}; }

private:
    // The index of the first Start token after `index`, or the limit.
    static std::size_t after(const TokenQueue& queue, std::size_t index, std::size_t limit) noexcept {
        const std::size_t stop = limit < queue.size() ? limit : queue.size();
        do {
            ++index;
        } while (index < stop && queue[index].kind != TokenKind::Start);
        return index < stop ? index : limit;
    }
};

// Input iterators over the pairs that next() yields. Each holds one Pair whose
// index moves along, so a step costs no reference-count traffic; the Pair it
// shows is valid until the next step.
class Pairs::iterator {
public:
    using value_type = Pair;
    using difference_type = std::ptrdiff_t;

    explicit iterator(const Pairs& range) : limit_(range.limit_) {
        if (range.first_ < limit_) current_.emplace(range.queue_, range.input_, range.first_);
        check_fits();
    }
    const Pair& operator*() const noexcept { return *current_; }
    const Pair* operator->() const noexcept { return &*current_; }
    iterator& operator++() {
        const std::size_t next = current_->end_index() + 1;
        if (next >= limit_) {
            current_.reset();
        } else {
            current_->move_to(next);
            check_fits();
        }
        return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const noexcept { return !current_; }

private:
    void check_fits() const {
        if (current_ && current_->end_index() >= limit_) [[unlikely]]
            detail::pair_fault("internal error: pair overruns its siblings' range");
    }

    std::optional<Pair> current_;
    std::size_t limit_;
};

class FlatPairs::iterator {
public:
    using value_type = Pair;
    using difference_type = std::ptrdiff_t;

    explicit iterator(const FlatPairs& range)
        : tokens_(range.queue_->begin()),
          stop_(range.limit_ < range.queue_->size() ? range.limit_ : range.queue_->size()) {
        if (range.first_ < range.limit_) current_.emplace(range.queue_, range.input_, range.first_);
    }
    const Pair& operator*() const noexcept { return *current_; }
    const Pair* operator->() const noexcept { return &*current_; }
    iterator& operator++() {
        std::size_t next = current_->index_ + 1;
        while (next < stop_ && tokens_[next].kind != TokenKind::Start) ++next;
        if (next >= stop_) {
            current_.reset();
        } else {
            current_->move_to(next);
        }
        return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const noexcept { return !current_; }

private:
    // The queue cannot change while a handle holds it, so its tokens stay put.
    const Token* tokens_;
    std::size_t stop_;  // the range's limit, or the queue's end if that comes first
    std::optional<Pair> current_;
};

inline Pairs::iterator Pairs::begin() const { return iterator(*this); }

inline Pairs Pair::children() const { return Pairs(queue_, input_, index_ + 1, end_index()); }
inline FlatPairs Pair::descendants() const { return FlatPairs(queue_, input_, index_ + 1, end_index()); }

inline std::optional<Pair> Pairs::next() {
    if (first_ >= limit_) return std::nullopt;
    Pair pair(queue_, input_, first_);
    const std::size_t after = pair.end_index() + 1;
    if (after > limit_) [[unlikely]]
        detail::pair_fault("internal error: pair overruns its siblings' range");
    first_ = after;
    return pair;
}

inline std::optional<Pair> FlatPairs::next() {
    if (first_ >= limit_) return std::nullopt;
    Pair pair(queue_, input_, first_);
    first_ = after(*queue_.get(), first_, limit_);
    return pair;
}
inline FlatPairs::iterator FlatPairs::begin() const { return iterator(*this); }

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
