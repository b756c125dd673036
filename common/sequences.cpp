#include "sequences.h"

#include <algorithm>

namespace vy {

Snapshot::Snapshot(PyObject* seq) : type_name_(Py_TYPE(seq)->tp_name) {
    if (PyTuple_CheckExact(seq)) {
        holder_ = Ref::borrow(seq);
    } else {
        // Anything but a list must at least have a length, as len() in the
        // algorithm requires.
        if (!PyList_CheckExact(seq) && PyObject_Size(seq) < 0) raise();
        holder_ = own(PySequence_Tuple(seq));
    }
    items_ = &PyTuple_GET_ITEM(holder_.get(), 0);
    n_ = PyTuple_GET_SIZE(holder_.get());
}

Snapshot::Snapshot(PyObject* seq, Py_ssize_t from, Py_ssize_t to) : type_name_(Py_TYPE(seq)->tp_name) {
    if (PyTuple_CheckExact(seq)) {
        // The adjusted length: an empty slice may end before it starts.
        n_ = PySlice_AdjustIndices(PyTuple_GET_SIZE(seq), &from, &to, 1);
        holder_ = Ref::borrow(seq);
        items_ = &PyTuple_GET_ITEM(seq, 0) + from;
    } else {
        // Another thread may resize the list after the adjustment:
        // PyList_GetSlice clips again, under the list's lock.
        PySlice_AdjustIndices(PyList_GET_SIZE(seq), &from, &to, 1);
        holder_ = own(PyList_GetSlice(seq, from, to));
        items_ = &PyList_GET_ITEM(holder_.get(), 0);
        n_ = PyList_GET_SIZE(holder_.get());
    }
}

Span Span::slice(Py_ssize_t from, Py_ssize_t to) const noexcept {
    to = std::min(to, n);
    from = std::min(from, to);
    return Span{items + from, to - from, type_name};
}

PyObject* Span::at(Py_ssize_t i) const {
    const Py_ssize_t k = i < 0 ? i + n : i;
    if (k < 0 || k >= n) raise_format(PyExc_IndexError, "%s index out of range", type_name);
    return items[k];
}

Ref ListItems::next() {
    if (i_ >= PyList_GET_SIZE(list_)) return {};
    PyObject* v = PyList_GetItemRef(list_, i_);
    if (!v) {
        // Shrunk by another thread since the length was read: the end.
        PyErr_Clear();
        return {};
    }
    ++i_;
    return Ref::steal(v);
}

void ListBuilder::extend(PyObject* iterable) {
    Ref it = own(PyObject_GetIter(iterable));
    while (PyObject* item = PyIter_Next(it.get())) items_.push_back(item);
    if (PyErr_Occurred()) raise();
}

Ref ListBuilder::list() {
    Ref list = own(PyList_New(Py_ssize_t(items_.size())));
    for (std::size_t k = 0; k < items_.size(); ++k) PyList_SET_ITEM(list.get(), Py_ssize_t(k), items_[k]);
    items_.clear();
    return list;
}

}  // namespace vy
