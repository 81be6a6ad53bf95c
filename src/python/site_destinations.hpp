#pragma once

// Where the anchors of a note's page lead, for brelim._site_page. The
// command's table of the build's targets resolves each target once per
// process; what it says is kept in the table's known targets
// (known_targets.hpp), so that every later anchor of any note with the same
// target is a lookup with no object made. The note's dead links and carried
// files are kept on the way.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "../convert/anchors.hpp"
#include "../site/pointed_page.hpp"
#include "known_targets.hpp"

namespace brelim::binding {

class SiteDestinations final : public site::Destinations {
public:
    PyObject* dead = nullptr;   // owned: (line, column, target, why) for each dead link
    PyObject* files = nullptr;  // owned: the place of each file of the notes a link carries into the site

    // `table` resolves a miss with `tag(word)` and `link(key)`, the key a
    // link's (one of `prefixes`, target, runs script); `prefixes` holds the
    // note's folder cut at each depth, from the root's () on, and `folder`
    // is the same folder as a URL. `document` is the note's, whose lines
    // are counted for its dead links.
    SiteDestinations(PyObject* table, PyObject* prefixes, std::string_view folder, std::string_view document)
        : table_(table), prefixes_(prefixes), folder_(folder), lines_(document) {
        dead = PyList_New(0);
        files = PyList_New(0);
    }
    SiteDestinations(const SiteDestinations&) = delete;
    SiteDestinations& operator=(const SiteDestinations&) = delete;
    ~SiteDestinations() {
        Py_XDECREF(dead);
        Py_XDECREF(files);
        Py_XDECREF(capsule_);
    }

    // False with an exception set when it could not be made.
    bool ready() {
        if (dead == nullptr || files == nullptr) return false;
        if (!PyTuple_Check(prefixes_)) {
            PyErr_SetString(PyExc_TypeError, "_site_page() takes a tuple of the folder's prefixes");
            return false;
        }
        capsule_ = known_targets_of(table_);
        if (capsule_ == nullptr) return false;
        known_ = known_targets_in(capsule_);
        return known_ != nullptr;
    }

    bool find(const HeadlineAnchor& anchor, site::Destination& to) override {
        const bool hashtag = anchor.kind == AnchorKind::hashtag;
        std::string_view rest = anchor.target;
        Py_ssize_t depth = 0;
        key_.assign(1, hashtag ? '#' : anchor.runs_script ? '!' : '/');
        if (!hashtag) {
            depth = shared_depth(rest);
            if (depth < 0) {
                PyErr_SetString(PyExc_ValueError, "_site_page(): no prefix for the note's folder");
                return false;
            }
            key_ += folder_prefix(depth);
            key_ += '\0';
        }
        key_ += rest;
        const KnownTarget* found = nullptr;
        {
            const std::lock_guard hold(known_->lock);
            const auto at = known_->map.find(key_);
            if (at != known_->map.end()) found = &at->second;
        }
        if (found == nullptr) {
            KnownTarget known;
            if (!(hashtag ? resolve_tag(anchor.target, known) : resolve_link(anchor, depth, rest, known))) return false;
            const std::lock_guard hold(known_->lock);
            found = &known_->map.try_emplace(key_, std::move(known)).first->second;  // or another thread's
        }
        const KnownTarget& known = *found;
        to = known.destination();
        if (known.kind == site::Destination::Kind::dead) return keep_dead(anchor, known.why);
        return known.place == nullptr || PyList_Append(files, known.place) == 0;
    }

private:
    static constexpr long carried = -2;  // the page number the table gives a file the site carries

    static Py_ssize_t size(std::string_view text) { return static_cast<Py_ssize_t>(text.size()); }

    // How deep a folder of the note the link's target resolves from, with
    // `rest` cut to match: "../x" from "a/b" is "x" from "a", and "/x" is
    // from the root. Negative when the prefixes do not reach.
    Py_ssize_t shared_depth(std::string_view& rest) const {
        Py_ssize_t depth = PyTuple_Size(prefixes_) - 1;
        if (rest.substr(0, 1) == "/") return 0;
        if (rest.find(':') == std::string_view::npos) {  // "../" never uncovers an external link
            while (depth > 0 && rest.substr(0, 3) == "../" && rest.size() > 3 && rest[3] != '/') {
                --depth;
                rest.remove_prefix(3);
            }
        }
        return depth;
    }

    // The note's folder as a URL, cut to its first `depth` parts.
    std::string_view folder_prefix(Py_ssize_t depth) const {
        std::size_t end = 0;
        for (Py_ssize_t part = 0; part < depth; ++part) {
            end = folder_.find('/', end + (part > 0 ? 1 : 0));
            if (end == std::string_view::npos) return folder_;
        }
        return folder_.substr(0, end);
    }

    bool call(const char* method, PyObject* argument, PyObject*& entry, Py_ssize_t items) {
        PyObject* name = PyUnicode_FromString(method);
        if (name == nullptr) return false;
        entry = PyObject_CallMethodObjArgs(table_, name, argument, nullptr);
        Py_DECREF(name);
        if (entry == nullptr) return false;
        if (!PyTuple_Check(entry) || PyTuple_Size(entry) != items) {
            PyErr_Format(PyExc_TypeError, "_site_page(): the table's %s() gave no tuple of %zd", method, items);
            return false;
        }
        return true;
    }

    static bool copy_text(PyObject* entry, Py_ssize_t slot, std::string& text) {
        Py_ssize_t length = 0;
        const char* data = PyUnicode_AsUTF8AndSize(PyTuple_GetItem(entry, slot), &length);
        if (data == nullptr) return false;
        text.assign(data, static_cast<std::size_t>(length));
        return true;
    }

    // A tag's entry: (its page's place, its URL from the root, and from the tag pages' folder).
    bool resolve_tag(std::string_view word, KnownTarget& known) {
        PyObject* text = PyUnicode_DecodeUTF8(word.data(), size(word), nullptr);
        if (text == nullptr) return false;
        PyObject* entry = nullptr;
        const bool called = call("tag", text, entry, 3);
        Py_DECREF(text);
        known.kind = site::Destination::Kind::file;
        const bool copied = called && copy_text(entry, 1, known.url) && copy_text(entry, 2, known.from_tags);
        Py_XDECREF(entry);
        return copied;
    }

    // A link's entry: (its place or None, its URL from the root or the
    // external URL, the note whose page it is, that page's URL for it, why
    // it is dead or "", its URL from the tag pages' folder).
    bool resolve_link(const HeadlineAnchor& anchor, Py_ssize_t depth, std::string_view rest, KnownTarget& known) {
        PyObject* target = PyUnicode_DecodeUTF8(rest.data(), size(rest), nullptr);
        if (target == nullptr) return false;
        PyObject* key =
            PyTuple_Pack(3, PyTuple_GetItem(prefixes_, depth), target, anchor.runs_script ? Py_True : Py_False);
        Py_DECREF(target);
        if (key == nullptr) return false;
        PyObject* entry = nullptr;
        const bool called = call("link", key, entry, 6);
        Py_DECREF(key);
        const bool read = called && read_link(entry, known);
        Py_XDECREF(entry);
        return read;
    }

    static bool read_link(PyObject* entry, KnownTarget& known) {
        PyObject* why = PyTuple_GetItem(entry, 4);
        const int is_dead = PyObject_IsTrue(why);
        if (is_dead < 0) return false;
        if (is_dead) {
            known.kind = site::Destination::Kind::dead;
            known.why = Py_NewRef(why);
            return true;
        }
        PyObject* place = PyTuple_GetItem(entry, 0);
        if (place == Py_None) {
            known.kind = site::Destination::Kind::external;
            return copy_text(entry, 1, known.url);
        }
        known.kind = site::Destination::Kind::file;
        known.page = PyLong_AsLong(PyTuple_GetItem(entry, 2));
        if (known.page == -1 && PyErr_Occurred()) return false;
        if (known.page == carried) known.place = Py_NewRef(place);
        return copy_text(entry, 1, known.url) && copy_text(entry, 3, known.there) &&
               copy_text(entry, 5, known.from_tags);
    }

    bool keep_dead(const HeadlineAnchor& anchor, PyObject* why) {
        PyObject* row =
            Py_BuildValue("(nns#O)", static_cast<Py_ssize_t>(lines_.line_at(anchor.line_begin)),
                          static_cast<Py_ssize_t>(anchor.column), anchor.target.data(), size(anchor.target), why);
        if (row == nullptr) return false;
        const int appended = PyList_Append(dead, row);
        Py_DECREF(row);
        return appended == 0;
    }

    PyObject* table_;     // borrowed
    PyObject* prefixes_;  // borrowed
    std::string_view folder_;
    LineCounter lines_;
    PyObject* capsule_ = nullptr;  // owned: it keeps `known_`
    KnownTargets* known_ = nullptr;
    std::string key_;
};

}  // namespace brelim::binding
