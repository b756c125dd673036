// The version of a module dict, kept through the interpreter's dict-watcher
// API.  Memos of module-level values (expr.h) hold while it reads the same.
#pragma once

#include <atomic>
#include <cstdint>

#include "ref.h"

namespace vy {

// Watches the module dict `ns` and returns its version counter.  The counter
// is shared by every module of the package in the interpreter (which has
// only six watchers for all extensions), so it moves with a change to any of
// their dicts; it is never 0.
//
// A watcher runs before the modification it reports, under the dict's lock:
// a reader that saw the counter at v, then waited out that lock, sees every
// modification that made it v (see module_value in expr.cpp).
const std::atomic<std::uint64_t>* watch_namespace(PyObject* ns);

// Watches another dict with the same watcher (a module whose attributes a
// memo reads), so that its changes move the same version.
void watch_dict(PyObject* dict);

// Waits until no thread is modifying `ns` (a no-op where a GIL serialises).
void settle_namespace(PyObject* ns) noexcept;

}  // namespace vy
