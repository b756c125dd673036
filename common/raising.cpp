#include "raising.h"

namespace vy {

void raise_object(PyObject* obj) {
    if (PyExceptionClass_Check(obj)) {
        Ref value = call(obj, {});
        if (!PyExceptionInstance_Check(value.get()))
            raise_format(PyExc_TypeError, "calling %R should have returned an instance of BaseException, not %R", obj,
                         Py_TYPE(value.get()));
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(value.get())), value.get());
        raise();
    }
    if (!PyExceptionInstance_Check(obj)) raise(PyExc_TypeError, "exceptions must derive from BaseException");
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(obj)), obj);
    raise();
}

void raise_new(const Name& cls, std::initializer_list<PyObject*> args) {
    Ref type = global(cls);
    Ref exc = call(type.get(), args);
    raise_object(exc.get());
}

void raise_stop_iteration() {
    PyErr_SetNone(PyExc_StopIteration);
    raise();
}

void chain_context(PyObject* handled) noexcept {
    PyObject* exc = PyErr_GetRaisedException();
    if (exc && exc != handled) PyException_SetContext(exc, Py_NewRef(handled));
    PyErr_SetRaisedException(exc);
}

}  // namespace vy
