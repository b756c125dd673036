// The parts of formulas that are not templates; see expr.h.
#include "expr.h"
#include "namespace.h"
#include "plain.h"

#include <bit>
#include <cstdint>

namespace vy {

bool plain_global(const Global& g, Plain& out) noexcept {
    std::uintptr_t what;
    std::uint64_t bits;
    if (!g.memo(what, bits)) return false;
    if (what == Global::kFloat) {
        out = Plain(std::bit_cast<double>(bits));
        return true;
    }
    if (what != Global::kInt) return false;
    out = Plain::integer(std::bit_cast<std::int64_t>(bits));
    return true;
}

bool plain_global_int(const Global& g, int lo, int hi, int& out) noexcept {
    std::uintptr_t what;
    std::uint64_t bits;
    if (!g.memo(what, bits) || what != Global::kInt) return false;
    const std::int64_t i = std::bit_cast<std::int64_t>(bits);
    if (i < lo || i > hi) return false;
    out = int(i);
    return true;
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
