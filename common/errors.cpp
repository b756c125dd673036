// Exceptions and traceback entries.
#include "errors.h"

#include "module.h"

#include <frameobject.h>

#include <cstdarg>
#include <new>
#include <unordered_map>

namespace vy {

void raise(PyObject* type, const char* message) {
    PyErr_SetString(type, message);
    throw PyError{};
}

void raise_format(PyObject* type, const char* format, ...) {
    va_list va;
    va_start(va, format);
    PyErr_FormatV(type, format, va);
    va_end(va);
    throw PyError{};
}

void exception_to_python() noexcept {
    try {
        throw;
    } catch (const PyError&) {
        // Set where it was raised.
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
    }
}

namespace {

// Code objects of traceback entries, made on first use.  Entries are only
// ever added, and readers and writers from any thread meet under the mutex.
struct Key {
    PyObject* name;
    int line;
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    std::size_t operator()(const Key& k) const noexcept {
        return std::hash<const void*>()(k.name) * 31u + std::hash<int>()(k.line);
    }
};

struct CodeCache {
    PyMutex mutex{};
    std::unordered_map<Key, PyCodeObject*, KeyHash> codes;
};

CodeCache& code_cache() {
    static CodeCache cache;  // thread-safe initialisation; never destroyed before exit
    return cache;
}

PyCodeObject* traceback_code(PyObject* name, int line) {
    // Names are interned and live as long as the process, so their
    // addresses identify them.
    const Key key{name, line};
    CodeCache& cache = code_cache();
    PyMutex_Lock(&cache.mutex);
    auto it = cache.codes.find(key);
    PyCodeObject* code = it == cache.codes.end() ? nullptr : it->second;
    PyMutex_Unlock(&cache.mutex);
    if (code) return code;

    const char* cname = PyUnicode_AsUTF8(name);
    const char* file = PyUnicode_AsUTF8(ModuleState::get().filename);
    if (!cname || !file) return nullptr;
    code = PyCode_NewEmpty(file, cname, line);
    if (!code) return nullptr;
    PyMutex_Lock(&cache.mutex);
    auto [pos, inserted] = cache.codes.emplace(key, code);
    PyMutex_Unlock(&cache.mutex);
    if (!inserted) {
        Py_DECREF(code);
        code = pos->second;
    }
    return code;
}

}  // namespace

void add_traceback(PyObject* dotted_name, int line) noexcept {
    PyObject* globals = ModuleState::get().ns;
    if (!globals) return;
    // Building the entry must not disturb the exception being reported.
    PyObject* exc = PyErr_GetRaisedException();
    PyCodeObject* code = traceback_code(dotted_name, line);
    PyFrameObject* frame = code ? PyFrame_New(PyThreadState_Get(), code, globals, nullptr) : nullptr;
    PyErr_Clear();
    PyErr_SetRaisedException(exc);
    if (!frame) return;
    PyTraceBack_Here(frame);
    Py_DECREF(frame);
}

}  // namespace vy
