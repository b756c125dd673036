#include "lists.h"

namespace vy {

Ref list_of_size(Py_ssize_t n) {
    // When PyList_New cannot allocate the items, it releases the new list
    // with an item pointer it never set; a list reused from the free list
    // still holds its last one, and releasing it again corrupts the heap.
    // So an allocation that would fail is tried, and fails, here first.
    constexpr Py_ssize_t kSurelyAvailable = Py_ssize_t(1) << 16;
    if (n > kSurelyAvailable) {
        const std::size_t limit = std::size_t(PY_SSIZE_T_MAX) / sizeof(PyObject*) - 1;
        void* probe = std::size_t(n) > limit ? nullptr : PyMem_Malloc((std::size_t(n) + 1) * sizeof(PyObject*));
        if (!probe) {
            PyErr_NoMemory();
            raise();
        }
        PyMem_Free(probe);
    }
    return own(PyList_New(n));
}

}  // namespace vy
