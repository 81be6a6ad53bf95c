#include "pair.hpp"

#include "internal_error.hpp"

namespace brelim {

void detail::pair_fault(const char* message) { throw InternalError(message); }

}  // namespace brelim
