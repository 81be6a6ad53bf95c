#include "pair.hpp"

#include "internal_error.hpp"

namespace brelim {

namespace detail {

void pair_fault(const char* message) { throw InternalError(message); }

}  // namespace detail

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
