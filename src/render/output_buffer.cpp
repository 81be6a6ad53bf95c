#include "output_buffer.hpp"

#include <cstdlib>
#include <new>

namespace brelim {

HeapOutput::~HeapOutput() { std::free(memory_); }

char* HeapOutput::grow(void* self, std::size_t, std::size_t needed, std::size_t& capacity) {
    auto* output = static_cast<HeapOutput*>(self);
    // realloc keeps what was written; for large blocks it remaps instead of copying.
    void* memory = std::realloc(output->memory_, needed);
    if (memory == nullptr) throw std::bad_alloc();
    output->memory_ = static_cast<char*>(memory);
    capacity = needed;
    return output->memory_;
}

}  // namespace brelim
