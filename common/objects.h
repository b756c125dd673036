// Python-level operations on objects, each as the statement that names it
// would do it: attributes, method calls, augmented assignment, comparison,
// next(), indexing and slicing.
#pragma once

#include <initializer_list>
#include <span>

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
// self.<name> += delta for a computed float: an exact float total adds in C,
// anything else sees a float object.
void add_to(PyObject* self, const Name& name, double delta);

// Instances of one class whose attributes of the given names are plain
// entries of the instance dict, which no Python code can observe: recorded at
// exec, trusted while the class's version tag is unchanged (nothing along its
// MRO has been modified since, so no descriptor of those names appeared).
class PlainAttributes {
public:
    // At exec.  Never trusted when the class customises attribute access,
    // defines one of the names or cannot have a version tag.
    void record(PyObject* cls, std::span<const Name* const> names) noexcept;
    // The instance dict of `self` when self is an instance of exactly the
    // recorded class and that class is unchanged; empty otherwise.
    Ref dict_of(PyObject* self) const noexcept;

private:
    PyTypeObject* cls_ = nullptr;
    unsigned int version_ = 0;
};

// A method that instances of a PlainAttributes class find in the class,
// recorded with it at exec: self.<name>() calls that very function while the
// class is unchanged and the instance's dict does not shadow the name,
// instead of looking it up, and taking a reference to it, on every call.
class PlainMethod {
public:
    PlainMethod(const PlainAttributes& plain, const Name& name) noexcept : plain_(plain), name_(name) {}
    PlainMethod(const PlainMethod&) = delete;
    PlainMethod& operator=(const PlainMethod&) = delete;
    // At exec, right after plain.record(cls, ...): only a method descriptor
    // (a function, Python's or the frame's) is recorded, for only those bind
    // as the call of the function with self first.
    void record(PyObject* cls) noexcept;
    // Whether self.<name> is, right now, the recorded function bound to self.
    bool direct(PyObject* self) const;
    PyObject* function() const noexcept { return fn_; }
    // self.<name>()
    Ref call(PyObject* self) const;

private:
    const PlainAttributes& plain_;
    const Name& name_;
    PyObject* fn_ = nullptr;
};

// self.<names[i]> += deltas[i], in order, for the leading totals that are
// floats in the instance dict of a plain instance: computed in C on the
// dict.  Returns how many were added; the caller adds the rest, from
// the first that is not so (or all, for any other instance), generically.
std::size_t add_plain_floats(PyObject* self, const PlainAttributes& plain, std::span<const Name* const> names,
                             const double* deltas) noexcept;

// The truth value of an object, as `if` decides it.
inline bool truth(PyObject* o) { return to_bool(o); }

// a == b / a != b as an `if` decides them (no identity shortcut beyond the
// interpreter's own for str).
bool equal(PyObject* a, PyObject* b);
bool not_equal(PyObject* a, PyObject* b);

// a <op> b for op one of Py_LT ... Py_GE, as an `if` decides it: the truth
// value of the rich comparison's result, with no identity shortcut.
bool compare(PyObject* a, PyObject* b, int op);

// o.__index__() as a Py_ssize_t: OverflowError past its range.
Py_ssize_t index_of(PyObject* o);

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

// list.extend(items)
inline void list_extend(PyObject* list, PyObject* items) { check(PyList_Extend(list, items)); }
// `key in o` for any container
inline bool contains(PyObject* o, PyObject* key) { return check(PySequence_Contains(o, key)) == 1; }
// {} and d[key] = value
inline Ref new_dict() { return own(PyDict_New()); }
inline void dict_set(PyObject* d, PyObject* key, PyObject* value) { check(PyDict_SetItem(d, key, value)); }
// d.get(key) as a strong reference (empty when absent), safe while another
// thread mutates d; key in d; o.__dict__ (made on first use).
inline Ref dict_get(PyObject* d, PyObject* key) {
    PyObject* v = nullptr;
    check(PyDict_GetItemRef(d, key, &v));
    return Ref::steal(v);
}
inline bool dict_has(PyObject* d, PyObject* key) { return check(PyDict_Contains(d, key)) != 0; }
inline Ref instance_dict(PyObject* o) { return own(PyObject_GenericGetDict(o, nullptr)); }
// The class's own value of `name`, from its dict (no descriptor, no MRO);
// empty when absent or unreadable, with nothing raised.
Ref class_own_value(PyObject* cls, const Name& name) noexcept;
// All values of d at once when d holds exactly the keys `names` (the very
// interned strings, in any order), in one pass under d's lock instead of a
// hashed look-up each; false (every out empty) otherwise.
bool dict_read_exactly(PyObject* d, const Name* const* names, Ref* const* out, int count);
// a + b and a - b of any objects
inline Ref add(PyObject* a, PyObject* b) { return own(PyNumber_Add(a, b)); }
inline Ref subtract(PyObject* a, PyObject* b) { return own(PyNumber_Subtract(a, b)); }
// a += b: the value the name is bound to afterwards.
inline Ref add_inplace(PyObject* a, PyObject* b) { return own(PyNumber_InPlaceAdd(a, b)); }
// a += b for a list a (list.extend of any iterable, in place)
inline void add_in_place(PyObject* a, PyObject* b) { own(PySequence_InPlaceConcat(a, b)); }
// tuple(o) and list(o)
inline Ref tuple_of(PyObject* o) { return own(PySequence_Tuple(o)); }
inline Ref list_of(PyObject* o) { return own(PySequence_List(o)); }
// set(), `key in s` and s.add(key)
inline Ref new_set() { return own(PySet_New(nullptr)); }
inline bool set_contains(PyObject* s, PyObject* key) { return check(PySet_Contains(s, key)) == 1; }
inline void set_add(PyObject* s, PyObject* key) { check(PySet_Add(s, key)); }

}  // namespace vy
