#pragma once

#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "token.hpp"

namespace brelim {

// The tokens of one parse. After a successful parse it is read-only and shared
// by every handle made from it, through a count that is deliberately not
// atomic: a tree and its handles stay on the thread that made them.
class TokenQueue {
public:
    std::size_t size() const noexcept { return size_; }
    const Token& operator[](std::size_t index) const noexcept { return storage_[index]; }

    // A tree made by hand, for tests of the views.
    void assign(std::initializer_list<Token> tokens) {
        storage_.assign(tokens);
        size_ = storage_.size();
    }
    Token& mutable_at(std::size_t index) noexcept { return storage_[index]; }

private:
    friend class QueueRef;
    friend struct ParserState;

    std::vector<Token> storage_;  // as long as the capacity; [0, size_) holds the tokens
    std::size_t size_ = 0;
    std::size_t refs_ = 0;
};

// Owning handle on a TokenQueue; the queue is released with the last handle.
class QueueRef {
public:
    QueueRef() = default;
    static QueueRef make() { return QueueRef(new TokenQueue); }

    QueueRef(const QueueRef& other) noexcept : queue_(other.queue_) { retain(); }
    QueueRef(QueueRef&& other) noexcept : queue_(std::exchange(other.queue_, nullptr)) {}
    // Copy or move, then swap: the queue held before goes with `other`.
    QueueRef& operator=(QueueRef other) noexcept {
        std::swap(queue_, other.queue_);
        return *this;
    }
    ~QueueRef() { release(); }

    TokenQueue* get() const noexcept { return queue_; }
    TokenQueue* operator->() const noexcept { return queue_; }
    // True when this handle is the only one: the queue may then be reused.
    bool unique() const noexcept { return queue_ != nullptr && queue_->refs_ == 1; }

private:
    explicit QueueRef(TokenQueue* queue) noexcept : queue_(queue) { retain(); }
    void retain() const noexcept {
        if (queue_) ++queue_->refs_;
    }
    void release() noexcept {
        if (queue_ && --queue_->refs_ == 0) destroy(queue_);
    }

    // Out of line: the last release is rare, and an inlined delete misleads
    // GCC's use-after-free warning at every handle nearby.
    static void destroy(TokenQueue* queue) noexcept;

    TokenQueue* queue_ = nullptr;
};

}  // namespace brelim
