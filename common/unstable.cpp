#include "unstable.h"

#include <atomic>
#include <string>

namespace vy::unstable {

bool type_has(PyTypeObject* t, PyObject* name) noexcept { return _PyType_Lookup(t, name) != nullptr; }

PyObject* type_lookup(PyTypeObject* t, PyObject* name) noexcept { return Py_XNewRef(_PyType_Lookup(t, name)); }

unsigned int version_tag(PyTypeObject* t) noexcept {
    // Written by other threads when a type is modified: read atomically.
    return std::atomic_ref<unsigned int>(t->tp_version_tag).load(std::memory_order_relaxed);
}

bool assign_version_tag(PyTypeObject* t) noexcept { return PyUnstable_Type_AssignVersionTag(t) != 0; }

namespace {

bool no_defaults(PyObject* fn) {
    PyObject* d = PyFunction_GET_DEFAULTS(fn);
    return !d || (PyTuple_Check(d) && PyTuple_GET_SIZE(d) == 0);
}

// The code of `__new__(_cls, v0, ...): return _tuple_new(_cls, (v0, ...))`
// as this interpreter compiles it; NULL with no exception set if it cannot
// be made.
Ref packing_code(int fields) {
    std::string args, items;
    for (int i = 0; i < fields; ++i) {
        const std::string n = std::to_string(i);
        args.append(", v").append(n);
        items.append("v").append(n).append(", ");
    }
    std::string source = "def __new__(_cls";
    source.append(args).append("): return _tuple_new(_cls, (").append(items).append("))");
    Ref module = Ref::steal(Py_CompileString(source.c_str(), "<tuple_new>", Py_file_input));
    Ref consts = module ? Ref::steal(PyObject_GetAttrString(module.get(), "co_consts")) : Ref();
    if (consts && PyTuple_Check(consts.get()))
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(consts.get()); ++i)
            if (PyCode_Check(PyTuple_GET_ITEM(consts.get(), i))) return Ref::borrow(PyTuple_GET_ITEM(consts.get(), i));
    PyErr_Clear();
    return {};
}

// Whether two code objects have the same instructions and constants.
bool same_code(PyObject* a, PyObject* b) {
    for (const char* attr : {"co_code", "co_consts"}) {
        Ref x = Ref::steal(PyObject_GetAttrString(a, attr)), y = Ref::steal(PyObject_GetAttrString(b, attr));
        if (!x || !y || PyObject_RichCompareBool(x.get(), y.get(), Py_EQ) != 1) {
            PyErr_Clear();
            return false;
        }
    }
    return true;
}

long code_field(PyObject* code, const char* name) {
    Ref v = Ref::steal(PyObject_GetAttrString(code, name));
    const long r = v && PyLong_Check(v.get()) ? PyLong_AsLong(v.get()) : -1;
    PyErr_Clear();
    return r;
}

// A plain function whose code takes _cls and `fields` values, positionally,
// with no defaults, and names one global, _tuple_new, bound to tuple.__new__.
bool packing_signature(PyObject* fn, PyObject* code, int fields) {
    PyObject* globals = PyFunction_GET_GLOBALS(fn);
    Ref tuple_new = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyTuple_Type), "__new__"));
    PyObject* used = globals ? PyDict_GetItemString(globals, "_tuple_new") : nullptr;
    Ref names = Ref::steal(PyObject_GetAttrString(code, "co_names"));
    PyErr_Clear();
    return tuple_new && used == tuple_new.get() && code_field(code, "co_argcount") == fields + 1 &&
           code_field(code, "co_posonlyargcount") == 0 && code_field(code, "co_kwonlyargcount") == 0 &&
           !(code_field(code, "co_flags") & (CO_VARARGS | CO_VARKEYWORDS)) && no_defaults(fn) && names &&
           PyTuple_Check(names.get()) && PyTuple_GET_SIZE(names.get()) == 1 &&
           PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(names.get(), 0), "_tuple_new") == 0;
}

}  // namespace

bool plain_tuple_new(PyTypeObject* t, int fields) noexcept {
    if (fields < 0 || Py_TYPE(t) != &PyType_Type || t->tp_base != &PyTuple_Type || t->tp_init != PyTuple_Type.tp_init)
        return false;
    PyObject* dict = t->tp_dict;
    PyObject* wrapped = dict ? PyDict_GetItemString(dict, "__new__") : nullptr;  // the type is not yet shared
    if (!wrapped || !PyObject_TypeCheck(wrapped, &PyStaticMethod_Type)) return false;
    Ref fn = Ref::steal(PyObject_GetAttrString(wrapped, "__func__"));
    if (!fn || !PyFunction_Check(fn.get())) {
        PyErr_Clear();
        return false;
    }
    PyObject* code = PyFunction_GET_CODE(fn.get());
    if (!packing_signature(fn.get(), code, fields)) return false;
    Ref reference = packing_code(fields);
    return reference && same_code(code, reference.get());
}

int declare_gil_free(PyObject* module) noexcept {
#ifdef Py_GIL_DISABLED
    return PyUnstable_Module_SetGIL(module, Py_MOD_GIL_NOT_USED);
#else
    (void)module;  // the ordinary build has a GIL to keep, and no such call
    return 0;
#endif
}

bool is_immortal(PyObject* o) noexcept {
#if PY_VERSION_HEX >= 0x030E0000
    return PyUnstable_IsImmortal(o) != 0;
#elif defined(Py_GIL_DISABLED)
    return std::atomic_ref<uint32_t>(o->ob_ref_local).load(std::memory_order_relaxed) == _Py_IMMORTAL_REFCNT_LOCAL;
#else
    return Py_REFCNT(o) >= _Py_IMMORTAL_REFCNT;
#endif
}

PyObject* intern_immortal(PyObject* s) noexcept {
    if (!PyUnicode_CheckExact(s)) {
        PyErr_SetString(PyExc_TypeError, "only an exact str can be interned");
        return nullptr;
    }
    Py_INCREF(s);
    PyUnicode_InternInPlace(&s);
    return s;
}

PyObject* intern_immortal(const char* text) noexcept {
    PyObject* s = PyUnicode_FromString(text);
    if (!s) return nullptr;
    PyObject* interned = intern_immortal(s);
    Py_DECREF(s);
    return interned;
}

bool share_long_lived(PyObject* o) noexcept {
#if PY_VERSION_HEX >= 0x030F0000
    return PyUnstable_SetImmortal(o) == 1;
#elif PY_VERSION_HEX >= 0x030E0000
    // 3.14 makes immortal only its own objects, and offers deferred counts
    // instead (a no-op with a GIL).
    return PyUnstable_Object_EnableDeferredRefcount(o) == 1;
#elif defined(Py_GIL_DISABLED)
    // What the interpreter's _Py_SetImmortal does, which 3.13 does not
    // export: untracked by the collector (which skips immortal objects),
    // owned by no thread, local count at the immortal mark, no shared count.
    // Safe only while no other thread can hold a reference: owned by this
    // thread with one local and no shared reference.
    if (_Py_IsImmortal(o)) return true;
    if (!_Py_IsOwnedByCurrentThread(o) || o->ob_ref_local != 1 || o->ob_ref_shared != 0) return false;
    if (PyObject_IS_GC(o) && PyObject_GC_IsTracked(o)) PyObject_GC_UnTrack(o);
    o->ob_tid = 0;
    o->ob_ref_shared = 0;
    o->ob_ref_local = _Py_IMMORTAL_REFCNT_LOCAL;
    return true;
#else
    (void)o;  // with a GIL no other core contends for the count
    return false;
#endif
}

}  // namespace vy::unstable
