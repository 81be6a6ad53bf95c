#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace brelim {

// The growable byte buffer a fragment is written to. Its memory comes from an
// owner through a callback, so that a caller can have the fragment built
// directly inside the object it returns (the Python binding writes into the
// result str itself): appending is a bounds check and a copy, growing is rare.
class OutputBuffer {
public:
    // Makes room for at least `needed` bytes in all, keeping the first `size`;
    // returns the memory (which may have moved) and its capacity, or throws
    // std::bad_alloc.
    using Grow = char* (*)(void* owner, std::size_t size, std::size_t needed, std::size_t& capacity);

    OutputBuffer(void* owner, Grow grow) noexcept : owner_(owner), grow_(grow) {}
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    std::size_t size() const noexcept { return size_; }
    const char* data() const noexcept { return data_; }
    std::string_view view() const noexcept { return {data_, size_}; }

    // Room for `total` bytes in all, so that writing up to there never grows.
    void reserve(std::size_t total) {
        if (total > capacity_) data_ = grow_(owner_, size_, total, capacity_);
    }

    void append(const char* bytes, std::size_t n) {
        if (n > capacity_ - size_) [[unlikely]]
            make_room(n);
        if (n != 0) std::memcpy(data_ + size_, bytes, n);
        size_ += n;
    }
    void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
    void push_back(char byte) { append(&byte, 1); }

    // Room for `n` more bytes, returned as where they go; `advance` then
    // counts how many of them were written.
    char* extend(std::size_t n) {
        if (n > capacity_ - size_) [[unlikely]]
            make_room(n);
        return data_ + size_;
    }
    void advance(std::size_t n) noexcept { size_ += n; }

    // Appends a copy of `n` bytes of this buffer starting at `from`.
    void append_copy(std::size_t from, std::size_t n) {
        if (n > capacity_ - size_) [[unlikely]]
            make_room(n);
        std::memcpy(data_ + size_, data_ + from, n);
        size_ += n;
    }

private:
    void make_room(std::size_t n) {
        const std::size_t twice = capacity_ * 2;
        reserve(size_ + n > twice ? size_ + n : twice);
    }

    void* owner_;
    Grow grow_;
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// An OutputBuffer on memory of its own.
class HeapOutput : public OutputBuffer {
public:
    HeapOutput() noexcept : OutputBuffer(this, &HeapOutput::grow) {}
    ~HeapOutput();

    std::string str() const { return std::string(view()); }

private:
    static char* grow(void* self, std::size_t size, std::size_t needed, std::size_t& capacity);

    char* memory_ = nullptr;
};

}  // namespace brelim
