// Look-ups of module-level names and the memos they take; see globals.h.
#include "globals.h"
#include "namespace.h"

#include <bit>
#include <cstdint>

namespace vy {

Ref module_value(const Name& name, std::uint64_t& version) {
    const ModuleState& m = module_state();
    version = m.ns_version->load(std::memory_order_acquire);
    // A modification that has moved the version may not be stored yet.
    settle_namespace(m.ns);
    PyObject* v = nullptr;
    check(PyDict_GetItemRef(m.ns, name.get(), &v));
    if (m.ns_version->load(std::memory_order_acquire) != version) version = 0;
    return Ref::steal(v);
}

void Global::remember(std::uint64_t version, std::uintptr_t what, std::uint64_t bits) const noexcept {
    if (!version) return;
    std::uint32_t s = seq_.load(std::memory_order_relaxed);
    if ((s & 1) || !seq_.compare_exchange_strong(s, s + 1, std::memory_order_acquire)) return;
    version_.store(version, std::memory_order_relaxed);
    bits_.store(bits, std::memory_order_relaxed);
    what_.store(what, std::memory_order_relaxed);
    seq_.store(s + 2, std::memory_order_release);
}

Num global_value_looked_up(const Global& name) {
    std::uint64_t version;
    Ref v = module_value(name, version);
    if (!v) return global_num(name);
    Num n = Num::steal(std::move(v));
    if (n.is_float()) name.remember(version, Global::kFloat, std::bit_cast<std::uint64_t>(n.f()));
    if (n.is_int()) name.remember(version, Global::kInt, std::bit_cast<std::uint64_t>(n.i()));
    return n;
}

Ref global_function_looked_up(const Global& name, const Genuine& genuine) {
    std::uint64_t version;
    Ref v = module_value(name, version);
    if (!v) return global(name);
    if (!genuine.is(v.get())) return v;
    name.remember(version, reinterpret_cast<std::uintptr_t>(&genuine), 0);
    return {};
}

Ref ModuleFunction::looked_up() const {
    Ref module = global(module_);
    Ref fn = own(PyObject_GetAttr(module.get(), name_.get()));
    if (!genuine_.is(fn.get()) || !PyModule_CheckExact(module.get())) return fn;
    // An exact module's attribute is its dict's entry.  The memo holds
    // while both dicts are as read after the version was taken: watch the
    // module's dict first, then read both again without running any code.
    const ModuleState& m = module_state();
    PyObject* dict = PyModule_GetDict(module.get());
    watch_dict(dict);
    const std::uint64_t version = m.ns_version->load(std::memory_order_acquire);
    settle_namespace(m.ns);
    settle_namespace(dict);
    PyObject *bound = nullptr, *attr = nullptr;
    check(PyDict_GetItemRef(m.ns, module_.get(), &bound));
    Ref bound_ref = Ref::steal(bound);
    check(PyDict_GetItemRef(dict, name_.get(), &attr));
    Ref attr_ref = Ref::steal(attr);
    if (bound == module.get() && attr == fn.get() && m.ns_version->load(std::memory_order_acquire) == version)
        module_.remember(version, reinterpret_cast<std::uintptr_t>(&genuine_), 0);
    return {};
}

}  // namespace vy
