// Python-level operations on objects, each as the statement that names it
// would do it: attributes, method calls, augmented assignment, comparison,
// next(), indexing and slicing.
#pragma once

#include <initializer_list>

#include "convert.h"
#include "names.h"

namespace vy {

// o.<name>, o.<name> = value
inline Ref getattr(PyObject* o, const Name& name) { return own(PyObject_GetAttr(o, name.get())); }
inline void setattr(PyObject* o, const Name& name, PyObject* value) { check(PyObject_SetAttr(o, name.get(), value)); }

// self.<name>(args...), looked up through the instance like a method call.
template <class... A>
Ref call_method(PyObject* self, const Name& name, A... args) {
    PyObject* argv[] = {self, args...};
    return own(PyObject_VectorcallMethod(name.get(), argv, 1 + sizeof...(A), nullptr));
}

// self.<name> += delta
void add_to(PyObject* self, const Name& name, PyObject* delta);

// The truth value of an object, as `if` decides it.
inline bool truth(PyObject* o) { return to_bool(o); }

// a == b / a != b as an `if` decides them (no identity shortcut beyond the
// interpreter's own for str).
bool equal(PyObject* a, PyObject* b);
bool not_equal(PyObject* a, PyObject* b);

// next(it), as the builtin does it: StopIteration at the end.
Ref next_of(PyObject* it);

// o[i] and o[start:stop]
Ref item(PyObject* o, Py_ssize_t i);
inline Ref item(PyObject* o, PyObject* key) { return own(PyObject_GetItem(o, key)); }
Ref slice(PyObject* o, PyObject* start, PyObject* stop);
// o[i] = value
void set_item(PyObject* o, Py_ssize_t i, PyObject* value);
// a % b (for a str, printf-style formatting)
inline Ref remainder(PyObject* a, PyObject* b) { return own(PyNumber_Remainder(a, b)); }
// iter(o), and the next item of an iterator: empty at its end.
inline Ref iter(PyObject* o) { return own(PyObject_GetIter(o)); }
Ref next_or_end(PyObject* it);
// (*before, *iterable, *after), a tuple display with a starred item.
Ref star_tuple(std::initializer_list<PyObject*> before, PyObject* iterable,
               std::initializer_list<PyObject*> after = {});
// sep.join(items) for a str separator
inline Ref join(PyObject* sep, PyObject* items) { return own(PyUnicode_Join(sep, items)); }
// list.sort() (stable, by <)
inline void sort(PyObject* list) { check(PyList_Sort(list)); }

}  // namespace vy
