// Module-level names looked up at the moment of use.
#include "names.h"

#include <cstring>

#include "module.h"
#include "namespace.h"
#include "unstable.h"

namespace vy {

Ref global(const Name& name) {
    const ModuleState& m = ModuleState::get();
    PyObject* v = nullptr;
    if (check(PyDict_GetItemRef(m.ns, name.get(), &v))) return Ref::steal(v);
    if (check(PyObject_GetOptionalAttr(m.builtins, name.get(), &v))) return Ref::steal(v);
    raise_format(PyExc_NameError, "name '%U' is not defined", name.get());
}

void Expected::record(PyObject* o) noexcept { Py_XSETREF(obj_, Py_XNewRef(o)); }

bool Expected::holds() const noexcept {
    if (!obj_) return false;
    const std::uint64_t version = module_state().ns_version->load(std::memory_order_acquire);
    if (seen_.load(std::memory_order_relaxed) == version) return true;
    return looked_up(version);
}

bool Expected::looked_up(std::uint64_t version) const noexcept {
    const ModuleState& m = module_state();
    // A modification that moved the version to `version` may still be under
    // way: once it is done, the dict holds what that version stands for.
    settle_namespace(m.ns);
    PyObject* bound = nullptr;
    if (PyDict_GetItemRef(m.ns, name_.get(), &bound) < 0) {
        PyErr_Clear();
        return false;
    }
    Py_XDECREF(bound);  // only its identity matters
    if (bound != obj_) return false;
    seen_.store(version, std::memory_order_relaxed);
    return true;
}

Ref constant_text(const char* text) { return own(unstable::intern_immortal(text)); }

Ref constant_text(Ref s) { return own(unstable::intern_immortal(s.get())); }

Ref interned_list(std::span<const char* const> texts) {
    Ref list = own(PyList_New(Py_ssize_t(texts.size())));
    for (std::size_t i = 0; i < texts.size(); ++i)
        PyList_SET_ITEM(list.get(), Py_ssize_t(i), own(PyUnicode_InternFromString(texts[i])).release());
    return list;
}

bool is_builtin_function(PyObject* fn, const char* module, const char* name) noexcept {
    if (!PyCFunction_Check(fn)) return false;
    const PyMethodDef* ml = reinterpret_cast<PyCFunctionObject*>(fn)->m_ml;
    if (!ml || std::strcmp(ml->ml_name, name) != 0) return false;
    PyObject* self = PyCFunction_GET_SELF(fn);
    if (!self || !PyModule_Check(self)) return false;
    PyModuleDef* def = PyModule_GetDef(self);
    if (def && def->m_name && std::strcmp(def->m_name, module) == 0) return true;
    PyErr_Clear();
    return false;
}

}  // namespace vy
