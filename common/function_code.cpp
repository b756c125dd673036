#include "function_code.h"

namespace vy {

namespace {

// A one-line Python function that raises RuntimeError(message), compiled,
// so that its bytecode, constants and tables come from the compiler: all of
// it on the first line, which becomes the function's definition line.  A
// trailing `yield` makes it a generator function, whose error then comes on
// iteration as the native generator's body would run.
Ref raising_code(PyObject* message, bool generator) {
    Ref source = own(PyUnicode_FromFormat("def f(): raise RuntimeError(%R)%s\n", message, generator ? "; yield" : ""));
    const char* text = PyUnicode_AsUTF8(source.get());
    if (!text) raise();
    Ref module = own(Py_CompileString(text, "<native>", Py_file_input));
    Ref consts = own(PyObject_GetAttrString(module.get(), "co_consts"));
    const Py_ssize_t n = PySequence_Size(consts.get());
    if (n < 0) raise();
    for (Py_ssize_t i = 0; i < n; ++i) {
        Ref item = own(PySequence_GetItem(consts.get(), i));
        if (PyCode_Check(item.get())) return item;
    }
    raise(PyExc_SystemError, "compiled function without a code object");
}

void set(PyObject* kwargs, const char* key, Ref value) { check(PyDict_SetItemString(kwargs, key, value.get())); }

}  // namespace

Ref function_code(const FunctionDef& d, PyObject* filename, PyObject* varnames, int flags) {
    Ref message = own(PyUnicode_FromFormat(
        "%U() is implemented in native code: its __code__ describes the signature only and cannot be executed",
        d.py_dotted));
    Ref code = raising_code(message.get(), (flags & CO_GENERATOR) != 0);
    Ref template_flags = own(PyObject_GetAttrString(code.get(), "co_flags"));
    const long base = PyLong_AsLong(template_flags.get());
    if (base == -1 && PyErr_Occurred()) raise();

    Ref kwargs = own(PyDict_New());
    set(kwargs.get(), "co_argcount", int_object(d.npos()));
    set(kwargs.get(), "co_posonlyargcount", int_object(0));
    set(kwargs.get(), "co_kwonlyargcount", int_object(d.nkwonly));
    set(kwargs.get(), "co_nlocals", int_object(PyTuple_GET_SIZE(varnames)));
    set(kwargs.get(), "co_varnames", Ref::borrow(varnames));
    set(kwargs.get(), "co_flags", int_object(base | flags));
    set(kwargs.get(), "co_name", Ref::borrow(d.py_name));
    set(kwargs.get(), "co_qualname", Ref::borrow(d.py_qualname));
    set(kwargs.get(), "co_filename", Ref::borrow(filename));
    set(kwargs.get(), "co_firstlineno", int_object(d.line));
    Ref replace = own(PyObject_GetAttrString(code.get(), "replace"));
    Ref empty = own(PyTuple_New(0));
    return own(PyObject_Call(replace.get(), empty.get(), kwargs.get()));
}

}  // namespace vy
