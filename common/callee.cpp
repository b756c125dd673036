// Module-level names that may hold the library's own code; see callee.h.
#include "callee.h"

#include <cstring>

#include "namespace.h"

namespace vy {

namespace {

bool attribute_is(PyObject* o, const char* attr, const char* text) {
    Ref v = own(PyObject_GetAttrString(o, attr));
    return PyUnicode_Check(v.get()) && PyUnicode_CompareWithASCIIString(v.get(), text) == 0;
}

}  // namespace

FunctionObject* Callee::looked_up(Ref& other) const {
    std::uint64_t version;
    Ref v = module_value(name_, version);
    if (!v) {
        other = global(name_);
        return nullptr;
    }
    if (!is_function_of(v.get(), def_)) {
        other = std::move(v);
        return nullptr;
    }
    // Keep the module's own object, so that a memo of it never outlives it.
    PyObject* kept = kept_.load(std::memory_order_acquire);
    if (!kept) {
        PyObject* expected = nullptr;
        kept = Py_NewRef(v.get());
        if (!kept_.compare_exchange_strong(expected, kept, std::memory_order_acq_rel)) {
            Py_DECREF(kept);
            kept = expected;
        }
    }
    if (kept == v.get()) {
        name_.remember(version, reinterpret_cast<std::uintptr_t>(kept), 0);
        return reinterpret_cast<FunctionObject*>(kept);
    }
    other = std::move(v);
    return reinterpret_cast<FunctionObject*>(other.get());
}

void Helper::recognise(PyObject* fn) {
    Py_CLEAR(fn_);
    if (!PyFunction_Check(fn) || !attribute_is(fn, "__module__", module_) ||
        !attribute_is(fn, "__qualname__", name_.text()))
        return;
    // The helper reads its names from its module's dict, then from the
    // builtins it was made with: changes to either move the version.
    auto* f = reinterpret_cast<PyFunctionObject*>(fn);
    watch_dict(f->func_globals);
    watch_dict(f->func_builtins);
    fn_ = Py_NewRef(fn);
    Py_XSETREF(code_, Py_NewRef(f->func_code));
}

bool Helper::code_unchanged() const noexcept {
    // Assigning __code__ moves no dict version; the field is a pointer the
    // interpreter swaps whole.
    PyObject* code = __atomic_load_n(&reinterpret_cast<PyFunctionObject*>(fn_)->func_code, __ATOMIC_RELAXED);
    return code == code_;
}

Ref Helper::looked_up() const {
    std::uint64_t version;
    Ref v = module_value(name_, version);
    if (!v) return global(name_);
    if (fn_ && v.get() == fn_ && code_unchanged()) name_.remember(version, reinterpret_cast<std::uintptr_t>(fn_), 0);
    return v;
}

}  // namespace vy
