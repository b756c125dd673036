// Function records, argument slots, function objects and calls.
#pragma once

#include <cassert>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "names.h"

namespace vy {

enum class Kind : std::uint8_t { Object, Double, Complex, Int, Bool, List, Set };

struct Param {
    const char* name;
    Kind kind = Kind::Object;
    bool none_ok = false;  // for List/Set
};

inline constexpr int kMaxParams = 16;

union Slot {
    PyObject* o;
    double d;
    Py_complex z;
    int i;
    bool b;
};

// Arguments after binding and conversion.  Objects are borrowed for the
// duration of the call.  Each accessor reads the member of the slot that the
// parameter's kind fills; debug builds check that it is that one.
struct Args {
    Slot v[kMaxParams];
    PyObject* varargs = nullptr;  // the `*` tuple, when the function has one
#ifndef NDEBUG
    std::span<const Param> params{};
#endif

    PyObject* o(int i) const noexcept {
        expect(i, Kind::Object, Kind::List, Kind::Set);
        return v[i].o;
    }
    double d(int i) const noexcept {
        expect(i, Kind::Double);
        return v[i].d;
    }
    Py_complex z(int i) const noexcept {
        expect(i, Kind::Complex);
        return v[i].z;
    }
    int i(int i) const noexcept {
        expect(i, Kind::Int);
        return v[i].i;
    }
    bool b(int i) const noexcept {
        expect(i, Kind::Bool);
        return v[i].b;
    }

private:
    template <class... K>
    void expect([[maybe_unused]] int i, [[maybe_unused]] K... kinds) const noexcept {
#ifndef NDEBUG
        assert(params.empty() || (i >= 0 && std::size_t(i) < params.size() && ((params[i].kind == kinds) || ...)));
#endif
    }
};

struct FunctionObject;
struct FunctionDef;

// What a body sees of its call: the function object and the program
// counter that traceback entries report.
struct Call {
    FunctionObject* fn;
    const FunctionDef* def;
    int line;
    void at(int l) noexcept { line = l; }
    PyObject* closure() const noexcept;
};

using Body = PyObject* (*)(Call&, Args&);
struct Gen;
using GenBody = Gen (*)(Args);  // a generator: the body runs on iteration

// The static description of one Python-visible function.
struct FunctionDef {
    const char* name;
    const char* qualname = nullptr;   // defaults to name
    const char* signature = nullptr;  // first line of __doc__
    const char* doc = nullptr;        // the description as written in the source
    bool doctest = false;             // listed in __test__
    int line = 0;                     // definition line
    int conversion_line = 0;          // line of typed-parameter errors, 0: `line`
    std::span<const Param> params{};  // positional-or-keyword, then keyword-only
    int nkwonly = 0;
    const char* varargs = nullptr;    // name of the `*` parameter
    std::span<const char* const> locals{};
    // Functions defined in this one's body (made by each call): prepared
    // with it, since no call may fill a record other threads read.
    std::span<FunctionDef* const> nested{};
    Body body = nullptr;
    GenBody generator = nullptr;

    // Filled once at exec.
    PyObject* py_name = nullptr;
    PyObject* py_qualname = nullptr;
    PyObject* py_dotted = nullptr;    // "vellary.misc.curvemath.solveCubic"
    PyObject* py_doc = nullptr;
    PyObject* py_code = nullptr;
    PyObject* py_params[kMaxParams] = {};

    int npos() const noexcept { return int(params.size()) - nkwonly; }
};

struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    FunctionDef* def;
    PyObject* module;       // __module__
    PyObject* defaults;     // tuple or NULL
    PyObject* kwdefaults;   // dict or NULL
    PyObject* closure;      // tuple or NULL
    PyObject* annotations;  // dict or NULL (made on first access)
    PyObject* dict;
    PyObject* weakrefs;
};

inline PyObject* Call::closure() const noexcept { return fn->closure; }

// A new generator object running `def.generator` over the arguments, which
// it keeps alive.
Ref make_generator(const FunctionDef& def, PyObject* const* slots, Args& args, Ref varargs);
// The same for arguments already bound and converted, as a call of the
// function object would bind them: a caller that knows the function object
// is the one of `def` starts the generator without a call.
Ref make_generator(const FunctionDef& def, Args& args);

// Makes a function object of `def` in the module namespace's context.  It
// lives as long as the process, like the module that holds it.
Ref make_function(FunctionDef& def, PyObject* defaults = nullptr, PyObject* kwdefaults = nullptr,
                  PyObject* closure = nullptr, PyObject* annotations = nullptr);

// A closure of one cell per value, as a nested function's __closure__, and
// the contents of cell `i` of a call's closure.
Ref closure_of(std::initializer_list<PyObject*> values);
Ref cell_contents(const Call& c, Py_ssize_t i);

// A nested function, made by each call of its enclosing function and freed
// with its last reference.
Ref make_local_function(FunctionDef& def, PyObject* closure = nullptr);

// True when `fn` is a function object made from `def` (so its body may be
// called directly, bypassing binding).
bool is_function_of(PyObject* fn, const FunctionDef& def) noexcept;

// Calls of module-level names that may hold the module's own function:
// callee.h.

// Runs a body of `def` in place of a call to its function object (known to
// be the one the caller would call), with the traceback entry that call
// would add; `body` receives the callee's Call.
template <class F>
auto called(const FunctionDef& def, F&& body) {
    Call callee{nullptr, &def, def.line};
    try {
        return body(callee);
    } catch (const PyError&) {
        add_traceback(def.py_dotted, callee.line);
        throw;
    }
}

// Calls a Python callable with positional arguments (vectorcall).
Ref call(PyObject* fn, std::initializer_list<PyObject*> args);
// fn(*before, *spread, *after): `spread` is any iterable.
Ref call_star(PyObject* fn, std::initializer_list<PyObject*> before, PyObject* spread,
              std::initializer_list<PyObject*> after = {});
// fn(*positional, k1=v1, ...): `keywords` names the values, in order.
Ref call_kw(PyObject* fn, std::initializer_list<PyObject*> positional, std::initializer_list<const Name*> keywords,
            std::initializer_list<PyObject*> values);

// True when the calling thread's C stack is nearly used up.  The
// interpreter's limit counts calls, not bytes, and a thread started with a
// small stack runs out of bytes first.
bool stack_nearly_exhausted() noexcept;

// Native recursion, bounded by the interpreter's recursion limit and by the
// thread's own stack: a body that recurses through Python calls holds one
// for its call.
class Recursion {
public:
    explicit Recursion(const char* where) {
        if (stack_nearly_exhausted()) {
            PyErr_Format(PyExc_RecursionError, "maximum recursion depth exceeded%s", where);
            raise();
        }
        if (Py_EnterRecursiveCall(where)) raise();
    }
    ~Recursion() { Py_LeaveRecursiveCall(); }
    Recursion(const Recursion&) = delete;
    Recursion& operator=(const Recursion&) = delete;
};

}  // namespace vy
