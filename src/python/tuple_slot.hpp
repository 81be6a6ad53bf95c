#pragma once

// Filling a fresh tuple of a result, slot by slot.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace brelim::binding {

// Puts `value` (owned; null when it could not be made) into the fresh
// tuple's slot, which takes it even when that fails. False with an
// exception set when it could not.
inline bool put(PyObject* tuple, Py_ssize_t slot, PyObject* value) {
    return value != nullptr && PyTuple_SetItem(tuple, slot, value) == 0;
}

}  // namespace brelim::binding
