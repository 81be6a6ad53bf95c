#include "token_queue.hpp"

namespace brelim {

void QueueRef::destroy(TokenQueue* queue) noexcept { delete queue; }

}  // namespace brelim
