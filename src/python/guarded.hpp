#pragma once

// Keeping C++ exceptions out of the interpreter: every call into the core
// runs through `guarded`.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>

namespace brelim::binding {

// brelim.PanicException, made once by the module's initialisation: an
// internal fault of the conversion. It derives from BaseException so that
// `except Exception` does not swallow a broken invariant.
inline PyObject* panic_exception = nullptr;

// Runs `work`, a call into the core; no C++ exception leaves this function.
// False with an exception set when it threw.
template <typename Work>
bool guarded(Work work) {
    try {
        work();
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

}  // namespace brelim::binding
