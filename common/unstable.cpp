#include "unstable.h"

#include <atomic>

namespace vy::unstable {

bool type_has(PyTypeObject* t, PyObject* name) noexcept { return _PyType_Lookup(t, name) != nullptr; }

PyObject* type_lookup(PyTypeObject* t, PyObject* name) noexcept { return Py_XNewRef(_PyType_Lookup(t, name)); }

unsigned int version_tag(PyTypeObject* t) noexcept {
    // Written by other threads when a type is modified: read atomically.
    return std::atomic_ref<unsigned int>(t->tp_version_tag).load(std::memory_order_relaxed);
}

bool assign_version_tag(PyTypeObject* t) noexcept { return PyUnstable_Type_AssignVersionTag(t) != 0; }

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
