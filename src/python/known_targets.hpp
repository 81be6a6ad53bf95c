#pragma once

// What the command's table of a build's targets said of each target, kept
// in a map that lives on the table itself, in a capsule: filled in each
// process as its notes first meet each target, and gone with the table.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "../site/pointed_page.hpp"

namespace brelim::binding {

// What the table said of one target.
struct KnownTarget {
    site::Destination::Kind kind = site::Destination::Kind::dead;
    std::string url;
    std::string from_tags;
    long page = site::no_page;
    std::string there;
    PyObject* place = nullptr;  // owned: a carried file's place
    PyObject* why = nullptr;    // owned: why it is dead

    KnownTarget() = default;
    KnownTarget(const KnownTarget&) = delete;
    KnownTarget& operator=(const KnownTarget&) = delete;
    KnownTarget(KnownTarget&& other) noexcept
        : kind(other.kind), url(std::move(other.url)), from_tags(std::move(other.from_tags)), page(other.page),
          there(std::move(other.there)), place(std::exchange(other.place, nullptr)),
          why(std::exchange(other.why, nullptr)) {}
    ~KnownTarget() {
        Py_XDECREF(place);
        Py_XDECREF(why);
    }

    // As a page's walk is told it: views of this entry.
    site::Destination destination() const { return {kind, url, from_tags, page, there}; }
};

// Keyed by the target's kind and what it resolves as: a hashtag's word, or a
// link's folder (as a URL), target and whether it runs a script. Entries are
// only ever added, so a found entry stays where it is. The lock is for
// interpreters without a GIL: it is never held while Python code runs.
struct KnownTargets {
    std::mutex lock;
    std::unordered_map<std::string, KnownTarget> map;
};

// The table's attribute that holds the capsule, and the capsule's name.
inline constexpr const char* known_targets_name = "_known_targets";

inline void forget_known_targets(PyObject* capsule) {
    delete static_cast<KnownTargets*>(PyCapsule_GetPointer(capsule, known_targets_name));
}

// The capsule of the table's known targets, made on its first use; a new
// reference, which keeps them for as long as it is held.
inline PyObject* known_targets_of(PyObject* table) {
    PyObject* capsule = PyObject_GetAttrString(table, known_targets_name);
    if (capsule == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
        PyErr_Clear();
        auto* made = new (std::nothrow) KnownTargets;
        if (made == nullptr) {
            PyErr_NoMemory();
            return nullptr;
        }
        capsule = PyCapsule_New(made, known_targets_name, forget_known_targets);
        if (capsule == nullptr) {
            delete made;
            return nullptr;
        }
        if (PyObject_SetAttrString(table, known_targets_name, capsule) < 0) {
            Py_DECREF(capsule);
            return nullptr;
        }
        // The caller holds this reference too: another thread's capsule may take its place on the table.
    }
    return capsule;
}

// The known targets a capsule of known_targets_of holds; null with an
// exception set when it is another capsule.
inline KnownTargets* known_targets_in(PyObject* capsule) {
    return static_cast<KnownTargets*>(PyCapsule_GetPointer(capsule, known_targets_name));
}

}  // namespace brelim::binding
