// Lists whose size comes from the caller (a __len__ may claim anything up to
// sys.maxsize): a size that cannot be allocated raises MemoryError, as
// `[None] * n` does.
#pragma once

#include "frame.h"

namespace vy {

// A new list of n slots, each to be filled once with PyList_SET_ITEM.
Ref list_of_size(Py_ssize_t n);
// Fills slot i of such a list, once.
inline void fill(PyObject* list, Py_ssize_t i, Ref item) noexcept { PyList_SET_ITEM(list, i, item.release()); }

}  // namespace vy
