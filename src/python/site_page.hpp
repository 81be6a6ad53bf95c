#pragma once

// brelim._site_page: a note's page in a site, its anchors pointed where the
// command's table of targets resolves them (site_destinations.hpp), and its
// headlines gathered for the pages that list them (site/pointed_page.hpp).

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <string>

#include "../convert/anchors.hpp"
#include "../site/pointed_page.hpp"
#include "argument.hpp"
#include "guarded.hpp"
#include "site_destinations.hpp"
#include "tuple_slot.hpp"

namespace brelim::binding {

inline bool load_strs(PyObject* const* args, Utf8Text* texts, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!PyUnicode_Check(args[i])) {
            PyErr_SetString(PyExc_TypeError,
                            "_site_page() takes a str for its document, folder, page, from_tags and title");
            return false;
        }
        if (!texts[i].load(args[i])) return false;
    }
    return true;
}

// The page's groups as a list of (key, count, HTML) tuples, or (key, HTML)
// without counts.
template <typename Groups, typename MakeKey>
PyObject* group_list(const site::PointedPage& page, const Groups& groups, MakeKey make_key, bool counted) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(groups.size()));
    if (list == nullptr) return nullptr;
    std::string html;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const auto& [key, group] = groups[i];
        html.clear();
        page.append_group(group, html);
        PyObject* row = PyTuple_New(counted ? 3 : 2);
        if (row == nullptr || PyList_SetItem(list, static_cast<Py_ssize_t>(i), row) < 0) {  // it takes the row
            Py_DECREF(list);
            return nullptr;
        }
        if (!put(row, 0, make_key(key)) ||
            !put(row, counted ? 2 : 1,
                 PyUnicode_DecodeUTF8(html.data(), static_cast<Py_ssize_t>(html.size()), nullptr)) ||
            (counted && !put(row, 1, PyLong_FromSize_t(group.count)))) {
            Py_DECREF(list);
            return nullptr;
        }
    }
    return list;
}

// brelim._site_page(document, table, prefixes, folder, page, from_tags,
// number, title, limit): for the command's site. Private: not in __all__.
// See the stub.
inline PyObject* site_page(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 9) {
        PyErr_Format(PyExc_TypeError, "_site_page() takes 9 arguments (%zd given)", nargs);
        return nullptr;
    }
    Utf8Text document;
    Utf8Text texts[4];  // folder, page, from_tags, title
    PyObject* const strs[] = {args[3], args[4], args[5], args[7]};
    if (!load_strs(args, &document, 1) || !load_strs(strs, texts, 4)) return nullptr;
    const long number = PyLong_AsLong(args[6]);
    if (number == -1 && PyErr_Occurred()) return nullptr;
    const std::size_t limit = PyLong_AsSize_t(args[8]);  // OverflowError when negative or too large
    if (limit == static_cast<std::size_t>(-1) && PyErr_Occurred()) return nullptr;
    SiteDestinations destinations(args[1], args[2], texts[0].view, document.view);
    if (!destinations.ready()) return nullptr;
    const brelim::site::NotePlace note{texts[0].view, texts[1].view, number, texts[2].view, texts[3].view};
    brelim::site::PointedPage page;
    std::size_t count = brelim::stopped;
    if (!guarded([&] { count = brelim::site::point_page(document.view, note, destinations, page); }) ||
        count == brelim::stopped) {
        return nullptr;
    }
    const std::size_t listed_size = page.groups_size();
    if (limit != 0 && listed_size > limit) {
        site::PointedPage::Heaviest heaviest;
        if (!guarded([&] { heaviest = page.heaviest(); })) return nullptr;
        return Py_BuildValue("(nnn)", static_cast<Py_ssize_t>(listed_size),
                             static_cast<Py_ssize_t>(brelim::LineCounter(document.view).line_at(heaviest.line_begin)),
                             static_cast<Py_ssize_t>(heaviest.copies));
    }
    PyObject* body = PyBytes_FromStringAndSize(page.body.data(), static_cast<Py_ssize_t>(page.body.size()));
    const auto word = [](const std::string& text) {
        return PyUnicode_DecodeASCII(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
    };
    PyObject* tags = body == nullptr ? nullptr : group_list(page, page.tags, word, true);
    PyObject* links = tags == nullptr
                          ? nullptr
                          : group_list(page, page.links, [](long linked) { return PyLong_FromLong(linked); }, false);
    PyObject* result = links == nullptr ? nullptr
                                        : Py_BuildValue("(nOOOOO)", static_cast<Py_ssize_t>(count), body,
                                                        destinations.dead, tags, links, destinations.files);
    Py_XDECREF(body);
    Py_XDECREF(tags);
    Py_XDECREF(links);
    return result;
}

inline PyMethodDef site_page_def = {
    .ml_name = "_site_page",
    .ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(site_page)),
    .ml_flags = METH_FASTCALL,
    .ml_doc =
        "_site_page(document, table, prefixes, folder, page, from_tags, number, title, limit, /)\n--\n\n"
        "A note's page in a site: (headlines, the fragment with its anchors pointed, as UTF-8,\n"
        "dead links, tag groups, link groups, carried files); (the groups' size, the line of\n"
        "the headline whose copies take most, their count) when they take more than `limit` bytes.",
};

}  // namespace brelim::binding
