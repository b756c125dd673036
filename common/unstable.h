// Every use of private or unstable interpreter API, each behind one function
// that states the assumption it relies on.  Nothing else in the frame or the
// modules touches interpreter internals; tests/frame/test_unstable.py checks
// each assumption against the running interpreter.
#pragma once

#include <cstdint>

#include "ref.h"

namespace vy::unstable {

// The attribute `name` of type t, found along its MRO the way attribute
// look-up finds it, without running any code (no descriptor, no
// __getattr__).  Only tested for presence: the borrowed result may be
// replaced by another thread at any moment.
bool type_has(PyTypeObject* t, PyObject* name) noexcept;

// The same, the attribute itself (a new reference, NULL when absent): for
// exec, while no other thread can be modifying the type.
PyObject* type_lookup(PyTypeObject* t, PyObject* name) noexcept;

// The type's version tag: it stays the same exactly as long as neither the
// type nor any of its bases is modified, and it is never reused for a
// modified type.  0: the type has none (and cannot be trusted unchanged).
unsigned int version_tag(PyTypeObject* t) noexcept;

// Gives the type a version tag if it has none; false when it cannot have one.
bool assign_version_tag(PyTypeObject* t) noexcept;

// A type as it was when recorded at exec: while its version tag is the one
// read then, neither it nor a base has been modified.  Holds a strong
// reference for the life of the module.
class RecordedType {
public:
    // Records t, giving it a version tag; false (nothing recorded) when it
    // cannot have one.
    bool record(PyTypeObject* t) noexcept {
        if (!assign_version_tag(t)) return false;
        Py_XSETREF(type_, reinterpret_cast<PyTypeObject*>(Py_NewRef(t)));
        version_ = version_tag(t);
        return version_ != 0;
    }
    PyTypeObject* type() const noexcept { return type_; }
    // Whether the recorded type is still as it was.
    bool unchanged() const noexcept { return version_ != 0 && version_tag(type_) == version_; }
    // Whether o is that type, unchanged.
    bool is(PyObject* o) const noexcept { return o == reinterpret_cast<PyObject*>(type_) && unchanged(); }

private:
    PyTypeObject* type_ = nullptr;
    unsigned int version_ = 0;
};

// Whether calling t(v0, ..., vN-1) with `fields` positional values does
// exactly tuple.__new__(t, (v0, ..., vN-1)) and nothing else, so a caller may
// build the tuple itself: t's metaclass is type, tuple its only base, no
// __init__, and its __new__ a staticmethod of a plain function whose code
// and constants are those of `return _tuple_new(_cls, (v0, ...))` with
// _tuple_new bound to tuple.__new__ (the named-tuple factory's own, on
// 3.13 and 3.14; field names do not enter the code).  For exec: reads the
// type's dict as its own, so only while no other thread can modify it.
bool plain_tuple_new(PyTypeObject* t, int fields) noexcept;

// Declares that the module runs without the GIL (exec).
int declare_gil_free(PyObject* module) noexcept;

// Spares the threads that share `o`, an object that lives as long as its
// module, the contention for its reference count, as far as each
// interpreter allows:
// - free-threaded 3.13: `o` is made immortal by hand, as the interpreter
//   makes its own long-lived objects: its count is never written again and
//   it is never freed.  Only while the caller alone references it.
// - free-threaded 3.14: deferred reference counting: references held by
//   the interpreter's frames are not counted, and the collector frees `o`
//   once unreachable.  Only for objects the collector tracks (not floats,
//   say), at any time.
// - 3.15: immortal through the interpreter's own call.
// - with a GIL: nothing (no other core contends for the count).
// Returns whether `o` was marked (false leaves it as it was).
bool share_long_lived(PyObject* o) noexcept;

// Whether the interpreter treats `o` as immortal.
bool is_immortal(PyObject* o) noexcept;

// The interned string equal to `s` (a new reference).  The free-threaded
// builds (3.13 and 3.14) make every interned string immortal: its count is
// never written, so the threads that share it (a token type every token
// holds, an identifier every call passes) do not contend for it.  With a GIL
// it stays mortal, and no other core contends for its count.
// NULL with an exception set on failure.
PyObject* intern_immortal(PyObject* s) noexcept;
PyObject* intern_immortal(const char* text) noexcept;

// The value of an exact int small enough for the interpreter's compact form
// (one digit), read inline; false for any other int.
inline bool compact_int(PyObject* o, std::int64_t& out) noexcept {
    if (!PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(o))) return false;
    out = std::int64_t(PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(o)));
    return true;
}

}  // namespace vy::unstable
