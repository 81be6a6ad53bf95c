// The binding: the `brelim` extension module, one public function,
// parse_string(str) -> str, its exception type, the command's private
// functions, and the module's single-phase initialisation. Reading the
// argument is argument.hpp's; the result str, result_str.hpp's; the level it
// runs at, level.hpp's.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <exception>
#include <iterator>
#include <new>
#include <string_view>

#include "../convert/fragment_size.hpp"
#include "../convert/parse_file.hpp"
#include "../reading/left_out_lines.hpp"
#include "anchor_rows.hpp"
#include "argument.hpp"
#include "guarded.hpp"
#include "level.hpp"
#include "result_str.hpp"
#include "site_page.hpp"

namespace {

namespace binding = brelim::binding;

PyDoc_STRVAR(module_doc, "Converts outline documents into HTML fragments of nested lists.");

// The module keeps process-wide state (the exception type below), so it is
// built once per process: a second initialisation, after removal from
// sys.modules or in a sub-interpreter, is refused.
std::atomic<bool> initialised{false};

PyObject* parse_string(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* value = binding::the_argument(args, nargs, kwnames);
    if (value == nullptr) return nullptr;
    if (!PyUnicode_Check(value)) return binding::raise_not_a_string(value);

    binding::Utf8Text document;
    if (!document.load(value)) return nullptr;
    binding::ResultStr result;
    if (!binding::guarded([&] { brelim::parse_file(document.view, result.buffer()); })) return nullptr;
    return result.release();
}

PyMethodDef parse_string_def = {
    .ml_name = "parse_string",
    .ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(parse_string)),
    .ml_flags = METH_FASTCALL | METH_KEYWORDS,
    .ml_doc = "parse_string(str)\n--\n\n",
};

// brelim._left_out(document): for the command's report, the lines that start
// like a headline of level 1 to 3 and are left out, as (line index, byte
// offset in the line's UTF-8, reason code) tuples. Private: not in __all__.
PyObject* left_out(PyObject* /*module*/, PyObject* value) {
    binding::Utf8Text document;
    if (!binding::load_str_argument(value, "_left_out", document)) return nullptr;
    PyObject* found = PyList_New(0);
    if (found == nullptr) return nullptr;
    const bool complete = brelim::for_each_left_out(
        document.view, [found](std::size_t line, std::size_t at, brelim::LeftOutReason reason) {
            PyObject* row = Py_BuildValue("(nni)", static_cast<Py_ssize_t>(line), static_cast<Py_ssize_t>(at),
                                          static_cast<int>(reason));
            if (row == nullptr) return false;
            const int appended = PyList_Append(found, row);
            Py_DECREF(row);
            return appended == 0;
        });
    if (!complete) {
        Py_DECREF(found);
        return nullptr;
    }
    return found;
}

PyMethodDef left_out_def = {
    .ml_name = "_left_out",
    .ml_meth = left_out,
    .ml_flags = METH_O,
    .ml_doc =
        "_left_out(document, /)\n--\n\n"
        "The lines left out though they start like a headline of level 1 to 3:\n"
        "(line index, byte offset in the line's UTF-8, reason code) tuples.",
};

// brelim._fragment_size(document, limit): for the command's guard against
// pages it cannot hold, the size parse_string's result would have, measured
// by the conversion's own reading without building it. Private: not in
// __all__. See the stub for the contract.
PyObject* fragment_size(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 2 || !PyUnicode_Check(args[0]) || !PyLong_Check(args[1])) {
        PyErr_SetString(PyExc_TypeError, "_fragment_size() takes a str and an int");
        return nullptr;
    }
    const std::size_t limit = PyLong_AsSize_t(args[1]);  // OverflowError when negative or too large
    if (limit == static_cast<std::size_t>(-1) && PyErr_Occurred()) return nullptr;
    binding::Utf8Text document;
    if (!document.load(args[0])) return nullptr;
    const brelim::FragmentSize measured = brelim::measure_fragment(document.view, limit);
    PyObject* line = nullptr;
    if (measured.largest_line == brelim::FragmentSize::none) {
        line = Py_NewRef(Py_None);
    } else {
        line = PyLong_FromSize_t(measured.largest_line);
        if (line == nullptr) return nullptr;
    }
    // "N" hands the line's reference to the tuple, also when building it fails.
    return Py_BuildValue("(KNO)", static_cast<unsigned long long>(measured.size), line,
                         measured.label_carried_over ? Py_True : Py_False);
}

PyMethodDef fragment_size_def = {
    .ml_name = "_fragment_size",
    .ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fragment_size)),
    .ml_flags = METH_FASTCALL,
    .ml_doc =
        "_fragment_size(document, limit, /)\n--\n\n"
        "The size of parse_string(document) without building it, stopping past `limit`:\n"
        "(size, and past the limit the line of the largest item and whether it repeats a carried label).",
};

// brelim._anchors(document): for the command's site, each headline of the
// fragment that has an anchor, with what a page needs to point it elsewhere
// without reading the format again (anchor_rows.hpp). Private: not in
// __all__. See the stub.
PyObject* anchors(PyObject* /*module*/, PyObject* value) {
    binding::Utf8Text document;
    if (!binding::load_str_argument(value, "_anchors", document)) return nullptr;
    binding::AnchorRows rows(document.view);
    if (rows.rows == nullptr) return nullptr;
    std::size_t count = brelim::stopped;
    if (!binding::guarded([&] { count = brelim::for_each_anchor(document.view, rows); }) || count == brelim::stopped) {
        return nullptr;
    }
    return Py_BuildValue("(nO)", static_cast<Py_ssize_t>(count), rows.rows);
}

PyMethodDef anchors_def = {
    .ml_name = "_anchors",
    .ml_meth = anchors,
    .ml_flags = METH_O,
    .ml_doc =
        "_anchors(document, /)\n--\n\n"
        "The fragment's headline count, and a row for each headline with an anchor.",
};

PyModuleDef module_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "brelim",
    .m_doc = module_doc,
    .m_size = 0,
    .m_methods = nullptr,  // parse_string is added after creation, see add_function
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

// Appends the function's name to the module's __all__, creating the list
// when the module has none yet.
int export_name(PyObject* module, PyObject* name) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr) return -1;
        if (PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_DECREF(all);
            return -1;
        }
    }
    const int appended = PyList_Append(all, name);
    Py_DECREF(all);
    return appended;
}

// Added after creation rather than listed in m_methods, so that it goes into
// __all__ under the name the function object itself reports.
int add_function(PyObject* module) {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return -1;
    PyObject* function = PyCFunction_NewEx(&parse_string_def, module, module_name);
    Py_DECREF(module_name);
    if (function == nullptr) return -1;
    PyObject* name = PyObject_GetAttrString(function, "__name__");
    int status = -1;
    if (name != nullptr && export_name(module, name) == 0) {
        status = PyObject_SetAttr(module, name, function);
    }
    Py_XDECREF(name);
    Py_DECREF(function);
    return status;
}

int add_private_function(PyObject* module, PyMethodDef* definition) {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return -1;
    PyObject* function = PyCFunction_NewEx(definition, module, module_name);
    Py_DECREF(module_name);
    if (function == nullptr) return -1;
    const int status = PyModule_AddObjectRef(module, definition->ml_name, function);
    Py_DECREF(function);
    return status;
}

// brelim._left_out_reasons: the names of _left_out's reason codes, indexed
// by code, for the command's report.
int add_left_out_reasons(PyObject* module) {
    constexpr auto count = static_cast<Py_ssize_t>(std::size(brelim::left_out_reason_names));
    PyObject* names = PyTuple_New(count);
    if (names == nullptr) return -1;
    for (Py_ssize_t code = 0; code < count; ++code) {
        const std::string_view name = brelim::left_out_reason_names[code];
        PyObject* item = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
        if (item == nullptr || PyTuple_SetItem(names, code, item) < 0) {  // the tuple owns the item, even on failure
            Py_DECREF(names);
            return -1;
        }
    }
    const int status = PyModule_AddObjectRef(module, "_left_out_reasons", names);
    Py_DECREF(names);
    return status;
}

int add_panic_exception(PyObject* module) {
    PyObject*& panic_exception = binding::panic_exception;
    if (panic_exception == nullptr) {
        panic_exception = PyErr_NewExceptionWithDoc(
            "brelim.PanicException", "An internal fault of the conversion; never raised for well-formed input.",
            PyExc_BaseException, nullptr);
        if (panic_exception == nullptr) return -1;
    }
    return PyModule_AddObjectRef(module, "PanicException", panic_exception);
}

}  // namespace

PyMODINIT_FUNC PyInit_brelim(void) {
    // The API version a build on the full API passes (PyModule_Create passes
    // the ABI version on the limited API); the interpreter accepts either.
    PyObject* module = PyModule_Create2(&module_def, PYTHON_API_VERSION);
    if (module == nullptr) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return nullptr;
    }
#ifdef Py_GIL_DISABLED
    // Each call reads its own argument and builds its own result, so calls
    // may run side by side on an interpreter without the GIL.
    if (PyUnstable_Module_SetGIL(module, Py_MOD_GIL_NOT_USED) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
#endif
    if (initialised.exchange(true)) {
        Py_DECREF(module);
        PyErr_SetString(PyExc_ImportError, "brelim may be initialised only once per interpreter process");
        return nullptr;
    }
    if (binding::prepare_is_ascii() < 0 || add_panic_exception(module) < 0 || add_function(module) < 0 ||
        add_private_function(module, &left_out_def) < 0 || add_left_out_reasons(module) < 0 ||
        add_private_function(module, &fragment_size_def) < 0 || add_private_function(module, &anchors_def) < 0 ||
        add_private_function(module, &binding::site_page_def) < 0 ||
        add_private_function(module, &binding::level_def) < 0) {
        // No module was handed out, so a later import may try again.
        initialised.store(false);
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
