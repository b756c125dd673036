// Names: identifiers interned at exec, module-level names looked up at the
// moment of use, builtins cached at exec, and internal operations with their
// own traceback entries.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <span>

#include "errors.h"

namespace vy {

// An identifier the module's code uses; interned once at exec.
class Name {
public:
    explicit Name(const char* text);
    PyObject* get() const noexcept { return obj_; }
    const char* text() const noexcept { return text_; }

private:
    friend struct ModuleState;
    const char* text_;
    PyObject* obj_ = nullptr;
};

// A text constant made while the module body runs (a class attribute, a
// default): interned, and so immortal where threads run at once, so that
// the threads sharing it never write its reference count
// (unstable::intern_immortal).
Ref constant_text(const char* text);
Ref constant_text(Ref s);

// A new list of interned texts (a module's __all__).
Ref interned_list(std::span<const char* const> texts);

// A module-level name that the module's code expects to hold one object,
// recorded at exec (a class the body made or imported): whether it still
// does, remembered per version of the module dict (namespace.h), so that the
// common case reads no dict and writes no reference count.
class Expected {
public:
    explicit Expected(const Name& name) noexcept : name_(name) {}
    Expected(const Expected&) = delete;
    Expected& operator=(const Expected&) = delete;
    // At exec: the object the name is expected to hold, kept alive for the
    // life of the process.
    void record(PyObject* o) noexcept;
    PyObject* object() const noexcept { return obj_; }
    // Whether the name holds that object now.  An error of the look-up
    // counts as no (and is cleared): the general path meets it again.
    bool holds() const noexcept;

private:
    bool looked_up(std::uint64_t version) const noexcept;
    const Name& name_;
    PyObject* obj_ = nullptr;
    // The version of the module dict at which the name last held it; 0: never.
    mutable std::atomic<std::uint64_t> seen_{0};
};

// A builtin fetched once at exec; later rebinding does not reach it.
class Builtin {
public:
    explicit Builtin(const char* name);
    PyObject* get() const noexcept { return obj_; }

private:
    friend struct ModuleState;
    const char* name_;
    PyObject* obj_ = nullptr;
};

// A genuine builtin function (`module.name`, fetched at exec and verified to
// be the interpreter's own), so that a C fast path may stand in for a call to
// the very same object.
class Genuine {
public:
    Genuine(const char* module, const char* name);
    bool is(PyObject* fn) const noexcept { return fn && fn == obj_; }
    PyObject* get() const noexcept { return obj_; }

private:
    friend struct ModuleState;
    const char* module_;
    const char* name_;
    PyObject* obj_ = nullptr;
};

// Looks a module-level name up at the moment of use: module dict, then
// builtins, else NameError.
Ref global(const Name& name);

// True when fn is the genuine builtin `module.name` (so a C fast path may
// replace the call).
bool is_builtin_function(PyObject* fn, const char* module, const char* name) noexcept;

// An internal operation: not Python-visible, but an exception leaving it
// carries a traceback entry of its own.
class Internal {
public:
    explicit Internal(const char* qualname);
    PyObject* dotted() const noexcept { return dotted_; }

private:
    friend struct ModuleState;
    const char* qualname_;
    PyObject* dotted_ = nullptr;
};

// The program counter of an internal operation; adds its traceback entry
// when an exception unwinds through it.
class Frame {
public:
    Frame(const Internal& fn, int line) noexcept : fn_(fn), line(line) {}
    ~Frame() {
        if (std::uncaught_exceptions() > pending_ && PyErr_Occurred()) add_traceback(fn_.dotted(), line);
    }
    void at(int l) noexcept { line = l; }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

private:
    const Internal& fn_;

public:
    int line;

private:
    int pending_ = std::uncaught_exceptions();
};

}  // namespace vy
