#include "pair.hpp"

#include "internal_error.hpp"

namespace brelim {

namespace detail {

void pair_fault(const char* message) { throw InternalError(message); }

}  // namespace detail

Pairs Pair::children() const { return Pairs(queue_, input_, index_ + 1, end_index()); }

FlatPairs Pair::descendants() const { return FlatPairs(queue_, input_, index_ + 1, end_index()); }

std::optional<Pair> Pairs::next() {
    if (first_ >= limit_) return std::nullopt;
    Pair pair(queue_, input_, first_);
    const std::size_t after = pair.end_index() + 1;
    if (after > limit_) detail::pair_fault("internal error: pair overruns its siblings' range");
    first_ = after;
    return pair;
}

std::optional<Pair> FlatPairs::next() {
    if (first_ >= limit_) return std::nullopt;
    Pair pair(queue_, input_, first_);
    first_ = after(*queue_.get(), first_, limit_);
    return pair;
}

std::size_t Pairs::count() const {
    std::size_t n = 0;
    for (auto it = begin(); it != end(); ++it) ++n;
    return n;
}

std::size_t FlatPairs::count() const {
    std::size_t n = 0;
    for (auto it = begin(); it != end(); ++it) ++n;
    return n;
}

}  // namespace brelim
