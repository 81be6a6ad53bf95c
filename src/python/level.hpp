#pragma once

// brelim._level(): the name of the level of the byte layer the module runs
// at, so that benchmarks and bug reports can say which code ran. Private:
// not in __all__.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "../bytes/simd.hpp"

namespace brelim::binding {

inline PyObject* level(PyObject* /*module*/, PyObject* /*unused*/) {
    const std::string_view name = simd::level_name(simd::active_level());
    return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

inline PyMethodDef level_def = {
    .ml_name = "_level",
    .ml_meth = level,
    .ml_flags = METH_NOARGS,
    .ml_doc =
        "_level()\n--\n\n"
        "The name of the level of the byte layer the module runs at, such as 'ssse3' or 'neon'.",
};

}  // namespace brelim::binding
