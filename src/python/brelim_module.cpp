// The binding: the `brelim` extension module, one public function,
// parse_string(str) -> str.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <iterator>
#include <new>
#include <string_view>

#include "../convert/anchors.hpp"
#include "../convert/fragment_size.hpp"
#include "../convert/parse_file.hpp"
#include "../reading/left_out_lines.hpp"

namespace {

PyDoc_STRVAR(module_doc, "Converts outline documents into HTML fragments of nested lists.");

// The module keeps process-wide state (the exception type below), so it is
// built once per process: a second initialisation, after removal from
// sys.modules or in a sub-interpreter, is refused.
std::atomic<bool> initialised{false};

// brelim.PanicException: an internal fault of the conversion. It derives from
// BaseException so that `except Exception` does not swallow a broken invariant.
PyObject* panic_exception = nullptr;

// The argument, borrowed, or null with TypeError set. The one parameter is
// `str`, given by position or by keyword. Checked by hand: the limited API
// has no parser for the vector calling convention, and the messages are fixed.
PyObject* the_argument(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
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

#ifdef Py_LIMITED_API
// The limited API has no view of a str's storage, so ASCII is asked of
// str.isascii (constant time: CPython keeps the answer as a flag). It is
// called straight from str's own method table, which a subclass cannot
// override, rather than through the interpreter, whose call machinery costs
// four times the rest of the argument handling.
PyCFunction str_isascii = nullptr;

int prepare_is_ascii() {
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
int is_ascii(PyObject* str) {
    PyObject* answer = str_isascii(str, nullptr);
    if (answer == nullptr) return -1;
    const int ascii = answer == Py_True;
    Py_DECREF(answer);
    return ascii;
}
#else
int prepare_is_ascii() { return 0; }

int is_ascii(PyObject* str) { return PyUnicode_IS_ASCII(str) ? 1 : 0; }
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

// Raises the TypeError for an argument that is not a str, naming its type by
// qualified name. The conversion error it stands for has no cause, so
// neither has this one.
PyObject* raise_not_a_string(PyObject* value) {
    PyObject* qualname = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__qualname__");
    if (qualname == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError, "argument 'str': '%S' object cannot be converted to 'PyString'", qualname);
    Py_DECREF(qualname);
    return nullptr;
}

// Runs the conversion; no C++ exception leaves this function.
bool convert(std::string_view document, brelim::OutputBuffer& out) {
    try {
        brelim::parse_file(document, out);
        return true;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& fault) {
        PyErr_SetString(panic_exception, fault.what());
    } catch (...) {
        PyErr_SetString(panic_exception, "internal error: unknown fault");
    }
    return false;
}

// The result str of the fragment, which is ASCII by construction: the grammar
// accepts nothing else. The limited API has no writable str, so the fragment
// is decoded from the buffer, which copies it and checks it again; the full
// API copies it into a new str, unchecked.
PyObject* make_result(const brelim::OutputBuffer& html) {
    if (html.size() > static_cast<std::size_t>(PY_SSIZE_T_MAX)) return PyErr_NoMemory();
    const auto size = static_cast<Py_ssize_t>(html.size());
#ifdef Py_LIMITED_API
    return PyUnicode_DecodeASCII(html.data(), size, nullptr);
#else
    PyObject* result = PyUnicode_New(size, 127);
    if (result == nullptr) return nullptr;
    std::memcpy(PyUnicode_1BYTE_DATA(result), html.data(), html.size());
    return result;
#endif
}

#ifndef Py_LIMITED_API
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
class ResultStr final : public brelim::StorageLender {
public:
    static constexpr std::size_t limit = std::size_t{124} << 10;

    ResultStr() noexcept = default;
    ResultStr(const ResultStr&) = delete;
    ResultStr& operator=(const ResultStr&) = delete;
    ~ResultStr() { Py_XDECREF(str_); }

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
#endif

PyObject* parse_string(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* value = the_argument(args, nargs, kwnames);
    if (value == nullptr) return nullptr;
    if (!PyUnicode_Check(value)) return raise_not_a_string(value);

    Utf8Text document;
    if (!document.load(value)) return nullptr;
#ifdef Py_LIMITED_API
    brelim::OutputBuffer html;
    if (!convert(document.view, html)) return nullptr;
    return make_result(html);
#else
    ResultStr result;
    brelim::OutputBuffer html(result);
    if (!convert(document.view, html)) return nullptr;
    if (html.in_lent_storage()) return result.release(html.size());
    return make_result(html);
#endif
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
    if (!PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "_left_out() takes a str");
        return nullptr;
    }
    Utf8Text document;
    if (!document.load(value)) return nullptr;
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
    Utf8Text document;
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
// without reading the format again. Private: not in __all__. See the stub.
class AnchorRows final : public brelim::AnchorSink {
public:
    PyObject* rows = nullptr;  // owned; null when it could not be made

    AnchorRows() : rows(PyList_New(0)) {}
    AnchorRows(const AnchorRows&) = delete;
    AnchorRows& operator=(const AnchorRows&) = delete;
    ~AnchorRows() { Py_XDECREF(rows); }

    bool headline(const brelim::HeadlineAnchor& anchor) override {
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
            anchor.kind == brelim::AnchorKind::hashtag ? 1 : 0, anchor.target.data(),
            static_cast<Py_ssize_t>(anchor.target.size()), anchor.runs_script ? Py_True : Py_False,
            static_cast<Py_ssize_t>(anchor.html_begin), static_cast<Py_ssize_t>(anchor.html_end),
            static_cast<Py_ssize_t>(anchor.href_size), hrefs, words);
        if (row == nullptr) return false;
        const int appended = PyList_Append(rows, row);
        Py_DECREF(row);
        return appended == 0;
    }
};

// Runs the walk; no C++ exception leaves this function.
std::size_t walk_anchors(std::string_view document, AnchorRows& rows) {
    try {
        return brelim::for_each_anchor(document, rows);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& fault) {
        PyErr_SetString(panic_exception, fault.what());
    } catch (...) {
        PyErr_SetString(panic_exception, "internal error: unknown fault");
    }
    return brelim::stopped;
}

PyObject* anchors(PyObject* /*module*/, PyObject* value) {
    if (!PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "_anchors() takes a str");
        return nullptr;
    }
    Utf8Text document;
    if (!document.load(value)) return nullptr;
    AnchorRows rows;
    if (rows.rows == nullptr) return nullptr;
    const std::size_t count = walk_anchors(document.view, rows);
    if (count == brelim::stopped) return nullptr;
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
    if (prepare_is_ascii() < 0 || add_panic_exception(module) < 0 || add_function(module) < 0 ||
        add_private_function(module, &left_out_def) < 0 || add_left_out_reasons(module) < 0 ||
        add_private_function(module, &fragment_size_def) < 0 || add_private_function(module, &anchors_def) < 0) {
        // No module was handed out, so a later import may try again.
        initialised.store(false);
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
