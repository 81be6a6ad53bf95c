#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "../bytes/copy_bytes.hpp"

namespace brelim {

// Storage that a buffer's user lends it to write into, such as the object
// the fragment is returned in, so that the fragment is not copied there at
// the end. Kept free of any interpreter's types.
class StorageLender {
public:
    // Storage for `total` bytes: the first call hands out new storage, later
    // calls grow it, keeping its bytes. Null when the lender cannot or will
    // not; the storage lent so far then stays as it was, and the buffer
    // moves its bytes to storage of its own and asks no more.
    virtual char* lend(std::size_t total) noexcept = 0;

protected:
    ~StorageLender() = default;
};

// The growable byte buffer a fragment is written to: appending is a bounds
// check and a copy, growing (realloc, which remaps large blocks rather than
// copying them) is rare. A small fragment stays in the buffer itself and
// costs no allocation at all.
class OutputBuffer {
public:
    OutputBuffer() noexcept = default;
    // Writes into the lender's storage once the buffer's own inline room is
    // outgrown, for as long as the lender grants it; the lender outlives
    // the buffer and keeps its storage.
    explicit OutputBuffer(StorageLender& lender) noexcept : lender_(&lender) {}
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    ~OutputBuffer();

    std::size_t size() const noexcept { return size_; }
    const char* data() const noexcept { return data_; }
    std::string_view view() const noexcept { return {data_, size_}; }
    std::string str() const { return std::string(view()); }
    // Whether the bytes are in the lender's storage (else in the buffer's own).
    bool in_lent_storage() const noexcept { return lent_; }

    // Room for `total` bytes in all, so that writing up to there never grows.
    // Throws std::bad_alloc.
    void reserve(std::size_t total);

    void append(const char* bytes, std::size_t n) {
        if (n > capacity_ - size_) [[unlikely]]
            make_room(n);
        copy_bytes(data_ + size_, bytes, n);
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
    // Drops the bytes from `size` on, which is at most size().
    void truncate(std::size_t size) noexcept { size_ = size; }

    // Appends a copy of `n` bytes of this buffer starting at `from`.
    void append_copy(std::size_t from, std::size_t n) {
        if (n > capacity_ - size_) [[unlikely]]
            make_room(n);
        copy_bytes(data_ + size_, data_ + from, n);
        size_ += n;
    }

private:
    void make_room(std::size_t n);

    // Holds the fragment of a note of up to 1.5 KB, which the conversion
    // reserves a quarter more than the document for.
    static constexpr std::size_t inline_capacity = 2048;

    bool on_heap() const noexcept { return data_ != inline_ && !lent_; }
    bool borrow(std::size_t total) noexcept;

    char* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = inline_capacity;
    // Mapped by the buffer itself rather than allocated; only Linux maps.
    [[maybe_unused]] bool mapped_ = false;
    bool lent_ = false;
    StorageLender* lender_ = nullptr;
    char inline_[inline_capacity];
};

}  // namespace brelim
