// Calls of module-level names that may hold the library's own code.
//
// A body that calls a module-level name looks it up at each call, so that
// rebinding the name changes its callers from the next call on.  While the
// name still holds the module's own function (or a helper of the library's
// own, for a name imported from a pure-Python module), the caller may run
// the callee's body directly: no argument tuple, no boxing, no namespace
// call.  The memo of the name decides it, validated by the namespace's
// version as the memos of module-level numbers are (expr.h): the machine run
// reads it without touching any shared reference count.
#pragma once

#include <atomic>
#include <cstdint>

#include "expr.h"
#include "function.h"

namespace vy {

// A module-level name bound at exec to the module's own function of `def`.
class Callee {
public:
    Callee(const char* name, const FunctionDef& def) : name_(name), def_(def) {}
    Callee(const Callee&) = delete;
    const Global& name() const noexcept { return name_; }
    const FunctionDef& def() const noexcept { return def_; }

    // The function object while the memo, current, says the name holds the
    // module's own function; else NULL (the machine run then bails).  The
    // object stays alive: this record keeps a reference to it.
    FunctionObject* ours_now() const noexcept {
        std::uintptr_t what;
        std::uint64_t bits;
        if (!name_.memo(what, bits) || what <= Global::kInt) return nullptr;
        return reinterpret_cast<FunctionObject*>(what);  // only the kept object is remembered
    }
    // The module's own function while the name holds it (from the memo, or
    // looked up and remembered); else NULL, with `other` what it holds.
    FunctionObject* lookup(Ref& other) const {
        if (FunctionObject* f = ours_now()) return f;
        return looked_up(other);
    }

    // name(...): `direct(callee)` in its place while the name holds the
    // module's own function (as `called` runs it), else `generic(fn)`.
    template <class Direct, class Generic>
    auto call(Direct&& direct, Generic&& generic) const {
        Ref other;
        if (lookup(other)) return called(def_, direct);
        return generic(other.get());
    }
    // The same where the caller's values allow the direct run (`direct_ok`),
    // else generic(fn) with whatever the name holds.
    template <class Direct, class Generic>
    auto call_if(bool direct_ok, Direct&& direct, Generic&& generic) const {
        Ref holder;
        bool is_ours;
        PyObject* fn = held(holder, is_ours);
        if (is_ours && direct_ok) return called(def_, direct);
        return generic(fn);
    }
    // Whether the name holds the module's own function now; a missing name
    // raises NameError, as its use would.
    bool ours() const {
        Ref other;
        return lookup(other) != nullptr;
    }
    // What the name holds now, for a caller that may still call it
    // generically: the module's own function (`ours` true; kept alive by
    // this record or `holder`) or whatever else (owned by `holder`).
    PyObject* held(Ref& holder, bool& ours) const {
        FunctionObject* f = lookup(holder);
        ours = f != nullptr;
        return ours ? reinterpret_cast<PyObject*>(f) : holder.get();
    }

private:
    FunctionObject* looked_up(Ref& other) const;
    Global name_;
    const FunctionDef& def_;
    mutable std::atomic<PyObject*> kept_{nullptr};  // set once, strong
};

// A module-level name bound at exec to a function of a pure-Python module of
// the library (`calcBounds` of boxmath, say), which the module's code may
// stand in for with a twin of its own while the name, the helper's code and
// the names the helper reads (its module and builtins dicts) are unchanged.
class Helper {
public:
    Helper(const char* name, const char* module) : name_(name), module_(module) {}
    Helper(const Helper&) = delete;
    const Global& name() const noexcept { return name_; }

    // At exec, after the import that bound the name: recognises the bound
    // object as the library's helper when it is a plain function of that
    // module under that name, and watches the dicts it reads its names from.
    void recognise(PyObject* fn);

    // Whether the memo, current, says the name holds the helper as it was.
    bool ours_now() const noexcept {
        std::uintptr_t what;
        std::uint64_t bits;
        return fn_ && name_.memo(what, bits) && what == reinterpret_cast<std::uintptr_t>(fn_) && code_unchanged();
    }
    // What the name holds: the helper (kept by this record) while the memo
    // says so, else the object looked up, owned by `holder`.
    PyObject* lookup(Ref& holder) const {
        if (ours_now()) return fn_;
        holder = looked_up();
        return holder.get();
    }

private:
    Ref looked_up() const;
    bool code_unchanged() const noexcept;
    Global name_;
    const char* module_;
    PyObject* fn_ = nullptr;    // strong, set at exec
    PyObject* code_ = nullptr;  // strong: its code object then
};

}  // namespace vy
