#include "output_buffer.hpp"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace brelim {

OutputBuffer::~OutputBuffer() { std::free(data_); }

void OutputBuffer::reserve(std::size_t total) {
    if (total <= capacity_) return;
    void* memory = std::realloc(data_, total);
    if (memory == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(memory);
    capacity_ = total;
}

void OutputBuffer::make_room(std::size_t n) {
    if (n > SIZE_MAX - size_) throw std::bad_alloc();
    const std::size_t twice = capacity_ > SIZE_MAX / 2 ? SIZE_MAX : capacity_ * 2;
    reserve(size_ + n > twice ? size_ + n : twice);
}

}  // namespace brelim
