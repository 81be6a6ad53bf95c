#pragma once

// The rows brelim._anchors returns: one tuple for each headline with an
// anchor, built as the core's walk hands them over.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string_view>

#include "../convert/anchors.hpp"
#include "tuple_slot.hpp"

namespace brelim::binding {

// (line, column, is hashtag, target, runs script, html begin, html end,
// href size, hrefs' places, hashtag words), appended to `rows`, each tuple
// filled in place. The walk stops at the first row that cannot be made, with
// its exception set.
class AnchorRows final : public AnchorSink {
public:
    PyObject* rows = nullptr;  // owned; null when it could not be made

    // The rows of `document`'s anchors.
    explicit AnchorRows(std::string_view document) : rows(PyList_New(0)), lines_(document) {}
    AnchorRows(const AnchorRows&) = delete;
    AnchorRows& operator=(const AnchorRows&) = delete;
    ~AnchorRows() { Py_XDECREF(rows); }

    bool headline(const HeadlineAnchor& anchor) override {
        PyObject* row = PyTuple_New(10);
        if (row == nullptr) return false;
        const bool filled = fill(row, anchor) && PyList_Append(rows, row) == 0;
        Py_DECREF(row);
        return filled;
    }

private:
    // Fills the fresh `row`; what was put in it is released with the row.
    bool fill(PyObject* row, const HeadlineAnchor& anchor) {
        PyObject* hrefs = PyTuple_New(static_cast<Py_ssize_t>(anchor.hrefs->size()));
        if (!put(row, 8, hrefs)) return false;
        for (std::size_t i = 0; i < anchor.hrefs->size(); ++i) {
            if (!put(hrefs, static_cast<Py_ssize_t>(i), PyLong_FromSize_t((*anchor.hrefs)[i]))) return false;
        }
        PyObject* words = PyTuple_New(static_cast<Py_ssize_t>(anchor.hashtags->size()));
        if (!put(row, 9, words)) return false;
        for (std::size_t i = 0; i < anchor.hashtags->size(); ++i) {
            const std::string_view word = (*anchor.hashtags)[i];
            PyObject* item = PyUnicode_DecodeASCII(word.data(), static_cast<Py_ssize_t>(word.size()), nullptr);
            if (!put(words, static_cast<Py_ssize_t>(i), item)) return false;
        }
        const std::size_t numbers[] = {lines_.line_at(anchor.line_begin), anchor.column, anchor.html_begin,
                                       anchor.html_end, anchor.href_size};
        const Py_ssize_t slots[] = {0, 1, 5, 6, 7};
        for (std::size_t i = 0; i < 5; ++i) {
            if (!put(row, slots[i], PyLong_FromSize_t(numbers[i]))) return false;
        }
        const std::string_view target = anchor.target;
        return put(row, 2, PyLong_FromLong(anchor.kind == AnchorKind::hashtag ? 1 : 0)) &&
               put(row, 3, PyUnicode_DecodeUTF8(target.data(), static_cast<Py_ssize_t>(target.size()), nullptr)) &&
               put(row, 4, PyBool_FromLong(anchor.runs_script ? 1 : 0));
    }

    LineCounter lines_;
};

}  // namespace brelim::binding
