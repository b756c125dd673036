// raise and try/except as statements: raising objects and instances of
// classes named in the namespace, and handlers whose own errors chain the
// exception they handle, as the interpreter chains them.
#pragma once

#include "function.h"

namespace vy {

// raise <obj>: an exception instance, or a class to instantiate.
[[noreturn]] void raise_object(PyObject* obj);

// raise <cls>(args...), with the class read from the module namespace now.
[[noreturn]] void raise_new(const Name& cls, std::initializer_list<PyObject*> args);

[[noreturn]] void raise_stop_iteration();

// An exception raised in the suite of an `except` clause carries the caught
// one as its __context__, as the interpreter would chain it.
void chain_context(PyObject* handled) noexcept;

// try: body()
// except <type> as e: handler(e)
// The handler receives the caught exception (borrowed); an exception it
// raises has that one as its context.  Both give the statement's value.
template <class Body, class Handler>
auto try_except(PyObject* type, Body&& body, Handler&& handler) -> decltype(body()) {
    try {
        return body();
    } catch (const PyError&) {
        if (!PyErr_ExceptionMatches(type)) throw;
    }
    Ref caught = Ref::steal(PyErr_GetRaisedException());
    try {
        return handler(caught.get());
    } catch (const PyError&) {
        chain_context(caught.get());
        throw;
    }
}

}  // namespace vy
