// The extension frame shared by every vellary module: references, errors and
// traceback entries, function objects and argument binding, typed
// conversions, name lookup and module initialisation.
//
// Each module is its own shared library with this frame linked in statically
// and all symbols hidden, so the frame's process-wide state (the module
// object, its namespace, the interned names) exists once per module.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <exception>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

namespace vy {

// ---------------------------------------------------------------- references

// Owner of one strong reference; move-only, so no path can leak it.
class Ref {
public:
    Ref() = default;
    static Ref steal(PyObject* p) noexcept { return Ref(p); }
    static Ref borrow(PyObject* p) noexcept { return Ref(Py_XNewRef(p)); }
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            PyObject* old = p_;
            p_ = o.p_;
            o.p_ = nullptr;
            Py_XDECREF(old);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    Ref copy() const noexcept { return borrow(p_); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit Ref(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

// ---------------------------------------------------------------- errors

// Thrown when a Python exception has been set: it travels through C++ to the
// boundary of the Python-visible function, which adds its traceback entry.
struct PyError {};

[[noreturn]] inline void raise() { throw PyError{}; }
[[noreturn]] void raise(PyObject* type, const char* message);
[[noreturn]] void raise_format(PyObject* type, const char* format, ...);

// A new reference returned by the C API, or a throw if it failed.
inline Ref own(PyObject* p) {
    if (!p) raise();
    return Ref::steal(p);
}
inline int check(int status) {
    if (status < 0) raise();
    return status;
}

// Adds one traceback entry (code name, source-file name, line) to the
// exception being raised.  Code objects are cached per (name, line).
void add_traceback(PyObject* dotted_name, int line) noexcept;

// ---------------------------------------------------------------- names

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

// ---------------------------------------------------------------- functions

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
// duration of the call.
struct Args {
    Slot v[kMaxParams];
    PyObject* varargs = nullptr;  // the `*` tuple, when the function has one

    PyObject* o(int i) const noexcept { return v[i].o; }
    double d(int i) const noexcept { return v[i].d; }
    Py_complex z(int i) const noexcept { return v[i].z; }
    int i(int i) const noexcept { return v[i].i; }
    bool b(int i) const noexcept { return v[i].b; }
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

// Makes a function object of `def` in the module namespace's context.
Ref make_function(FunctionDef& def, PyObject* defaults = nullptr, PyObject* kwdefaults = nullptr,
                  PyObject* closure = nullptr, PyObject* annotations = nullptr);

// True when `fn` is a function object made from `def` (so its body may be
// called directly, bypassing binding).
bool is_function_of(PyObject* fn, const FunctionDef& def) noexcept;

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

// ---------------------------------------------------------------- conversions

double to_double(PyObject* o);
Py_complex to_complex(PyObject* o);
int to_int(PyObject* o);
bool to_bool(PyObject* o);

inline Ref float_object(double d) { return own(PyFloat_FromDouble(d)); }
inline Ref int_object(long long v) { return own(PyLong_FromLongLong(v)); }
inline Ref bool_object(bool b) { return Ref::borrow(b ? Py_True : Py_False); }

// Sequence unpacking with the frame's messages; `out` receives strong refs.
void unpack(PyObject* seq, Ref* out, Py_ssize_t n);
template <std::size_t N>
std::array<Ref, N> unpack(PyObject* seq) {
    std::array<Ref, N> out;
    unpack(seq, out.data(), Py_ssize_t(N));
    return out;
}

// A new list holding the given objects (each gains a reference).
Ref new_list(std::initializer_list<PyObject*> items);

// An asserted statement: checked only when __debug__ was true at exec.
// `message` builds the AssertionError's argument, only on failure.
template <class Message>
inline void assert_that(bool ok, Message&& message) {
    if (ok) return;
    Ref m = message();
    PyErr_SetObject(PyExc_AssertionError, m.get());
    raise();
}
inline void assert_that(bool ok) {
    if (ok) return;
    PyErr_SetNone(PyExc_AssertionError);
    raise();
}

// An __annotations__ dict mapping names to annotation texts.
Ref annotations(std::initializer_list<std::pair<const char*, const char*>> items);

// ---------------------------------------------------------------- modules

// The namespace of a class statement while its body runs.
struct ClassBody {
    PyObject* ns;
    void set(const Name& name, PyObject* value);
    void set(const Name& name, const Ref& value) { set(name, value.get()); }
    Ref get(const Name& name);  // a name the class body defined
    // def inside the class: a function object that binds as a method.
    PyObject* def(FunctionDef& def, Ref defaults = {}, Ref kwdefaults = {});
    // @staticmethod def ...: wrapped with the given (cached) staticmethod.
    void def_static(FunctionDef& def, PyObject* staticmethod);
};

// The module body: runs the module's statements in source order.  `line`
// is the program counter of the "init <dotted path>" traceback entry.
struct Exec {
    PyObject* ns;  // the module dict
    int line = 1;
    void at(int l) noexcept { line = l; }

    // import <module> [as name]: binds the top-level package (or the module
    // itself when `as` is given).
    void import(const char* module, const Name& bind);
    // from <module> import <names>; `level` 1 is relative to the package.
    void import_from(const char* module, std::initializer_list<const Name*> names, int level = 0);
    // from <module> import <name> as <bind>, ...
    void import_from(const char* module, std::initializer_list<std::pair<const Name*, const Name*>> names,
                     int level = 0);
    void set(const Name& name, PyObject* value);
    void set(const Name& name, Ref value) { set(name, value.get()); }
    Ref get(const Name& name);
    // def: creates the function object and binds it under its name.
    PyObject* def(FunctionDef& def, Ref defaults = {}, Ref kwdefaults = {}, Ref annotations = {});
    void import_names(const char* module, const std::vector<std::pair<const Name*, const Name*>>& names, int level);
    // class <name>(<bases>): the class is made by the most derived metaclass
    // of its bases, from the namespace its __prepare__ gives and `body` fills.
    template <class F>
    Ref make_class(const char* name, std::initializer_list<PyObject*> bases, const char* doc, F&& body) {
        ClassBody cb{begin_class(name, bases, doc)};
        Ref owned = Ref::steal(cb.ns);
        body(cb);
        return end_class(name, bases, cb.ns);
    }
    PyObject* begin_class(const char* name, std::initializer_list<PyObject*> bases, const char* doc);
    Ref end_class(const char* name, std::initializer_list<PyObject*> bases, PyObject* ns);
    // The `if __name__ == "__main__":` test of the main block.
    bool is_main();
    // The body of a main block that runs the module's doctests and exits.
    void run_doctests_and_exit(int line_sys, int line_doctest, int line_exit);
};

struct ModuleDef {
    const char* dotted;      // "vellary.misc.curvemath"
    const char* short_name;  // "curvemath"
    const char* file;        // source-file name in tracebacks, "misc/curvemath"
    const char* doc;         // module docstring or NULL
    std::span<FunctionDef* const> functions;  // every function, in source order
    void (*body)(Exec&);
};

// The module's process-wide state, written during create and exec only.
struct ModuleState {
    const ModuleDef* def = nullptr;
    PyObject* module = nullptr;   // held from the start of exec; released on failure
    PyObject* ns = nullptr;       // module dict
    PyObject* builtins = nullptr;
    PyObject* filename = nullptr;
    PyObject* dotted = nullptr;
    bool debug = true;
    bool constants_ready = false;
    std::int64_t interpreter = -1;

    static ModuleState& get() noexcept;
    void make_constants();
    void fetch_builtins();
};

inline const ModuleState& module_state() noexcept { return ModuleState::get(); }

// Whether assertions run (the interpreter's __debug__ at exec).
inline bool debug() noexcept { return ModuleState::get().debug; }

// The init function's body: PyModuleDef_Init of a definition made from `def`.
PyObject* init_module(const ModuleDef& def);

}  // namespace vy
