#include "namespace.h"
#include "errors.h"

namespace vy {

namespace {

// The counter of the module whose watcher won registration; the other
// modules point at it through the interpreter's dict.  Static storage, so it
// outlives every dict that the watcher may report on, until exit.
std::atomic<std::uint64_t> g_version{1};

int on_change(PyDict_WatchEvent, PyObject*, PyObject*, PyObject*) noexcept {
    g_version.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

struct Watch {
    int id;
    std::atomic<std::uint64_t>* version;
};

constexpr const char* kWatchCapsule = "vellary.namespace_watch";

void forget(PyObject* capsule) { delete static_cast<Watch*>(PyCapsule_GetPointer(capsule, kWatchCapsule)); }

// The package's watcher in this interpreter: registered by the first module
// to ask; a module that loses a race for it returns its own id.
const Watch& shared_watch() {
    PyObject* interp_dict = PyInterpreterState_GetDict(PyInterpreterState_Get());
    if (!interp_dict) raise(PyExc_RuntimeError, "no interpreter dict");
    Ref key = own(PyUnicode_FromString(kWatchCapsule));
    PyObject* found = nullptr;
    check(PyDict_GetItemRef(interp_dict, key.get(), &found));
    if (!found) {
        const int id = PyDict_AddWatcher(on_change);
        if (id < 0) raise();
        Ref mine = Ref::steal(PyCapsule_New(new Watch{id, &g_version}, kWatchCapsule, forget));
        if (!mine) {
            PyDict_ClearWatcher(id);
            raise();
        }
        if (PyDict_SetDefaultRef(interp_dict, key.get(), mine.get(), &found) < 0) {
            PyDict_ClearWatcher(id);
            raise();
        }
        if (found != mine.get()) PyDict_ClearWatcher(id);
    }
    Ref capsule = Ref::steal(found);
    auto* w = static_cast<Watch*>(PyCapsule_GetPointer(capsule.get(), kWatchCapsule));
    if (!w) raise();
    return *w;  // lives as long as the interpreter's dict holds the capsule
}

}  // namespace

const std::atomic<std::uint64_t>* watch_namespace(PyObject* ns) {
    const Watch& w = shared_watch();
    check(PyDict_Watch(w.id, ns));
    return w.version;
}

void watch_dict(PyObject* dict) { check(PyDict_Watch(shared_watch().id, dict)); }

void settle_namespace([[maybe_unused]] PyObject* ns) noexcept {
    Py_BEGIN_CRITICAL_SECTION(ns);
    Py_END_CRITICAL_SECTION();
}

}  // namespace vy
