// Python exceptions travelling through C++, the one boundary where C++
// exceptions become Python errors again, and traceback entries.
#pragma once

#include "ref.h"

namespace vy {

// Thrown when a Python exception has been set: it travels through C++ to the
// boundary of the Python-visible function, which adds its traceback entry.
struct PyError {};

[[noreturn]] inline void raise() { throw PyError{}; }
[[noreturn]] void raise(PyObject* type, const char* message);
[[noreturn]] void raise_format(PyObject* type, const char* format, ...);

// A new reference returned by the C API, or a throw if it failed.
inline Ref own(PyObject* p) {
    if (!p) raise();
    return Ref::steal(p);
}
inline int check(int status) {
    if (status < 0) raise();
    return status;
}

// The boundary: called in a `catch (...)` handler, leaves the exception being
// handled as the Python exception set in the interpreter (a PyError has set
// it already; bad_alloc is MemoryError; anything else a SystemError).
void exception_to_python() noexcept;

// Adds one traceback entry (code name, source-file name, line) to the
// exception being raised.  Code objects are cached per (name, line).
void add_traceback(PyObject* dotted_name, int line) noexcept;

}  // namespace vy
