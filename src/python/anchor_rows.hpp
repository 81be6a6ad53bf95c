#pragma once

// The rows brelim._anchors returns: one tuple for each headline with an
// anchor, built as the core's walk hands them over.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string_view>

#include "../convert/anchors.hpp"

namespace brelim::binding {

// (line, column, is hashtag, target, runs script, html begin, html end,
// href size, hrefs' places, hashtag words), appended to `rows`. The walk
// stops at the first row that cannot be made, with its exception set.
class AnchorRows final : public AnchorSink {
public:
    PyObject* rows = nullptr;  // owned; null when it could not be made

    AnchorRows() : rows(PyList_New(0)) {}
    AnchorRows(const AnchorRows&) = delete;
    AnchorRows& operator=(const AnchorRows&) = delete;
    ~AnchorRows() { Py_XDECREF(rows); }

    bool headline(const HeadlineAnchor& anchor) override {
        PyObject* hrefs = PyTuple_New(static_cast<Py_ssize_t>(anchor.hrefs->size()));
        if (hrefs == nullptr) return false;
        for (std::size_t i = 0; i < anchor.hrefs->size(); ++i) {
            PyObject* at = PyLong_FromSize_t((*anchor.hrefs)[i]);
            if (at == nullptr || PyTuple_SetItem(hrefs, static_cast<Py_ssize_t>(i), at) < 0) {
                Py_DECREF(hrefs);
                return false;
            }
        }
        PyObject* words = PyTuple_New(static_cast<Py_ssize_t>(anchor.hashtags->size()));
        if (words == nullptr) {
            Py_DECREF(hrefs);
            return false;
        }
        for (std::size_t i = 0; i < anchor.hashtags->size(); ++i) {
            const std::string_view word = (*anchor.hashtags)[i];
            PyObject* item = PyUnicode_DecodeASCII(word.data(), static_cast<Py_ssize_t>(word.size()), nullptr);
            if (item == nullptr || PyTuple_SetItem(words, static_cast<Py_ssize_t>(i), item) < 0) {
                Py_DECREF(hrefs);
                Py_DECREF(words);
                return false;
            }
        }
        // "N" hands both tuples to the row, also when building it fails.
        PyObject* row = Py_BuildValue(
            "(nnis#Onnn NN)", static_cast<Py_ssize_t>(anchor.line), static_cast<Py_ssize_t>(anchor.column),
            anchor.kind == AnchorKind::hashtag ? 1 : 0, anchor.target.data(),
            static_cast<Py_ssize_t>(anchor.target.size()), anchor.runs_script ? Py_True : Py_False,
            static_cast<Py_ssize_t>(anchor.html_begin), static_cast<Py_ssize_t>(anchor.html_end),
            static_cast<Py_ssize_t>(anchor.href_size), hrefs, words);
        if (row == nullptr) return false;
        const int appended = PyList_Append(rows, row);
        Py_DECREF(row);
        return appended == 0;
    }
};

}  // namespace brelim::binding
