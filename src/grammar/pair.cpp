#include "pair.hpp"

#include "internal_error.hpp"

namespace brelim {

namespace detail {

void pair_fault(const char* message) { throw InternalError(message); }

}  // namespace detail

namespace {

template <class Range>
std::size_t count_of(const Range& range) {
    std::size_t n = 0;
    for (auto it = range.begin(); it != range.end(); ++it) ++n;
    return n;
}

}  // namespace

std::size_t Pairs::count() const { return count_of(*this); }

std::size_t FlatPairs::count() const { return count_of(*this); }

}  // namespace brelim
