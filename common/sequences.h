// Snapshots of the caller's sequences, and lists built item by item.
#pragma once

#include <vector>

#include "errors.h"

namespace vy {

// A run of items of a snapshot (a slice of it).
struct Span {
    PyObject* const* items;
    Py_ssize_t n;
    const char* type_name;  // of the sequence, for its IndexError
    PyObject* operator[](Py_ssize_t i) const noexcept { return items[i]; }
    // seq[i] with Python's negative positions; out of range raises IndexError.
    PyObject* at(Py_ssize_t i) const;
    // seq[from:to] for 0 <= from, clipped like a slice.
    Span slice(Py_ssize_t from, Py_ssize_t to) const noexcept;
};

// A sequence taken once: its items stay alive, and another thread (or Python
// code that runs meanwhile) resizing a list cannot move them under the
// algorithm.  A list is copied under its lock; a tuple is kept as it is.
class Snapshot {
public:
    explicit Snapshot(PyObject* seq);
    // seq[from:to] (adjusted as a slice is) of an exact list or tuple, as
    // the sequence is now: a tuple's own items, a list's copied under its
    // lock.
    Snapshot(PyObject* seq, Py_ssize_t from, Py_ssize_t to);
    Py_ssize_t size() const noexcept { return n_; }
    PyObject* operator[](Py_ssize_t i) const noexcept { return items_[i]; }
    PyObject* const* data() const noexcept { return items_; }
    Span span() const noexcept { return Span{items_, n_, type_name_}; }
    PyObject* at(Py_ssize_t i) const { return span().at(i); }
    Span slice(Py_ssize_t from, Py_ssize_t to) const noexcept { return span().slice(from, to); }

private:
    const char* type_name_;
    Ref holder_;
    PyObject* const* items_ = nullptr;
    Py_ssize_t n_ = 0;
};

// `for item in lst` over an exact list, read as the list's own iterator
// reads it: the length and the item anew at each step, the item held
// strongly, so Python code that runs between steps (or another thread) may
// resize the list without leaving anything dangling.
class ListItems {
public:
    explicit ListItems(PyObject* list) noexcept : list_(list) {}
    // The next item, or empty at the end.
    Ref next();

private:
    PyObject* list_;
    Py_ssize_t i_ = 0;
};

// The items of a result list while it is built; the list is made once at
// the end, so no Python code ever sees it half-built.
class ListBuilder {
public:
    ListBuilder() = default;
    ListBuilder(const ListBuilder&) = delete;
    ListBuilder& operator=(const ListBuilder&) = delete;
    ~ListBuilder() {
        for (PyObject* o : items_) Py_DECREF(o);
    }
    void append(PyObject* o) { items_.push_back(Py_NewRef(o)); }
    void append(Ref o) { items_.push_back(o.release()); }
    void extend(PyObject* iterable);
    std::size_t size() const noexcept { return items_.size(); }
    PyObject* back() const noexcept { return items_.back(); }  // borrowed; not empty
    Ref list();

private:
    std::vector<PyObject*> items_;
};

}  // namespace vy
