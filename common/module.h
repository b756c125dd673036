// Module initialisation: the multi-phase init slots, the module body with its
// imports, definitions and classes, and the module's process-wide state.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

#include "constants.h"
#include "function.h"

namespace vy {

struct Exec;

// The namespace of a class statement while its body runs.
struct ClassBody {
    PyObject* ns;
    Exec* x;  // the module body that runs the class statement
    void set(const Name& name, PyObject* value);
    void set(const Name& name, const Ref& value) { set(name, value.get()); }
    // name = <a new object the body made>: a class constant, marked
    // long-lived (unstable::share_long_lived) as the module's are.
    void set(const Name& name, Ref&& value);
    Ref get(const Name& name);  // a name the class body defined
    // def inside the class: a function object that binds as a method; the
    // statement's line is the record's.
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
    // name = <a new object the body made>: a module constant, marked
    // long-lived (unstable::share_long_lived).
    void set(const Name& name, Ref value);
    Ref get(const Name& name);
    // def: creates the function object and binds it under its name; the
    // statement's line is the record's.
    PyObject* def(FunctionDef& def, Ref defaults = {}, Ref kwdefaults = {}, Ref annotations = {});
    void import_names(const char* module, const std::vector<std::pair<const Name*, const Name*>>& names, int level);
    // class <name>(<bases>): the class is made by the most derived metaclass
    // of its bases, from the namespace its __prepare__ gives and `body` fills.
    template <class F>
    Ref make_class(const char* name, std::initializer_list<PyObject*> bases, const char* doc, F&& body) {
        ClassBody cb{begin_class(name, bases, doc), this};
        Ref owned = Ref::steal(cb.ns);
        body(cb);
        return end_class(name, bases, cb.ns);
    }
    PyObject* begin_class(const char* name, std::initializer_list<PyObject*> bases, const char* doc);
    Ref end_class(const char* name, std::initializer_list<PyObject*> bases, PyObject* ns);
    // namedtuple(name, fields, module=__name__) with the factory the body
    // bound to `factory`: named after this module rather than the calling
    // frame (for an extension, the import machinery), so instances pickle.
    Ref namedtuple(const Name& factory, const char* name, std::span<const char* const> fields);
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
    void (*body)(Exec&);
};

// `from <module> import <name>` while a function runs (an absolute import in
// the context of the module's namespace): the value, which is not bound.
Ref import_from(const char* module, const Name& name);

// The module's process-wide state, written during create and exec only.  Its
// registry (names, builtins, internal operations, constants) is filled by the
// static objects that declare them and made at exec.
struct ModuleState {
    const ModuleDef* def = nullptr;
    PyObject* module = nullptr;   // held from the start of exec; released on failure
    PyObject* ns = nullptr;       // module dict
    PyObject* builtins = nullptr;
    PyObject* filename = nullptr;
    PyObject* dotted = nullptr;
    bool debug = true;
    bool constants_ready = false;
    // The functions the body defined (module level and in classes), in
    // source order: the module's doctests are found among them.
    std::vector<const FunctionDef*> defined;
    std::int64_t interpreter = -1;
    // The module dict's version (namespace.h): while it reads the same, the
    // dict has not been modified.
    const std::atomic<std::uint64_t>* ns_version = nullptr;

    static ModuleState& get() noexcept;
    void make_constants();
    void fetch_builtins();
};

// One per extension module (symbols are hidden), constant-initialised: read
// on every call without an initialisation guard.
inline constinit ModuleState g_module_state;
inline ModuleState& ModuleState::get() noexcept { return g_module_state; }

inline const ModuleState& module_state() noexcept { return ModuleState::get(); }

// Whether assertions run (the interpreter's __debug__ at exec).
inline bool debug() noexcept { return ModuleState::get().debug; }

// The init function's body: PyModuleDef_Init of a definition made from `def`.
PyObject* init_module(const ModuleDef& def);

}  // namespace vy
