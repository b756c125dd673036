// The parts of formulas that are not templates; see expr.h.
#include "expr.h"
#include "unstable.h"

#include <bit>
#include <cstdint>

namespace vy {

namespace {

using unstable::dict_version;

constexpr std::uintptr_t kFloat = 1, kInt = 2;  // a Genuine* is never 1 or 2

// The name's value from the module dict, with the version it was read at
// (0 when the dict changed meanwhile); NULL when the dict lacks it.
Ref module_value(const Name& name, std::uint64_t& version) {
    PyObject* ns = module_state().ns;
    version = dict_version(ns);
    PyObject* v = nullptr;
    check(PyDict_GetItemRef(ns, name.get(), &v));
    if (dict_version(ns) != version) version = 0;
    return Ref::steal(v);
}

}  // namespace

// The memo's reader and writer; see Global.
struct Memo {
    static bool read(const Global& g, std::uintptr_t& what, std::uint64_t& bits) noexcept {
        const std::uint32_t s1 = g.seq_.load(std::memory_order_acquire);
        if (s1 & 1) return false;
        const std::uint64_t version = g.version_.load(std::memory_order_relaxed);
        bits = g.bits_.load(std::memory_order_relaxed);
        what = g.what_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        return g.seq_.load(std::memory_order_relaxed) == s1 && version &&
               version == dict_version(module_state().ns);
    }
    static void write(const Global& g, std::uint64_t version, std::uintptr_t what, std::uint64_t bits) noexcept {
        if (!version) return;
        std::uint32_t s = g.seq_.load(std::memory_order_relaxed);
        if ((s & 1) || !g.seq_.compare_exchange_strong(s, s + 1, std::memory_order_acquire)) return;
        g.version_.store(version, std::memory_order_relaxed);
        g.bits_.store(bits, std::memory_order_relaxed);
        g.what_.store(what, std::memory_order_relaxed);
        g.seq_.store(s + 2, std::memory_order_release);
    }
};

Num global_value(const Global& name) {
    std::uintptr_t what;
    std::uint64_t bits;
    if (Memo::read(name, what, bits)) {
        if (what == kFloat) return Num(std::bit_cast<double>(bits));
        if (what == kInt) return Num::integer(std::bit_cast<std::int64_t>(bits));
    }
    std::uint64_t version;
    Ref v = module_value(name, version);
    if (!v) return global_num(name);
    Num n = Num::steal(std::move(v));
    if (n.is_float()) Memo::write(name, version, kFloat, std::bit_cast<std::uint64_t>(n.f()));
    if (n.is_int()) Memo::write(name, version, kInt, std::bit_cast<std::uint64_t>(n.i()));
    return n;
}

Ref global_function(const Global& name, const Genuine& genuine) {
    std::uintptr_t what;
    std::uint64_t bits;
    if (Memo::read(name, what, bits) && what == reinterpret_cast<std::uintptr_t>(&genuine)) return {};
    std::uint64_t version;
    Ref v = module_value(name, version);
    if (!v) return global(name);
    if (!genuine.is(v.get())) return v;
    Memo::write(name, version, reinterpret_cast<std::uintptr_t>(&genuine), 0);
    return {};
}

Num item_value(PyObject* seq, Py_ssize_t index) {
    if (index >= 0) {
        if (PyTuple_CheckExact(seq) && index < PyTuple_GET_SIZE(seq)) return Num::from(PyTuple_GET_ITEM(seq, index));
        if (PyList_CheckExact(seq)) {
            // Another thread may shrink the list: read the item with a strong
            // reference, and leave the error of a missing one to the interpreter.
            if (PyObject* v = PyList_GetItemRef(seq, index)) return Num::steal(Ref::steal(v));
            PyErr_Clear();
        }
    }
    return Num::steal(item(seq, index));
}

}  // namespace vy
