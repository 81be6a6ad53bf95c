#pragma once

#include <stdexcept>

namespace brelim {

// A parse tree that contradicts itself. Well-formed trees never raise it; the
// Python binding turns it into PanicException instead of crashing.
class InternalError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// The message for a token of the wrong kind where the tree promises another.
inline constexpr const char* unreachable_message = "internal error: entered unreachable code";

}  // namespace brelim
