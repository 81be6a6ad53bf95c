#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>

#include "rule.hpp"
#include "token_queue.hpp"

namespace brelim {

class Pairs;
class FlatPairs;

// One match of a normal rule: a small handle on the shared queue, the input
// it was parsed from (borrowed: it must outlive the handle) and the index of
// the pair's Start token. Every query checks the tokens it reads, so a queue
// that contradicts itself raises InternalError instead of reading astray.
class Pair {
public:
    Pair(QueueRef queue, std::string_view input, std::size_t start_index) noexcept
        : queue_(std::move(queue)), input_(input), index_(start_index) {}

    Rule rule() const { return end_token().rule; }
    std::size_t start() const { return start_token().position; }
    std::size_t end() const { return end_token().position; }
    std::string_view text() const;
    Pairs children() const;
    FlatPairs descendants() const;

    std::size_t start_index() const noexcept { return index_; }
    std::size_t end_index() const { return start_token().partner; }

private:
    const Token& start_token() const;
    const Token& end_token() const;

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
    Pair pair_at(std::size_t index) const { return Pair(queue_, input_, index); }
    const TokenQueue& queue() const noexcept { return *queue_.get(); }

    QueueRef queue_;
    std::string_view input_;
    std::size_t first_;
    std::size_t limit_;
};

// A run of sibling pairs; iteration jumps over each pair's descendants.
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
};

// Input iterators that yield what next() yields; a copy of the range is kept
// so the queue stays alive while iterating.
class Pairs::iterator {
public:
    using value_type = Pair;
    using difference_type = std::ptrdiff_t;

    explicit iterator(Pairs range) : range_(std::move(range)) { ++*this; }
    const Pair& operator*() const { return *current_; }
    const Pair* operator->() const { return &*current_; }
    iterator& operator++() {
        current_ = range_.next();
        return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const noexcept { return !current_; }

private:
    Pairs range_;
    std::optional<Pair> current_;
};

class FlatPairs::iterator {
public:
    using value_type = Pair;
    using difference_type = std::ptrdiff_t;

    explicit iterator(FlatPairs range) : range_(std::move(range)) { ++*this; }
    const Pair& operator*() const { return *current_; }
    const Pair* operator->() const { return &*current_; }
    iterator& operator++() {
        current_ = range_.next();
        return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const noexcept { return !current_; }

private:
    FlatPairs range_;
    std::optional<Pair> current_;
};

inline Pairs::iterator Pairs::begin() const { return iterator(*this); }
inline FlatPairs::iterator FlatPairs::begin() const { return iterator(*this); }

}  // namespace brelim
