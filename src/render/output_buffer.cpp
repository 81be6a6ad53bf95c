#include "output_buffer.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#define BRELIM_MAP_LARGE 1
#endif

namespace brelim {

namespace {

#ifdef BRELIM_MAP_LARGE
// Past glibc's largest mmap threshold a block is mapped afresh on every call
// anyway, and each of its 4 KiB pages faulted in on first touch. Mapped here
// with transparent huge pages it costs a fault per 2 MiB instead, and grows
// in place.
constexpr std::size_t map_from = std::size_t{32} << 20;
constexpr std::size_t huge_page = std::size_t{2} << 20;
#endif

}  // namespace

OutputBuffer::~OutputBuffer() {
#ifdef BRELIM_MAP_LARGE
    if (mapped_) {
        munmap(data_, capacity_);
        return;
    }
#endif
    if (on_heap()) std::free(data_);
}

void OutputBuffer::reserve(std::size_t total) {
    if (total <= capacity_) return;
    if (lender_ != nullptr && borrow(total)) return;
#ifdef BRELIM_MAP_LARGE
    if (total >= map_from) {
        if (total > SIZE_MAX - huge_page) throw std::bad_alloc();
        const std::size_t size = (total + huge_page - 1) / huge_page * huge_page;
        void* memory = mapped_ ? mremap(data_, capacity_, size, MREMAP_MAYMOVE)
                               : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
        madvise(memory, size, MADV_HUGEPAGE);  // a hint: without it, the pages are just small
        if (!mapped_) {
            if (size_ != 0) std::memcpy(memory, data_, size_);
            if (on_heap()) std::free(data_);
            mapped_ = true;
            lent_ = false;
        }
        data_ = static_cast<char*>(memory);
        capacity_ = size;
        return;
    }
#endif
    void* memory = on_heap() ? std::realloc(data_, total) : std::malloc(total);
    if (memory == nullptr) throw std::bad_alloc();
    if (!on_heap() && size_ != 0) std::memcpy(memory, data_, size_);
    data_ = static_cast<char*>(memory);
    capacity_ = total;
    lent_ = false;
}

// Moves into the lender's storage or grows it. Once refused, the buffer
// forgets the lender; reserve then copies the bytes out of what was lent.
bool OutputBuffer::borrow(std::size_t total) noexcept {
    char* memory = lender_->lend(total);
    if (memory == nullptr) {
        lender_ = nullptr;
        return false;
    }
    if (!lent_ && size_ != 0) std::memcpy(memory, data_, size_);
    data_ = memory;
    capacity_ = total;
    lent_ = true;
    return true;
}

void OutputBuffer::make_room(std::size_t n) {
    if (n > SIZE_MAX - size_) throw std::bad_alloc();
    const std::size_t twice = capacity_ > SIZE_MAX / 2 ? SIZE_MAX : capacity_ * 2;
    reserve(size_ + n > twice ? size_ + n : twice);
}

}  // namespace brelim
