#pragma once

// The result str: the buffer a fragment is written to, and the str it is
// returned as. The fragment is ASCII by construction: the grammar accepts
// nothing else.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstring>

#include "../render/output_buffer.hpp"

namespace brelim::binding {

#ifdef Py_LIMITED_API
// The limited API has no writable str, so the fragment is decoded from the
// buffer, which copies it and checks it again.
inline PyObject* copied_str(const OutputBuffer& html) {
    if (html.size() > static_cast<std::size_t>(PY_SSIZE_T_MAX)) return PyErr_NoMemory();
    return PyUnicode_DecodeASCII(html.data(), static_cast<Py_ssize_t>(html.size()), nullptr);
}

class ResultStr {
public:
    OutputBuffer& buffer() noexcept { return html_; }

    // The fragment as a new str; null with an exception set.
    PyObject* release() { return copied_str(html_); }

private:
    OutputBuffer html_;
};
#else
// The full API copies the fragment into a new str, unchecked.
inline PyObject* copied_str(const OutputBuffer& html) {
    if (html.size() > static_cast<std::size_t>(PY_SSIZE_T_MAX)) return PyErr_NoMemory();
    PyObject* result = PyUnicode_New(static_cast<Py_ssize_t>(html.size()), 127);
    if (result == nullptr) return nullptr;
    std::memcpy(PyUnicode_1BYTE_DATA(result), html.data(), html.size());
    return result;
}

// The result str lent to the output buffer as its storage, so that a
// fragment is written where it is returned, with no copy.
//
// Only up to 124 KiB, which with the str's header stays under 128 KiB,
// glibc's lowest mmap threshold (other allocators pool blocks of that size
// too): a block that size comes from the heap and goes back to it, warm for
// the next call. A larger one may be mapped afresh, and the str cut to its
// fragment, when freed, raises glibc's threshold only to its own size, below
// the next call's reservation, so every call would map the reservation and
// fault its pages in again, which costs more than the copy. Larger fragments
// are built in the buffer's own storage, which malloc hands back warm, and
// copied.
class LentStr final : public StorageLender {
public:
    static constexpr std::size_t limit = std::size_t{124} << 10;

    LentStr() noexcept = default;
    LentStr(const LentStr&) = delete;
    LentStr& operator=(const LentStr&) = delete;
    ~LentStr() { Py_XDECREF(str_); }

    // A failure to make or grow the str is not reported: the buffer moves to
    // storage of its own, and reports a failure of that.
    char* lend(std::size_t total) noexcept override {
        if (total > limit) return nullptr;
        const auto length = static_cast<Py_ssize_t>(total);
        if (str_ == nullptr) {
            str_ = PyUnicode_New(length, 127);
            if (str_ == nullptr) {
                PyErr_Clear();
                return nullptr;
            }
        } else if (PyUnicode_Resize(&str_, length) < 0) {  // keeps the str as it was
            PyErr_Clear();
            return nullptr;
        }
        return static_cast<char*>(PyUnicode_DATA(str_));
    }

    // The str cut to the fragment's `size` and handed over; null with an
    // exception set.
    PyObject* release(std::size_t size) {
        if (PyUnicode_Resize(&str_, static_cast<Py_ssize_t>(size)) < 0) return nullptr;
        PyObject* result = str_;
        str_ = nullptr;
        return result;
    }

private:
    PyObject* str_ = nullptr;
};

class ResultStr {
public:
    OutputBuffer& buffer() noexcept { return html_; }

    // The fragment as a str, the lent one or a new copy; null with an
    // exception set.
    PyObject* release() { return html_.in_lent_storage() ? lent_.release(html_.size()) : copied_str(html_); }

private:
    LentStr lent_;  // declared first: the lender outlives the buffer
    OutputBuffer html_{lent_};
};
#endif

}  // namespace brelim::binding
