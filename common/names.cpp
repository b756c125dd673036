// Module-level names looked up at the moment of use.
#include "names.h"

#include <cstring>

#include "module.h"

namespace vy {

Ref global(const Name& name) {
    const ModuleState& m = ModuleState::get();
    PyObject* v = nullptr;
    if (check(PyDict_GetItemRef(m.ns, name.get(), &v))) return Ref::steal(v);
    if (check(PyObject_GetOptionalAttr(m.builtins, name.get(), &v))) return Ref::steal(v);
    raise_format(PyExc_NameError, "name '%U' is not defined", name.get());
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
