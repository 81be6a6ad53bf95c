#pragma once

// Reading a call's argument: parse_string's one parameter, and a str's UTF-8
// bytes, borrowed where the str lends them.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <string_view>

namespace brelim::binding {

// The argument, borrowed, or null with TypeError set. The one parameter is
// `str`, given by position or by keyword. Checked by hand: the limited API
// has no parser for the vector calling convention, and the messages are fixed.
inline PyObject* the_argument(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (nargs > 1) {
        PyErr_Format(PyExc_TypeError, "parse_string() takes 1 positional arguments but %zd were given", nargs);
        return nullptr;
    }
    PyObject* value = nargs == 1 ? args[0] : nullptr;
    const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
    if (keywords < 0) return nullptr;
    for (Py_ssize_t i = 0; i < keywords; ++i) {
        PyObject* name = PyTuple_GetItem(kwnames, i);
        if (name == nullptr) return nullptr;
        if (!PyUnicode_Check(name)) {
            PyErr_SetString(PyExc_TypeError, "keywords must be strings");
            return nullptr;
        }
        if (PyUnicode_CompareWithASCIIString(name, "str") != 0) {
            PyErr_Format(PyExc_TypeError, "parse_string() got an unexpected keyword argument '%U'", name);
            return nullptr;
        }
        if (value != nullptr) {
            PyErr_SetString(PyExc_TypeError, "parse_string() got multiple values for argument 'str'");
            return nullptr;
        }
        value = args[nargs + i];
    }
    if (value == nullptr) {
        PyErr_SetString(PyExc_TypeError, "parse_string() missing 1 required positional argument: 'str'");
        return nullptr;
    }
    return value;
}

// Raises the TypeError for an argument that is not a str, naming its type by
// qualified name. The conversion error it stands for has no cause, so
// neither has this one.
inline PyObject* raise_not_a_string(PyObject* value) {
    PyObject* qualname = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__qualname__");
    if (qualname == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError, "argument 'str': '%S' object cannot be converted to 'PyString'", qualname);
    Py_DECREF(qualname);
    return nullptr;
}

#ifdef Py_LIMITED_API
// The limited API has no view of a str's storage, so ASCII is asked of
// str.isascii (constant time: CPython keeps the answer as a flag). It is
// called straight from str's own method table, which a subclass cannot
// override, rather than through the interpreter, whose call machinery costs
// four times the rest of the argument handling.
inline PyCFunction str_isascii = nullptr;

// Finds str.isascii, once, at initialisation; -1 with ImportError set when
// str has none.
inline int prepare_is_ascii() {
    const auto* method = static_cast<const PyMethodDef*>(PyType_GetSlot(&PyUnicode_Type, Py_tp_methods));
    if (method == nullptr && PyErr_Occurred()) return -1;
    for (; method != nullptr && method->ml_name != nullptr; ++method) {
        if (std::strcmp(method->ml_name, "isascii") == 0 && method->ml_flags == METH_NOARGS) {
            str_isascii = method->ml_meth;
            return 0;
        }
    }
    PyErr_SetString(PyExc_ImportError, "brelim needs str.isascii as a method without arguments");
    return -1;
}

// 1 if the str is ASCII, 0 if not, -1 with an exception set.
inline int is_ascii(PyObject* str) {
    PyObject* answer = str_isascii(str, nullptr);
    if (answer == nullptr) return -1;
    const int ascii = answer == Py_True;
    Py_DECREF(answer);
    return ascii;
}
#else
inline int prepare_is_ascii() { return 0; }

inline int is_ascii(PyObject* str) { return PyUnicode_IS_ASCII(str) ? 1 : 0; }
#endif

// The UTF-8 text of a str. An ASCII str lends its own bytes (no copy, no
// cache added to the caller's object); any other gets a temporary copy that
// `owner` keeps alive.
struct Utf8Text {
    PyObject* owner = nullptr;
    std::string_view view;

    Utf8Text() = default;
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
    ~Utf8Text() { Py_XDECREF(owner); }

    bool load(PyObject* str) {
        const int ascii = is_ascii(str);
        if (ascii < 0) return false;
        if (ascii) {
            Py_ssize_t size = 0;
            const char* data = PyUnicode_AsUTF8AndSize(str, &size);
            if (data == nullptr) return false;
            view = std::string_view(data, static_cast<std::size_t>(size));
            return true;
        }
        owner = PyUnicode_AsUTF8String(str);  // raises UnicodeEncodeError on lone surrogates
        if (owner == nullptr) return false;
        char* data = nullptr;
        Py_ssize_t size = 0;
        if (PyBytes_AsStringAndSize(owner, &data, &size) < 0) return false;
        view = std::string_view(data, static_cast<std::size_t>(size));
        return true;
    }
};

// A private function's one argument, which must be a str, as UTF-8; false
// with TypeError "NAME() takes a str", or the load's exception, set.
inline bool load_str_argument(PyObject* value, const char* name, Utf8Text& text) {
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s() takes a str", name);
        return false;
    }
    return text.load(value);
}

}  // namespace brelim::binding
