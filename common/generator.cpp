// The generic generator type.  Each resumption tests and sets the running
// flag inside the generator's critical section; the body itself runs outside
// it, so that a body that resumes its own generator meets the flag and not a
// deadlock.
#include "generator.h"

#include <frameobject.h>
#include <structmember.h>


namespace vy {

void GenPromise::unhandled_exception() noexcept {
    failed = true;
    exception_to_python();
}

namespace {

struct GeneratorObject {
    PyObject_HEAD
    std::coroutine_handle<GenPromise> handle;
    const FunctionDef* def;
    PyObject* args;  // keeps the bound arguments alive
    PyObject* weakrefs;
    bool started;
    bool running;
    bool finished;
};

GeneratorObject* as_gen(PyObject* o) { return reinterpret_cast<GeneratorObject*>(o); }

PyTypeObject* g_generator_type = nullptr;

enum class Outcome { Yielded, Returned, Failed };

// Takes the running flag, or reports why the generator cannot run now.
// Returns 1 to run, 0 when it has finished, 2 when an exception is thrown
// into a generator that never ran (which ends it there), -1 on error.  The
// whole test-and-set is one critical section, so no other resumption can
// start the generator between the test and the mark.
int begin(GeneratorObject* g, PyObject* value, bool throwing) {
    int state = 1;
    Py_BEGIN_CRITICAL_SECTION(g);
    if (g->running) {
        state = -1;
    } else if (g->finished) {
        state = 0;
    } else if (!g->started && throwing) {
        g->started = true;
        g->finished = true;
        state = 2;
    } else if (!g->started && value && value != Py_None) {
        state = -2;
    } else {
        g->running = true;
        g->started = true;
    }
    Py_END_CRITICAL_SECTION();
    if (state == -1) PyErr_SetString(PyExc_ValueError, "generator already executing");
    if (state == -2) {
        PyErr_SetString(PyExc_TypeError, "can't send non-None value to a just-started generator");
        state = -1;
    }
    return state;
}

void end(GeneratorObject* g, bool finished) {
    Py_BEGIN_CRITICAL_SECTION(g);
    g->running = false;
    if (finished) g->finished = true;
    Py_END_CRITICAL_SECTION();
}

PyObject* gen_close(PyObject* self, PyObject*);

// Calls close() of a delegate that has one (directly for a generator of
// this frame).
int close_delegate(PyObject* delegate) {
    if (Py_IS_TYPE(delegate, g_generator_type)) {
        PyObject* r = gen_close(delegate, nullptr);
        if (!r) return -1;
        Py_DECREF(r);
        return 0;
    }
    PyObject* close = nullptr;
    if (PyObject_GetOptionalAttrString(delegate, "close", &close) < 0) return -1;
    if (!close) return 0;
    PyObject* r = PyObject_CallNoArgs(close);
    Py_DECREF(close);
    if (!r) return -1;
    Py_DECREF(r);
    return 0;
}

// The exception thrown in, forwarded to the delegate; true when the
// delegate yielded (into *out) and the body stays suspended.
bool throw_into_delegate(GenPromise& p, PyObject** out, Ref& result) {
    PyObject* delegate = p.delegate;
    if (PyErr_ExceptionMatches(PyExc_GeneratorExit)) {
        PyObject* exc = PyErr_GetRaisedException();
        p.delegate = nullptr;
        int status = close_delegate(delegate);
        Py_DECREF(delegate);
        if (status < 0) {
            Py_DECREF(exc);  // the delegate's own error replaces GeneratorExit
        } else {
            PyErr_SetRaisedException(exc);
        }
        return false;
    }
    PyObject* thrower = nullptr;
    PyObject* exc = PyErr_GetRaisedException();
    if (PyObject_GetOptionalAttrString(delegate, "throw", &thrower) < 0 || !thrower) {
        p.delegate = nullptr;
        Py_DECREF(delegate);
        if (PyErr_Occurred())
            Py_DECREF(exc);
        else
            PyErr_SetRaisedException(exc);
        return false;
    }
    PyObject* r = PyObject_CallOneArg(thrower, exc);
    Py_DECREF(thrower);
    Py_DECREF(exc);
    if (r) {
        *out = r;
        return true;
    }
    p.delegate = nullptr;
    Py_DECREF(delegate);
    if (PyErr_ExceptionMatches(PyExc_StopIteration)) {
        // The delegate finished: its value is the result of the `yield from`.
        PyObject* stop = PyErr_GetRaisedException();
        PyObject* value = PyObject_GetAttrString(stop, "value");
        Py_DECREF(stop);
        if (!value) return false;
        result = Ref::steal(value);
    }
    return false;
}

// Runs the body until it yields, returns or fails.  With `throwing`, the
// exception set in the interpreter is raised at the point of suspension.
Outcome step(GeneratorObject* g, PyObject* value, bool throwing, PyObject** out) {
    GenPromise& p = g->handle.promise();
    Ref result;  // a delegate's return value, the value the body resumes with
    while (true) {
        if (p.delegate) {
            if (throwing) {
                if (throw_into_delegate(p, out, result)) return Outcome::Yielded;
                throwing = PyErr_Occurred() != nullptr;
                value = result ? result.get() : Py_None;
            } else {
                PyObject* r = nullptr;
                PySendResult status = PyIter_Send(p.delegate, value ? value : Py_None, &r);
                if (status == PYGEN_NEXT) {
                    *out = r;
                    return Outcome::Yielded;
                }
                Py_CLEAR(p.delegate);
                if (status == PYGEN_RETURN) {
                    result = Ref::steal(r);
                    value = result.get();
                } else {
                    throwing = true;
                }
            }
        }
        p.sent = value;
        p.throw_pending = throwing;
        p.yielded = nullptr;
        g->handle.resume();
        p.sent = nullptr;
        if (g->handle.done()) {
            if (p.failed) {
                if (PyErr_ExceptionMatches(PyExc_StopIteration)) {
                    PyObject* stop = PyErr_GetRaisedException();
                    PyErr_SetString(PyExc_RuntimeError, "generator raised StopIteration");
                    PyObject* runtime = PyErr_GetRaisedException();
                    PyException_SetCause(runtime, Py_NewRef(stop));
                    PyException_SetContext(runtime, stop);
                    PyErr_SetRaisedException(runtime);
                }
                add_traceback(g->def->py_dotted, p.line);
                return Outcome::Failed;
            }
            *out = p.returned ? std::exchange(p.returned, nullptr) : Py_NewRef(Py_None);
            return Outcome::Returned;
        }
        if (p.yielded) {
            *out = std::exchange(p.yielded, nullptr);
            return Outcome::Yielded;
        }
        // A new `yield from` began: its first value comes from the delegate.
        value = Py_None;
        throwing = false;
        result = Ref();
    }
}

// One resumption: PYGEN_NEXT with a yielded value, PYGEN_RETURN with the
// return value, PYGEN_ERROR with an exception set.
PySendResult send_ex(GeneratorObject* g, PyObject* value, bool throwing, PyObject** out) {
    *out = nullptr;
    const int state = begin(g, value, throwing);
    if (state < 0) return PYGEN_ERROR;
    if (state == 2) {
        // The exception thrown in leaves at the definition line.
        add_traceback(g->def->py_dotted, g->def->line);
        return PYGEN_ERROR;
    }
    if (state == 0) {
        if (throwing) return PYGEN_ERROR;  // the exception thrown in propagates
        *out = Py_NewRef(Py_None);
        return PYGEN_RETURN;
    }
    const Outcome o = step(g, value, throwing, out);
    end(g, o != Outcome::Yielded);
    return o == Outcome::Yielded ? PYGEN_NEXT : o == Outcome::Returned ? PYGEN_RETURN : PYGEN_ERROR;
}

void set_stop_iteration(PyObject* value) {
    PyObject* e = PyObject_CallOneArg(PyExc_StopIteration, value);
    if (!e) return;
    PyErr_SetObject(PyExc_StopIteration, e);
    Py_DECREF(e);
}

PyObject* gen_iternext(PyObject* self) {
    PyObject* r;
    PySendResult s = send_ex(as_gen(self), Py_None, false, &r);
    if (s == PYGEN_NEXT) return r;
    if (s == PYGEN_RETURN) {
        if (r != Py_None) set_stop_iteration(r);
        Py_DECREF(r);
    }
    return nullptr;
}

PySendResult gen_am_send(PyObject* self, PyObject* value, PyObject** result) {
    return send_ex(as_gen(self), value, false, result);
}

PyObject* gen_send(PyObject* self, PyObject* value) {
    PyObject* r;
    PySendResult s = send_ex(as_gen(self), value, false, &r);
    if (s == PYGEN_NEXT) return r;
    if (s == PYGEN_RETURN) {
        set_stop_iteration(r);
        Py_DECREF(r);
    }
    return nullptr;
}

PyObject* throw_current(GeneratorObject* g) {
    PyObject* r;
    PySendResult s = send_ex(g, nullptr, true, &r);
    if (s == PYGEN_NEXT) return r;
    if (s == PYGEN_RETURN) {
        set_stop_iteration(r);
        Py_DECREF(r);
    }
    return nullptr;
}

PyObject* gen_throw(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs < 1 || nargs > 3) {
        PyErr_Format(PyExc_TypeError, nargs < 1 ? "throw expected at least 1 argument, got %zd"
                                                : "throw expected at most 3 arguments, got %zd",
                     nargs);
        return nullptr;
    }
    if (nargs > 1 && PyErr_WarnEx(PyExc_DeprecationWarning,
                                  "the (type, exc, tb) signature of throw() is deprecated, use the single-arg "
                                  "signature instead.",
                                  1) < 0)
        return nullptr;
    PyObject* typ = args[0];
    PyObject* val = nargs > 1 ? args[1] : nullptr;
    PyObject* tb = nargs > 2 ? args[2] : nullptr;
    if (tb == Py_None) tb = nullptr;
    if (tb && !PyTraceBack_Check(tb)) {
        PyErr_SetString(PyExc_TypeError, "throw() third argument must be a traceback object");
        return nullptr;
    }
    PyObject* exc = nullptr;
    if (PyExceptionClass_Check(typ)) {
        exc = (val && val != Py_None) ? (PyObject_TypeCheck(val, reinterpret_cast<PyTypeObject*>(typ))
                                             ? Py_NewRef(val)
                                             : PyObject_CallOneArg(typ, val))
                                      : PyObject_CallNoArgs(typ);
        if (!exc) return nullptr;
        if (!PyExceptionInstance_Check(exc)) {
            PyErr_Format(PyExc_TypeError, "calling %R should have returned an instance of BaseException, not %s",
                         typ, Py_TYPE(exc)->tp_name);
            Py_DECREF(exc);
            return nullptr;
        }
    } else if (PyExceptionInstance_Check(typ)) {
        if (val && val != Py_None) {
            PyErr_SetString(PyExc_TypeError, "instance exception may not have a separate value");
            return nullptr;
        }
        exc = Py_NewRef(typ);
    } else {
        PyErr_Format(PyExc_TypeError, "exceptions must be classes or instances deriving from BaseException, not %s",
                     Py_TYPE(typ)->tp_name);
        return nullptr;
    }
    if (tb) PyException_SetTraceback(exc, tb);
    PyErr_SetRaisedException(exc);
    return throw_current(as_gen(self));
}

// close() of a body suspended at a yield.  Bodies catch nothing thrown in at
// a yield (generator.h), so, as the interpreter does for a generator
// suspended outside any try block, the body ends without being resumed and
// its locals are released now.  A delegate is closed first; an error from its
// close() is raised in the body at its `yield from`, as a thrown exception.
// The caller holds the running flag.
PyObject* close_suspended(GeneratorObject* g) {
    GenPromise& p = g->handle.promise();
    if (PyObject* delegate = std::exchange(p.delegate, nullptr)) {
        const int status = close_delegate(delegate);
        Py_DECREF(delegate);
        if (status < 0) {
            PyObject* r;
            const Outcome o = step(g, nullptr, true, &r);
            end(g, o != Outcome::Yielded);
            if (o == Outcome::Failed) return nullptr;
            if (o == Outcome::Returned) return r;
            Py_DECREF(r);
            PyErr_SetString(PyExc_RuntimeError, "generator ignored GeneratorExit");
            return nullptr;
        }
    }
    std::coroutine_handle<GenPromise> body;
    Py_BEGIN_CRITICAL_SECTION(g);
    body = std::exchange(g->handle, nullptr);
    g->running = false;
    g->finished = true;
    Py_END_CRITICAL_SECTION();
    Py_CLEAR(body.promise().returned);
    Py_CLEAR(body.promise().yielded);
    body.destroy();
    Py_RETURN_NONE;
}

PyObject* gen_close(PyObject* self, PyObject*) {
    GeneratorObject* g = as_gen(self);
    int state = 1;  // 1: suspended, now marked running; 0: nothing to close; -1: running
    Py_BEGIN_CRITICAL_SECTION(g);
    if (g->running) {
        state = -1;
    } else if (!g->started || g->finished) {
        state = 0;
        g->started = true;
        g->finished = true;
    } else {
        g->running = true;
    }
    Py_END_CRITICAL_SECTION();
    if (state < 0) {
        PyErr_SetString(PyExc_ValueError, "generator already executing");
        return nullptr;
    }
    if (state == 0) Py_RETURN_NONE;
    return close_suspended(g);
}

void gen_finalize(PyObject* self) {
    GeneratorObject* g = as_gen(self);
    if (!g->started || g->finished || !g->handle) return;
    PyObject* exc = PyErr_GetRaisedException();
    PyObject* r = gen_close(self, nullptr);
    if (r)
        Py_DECREF(r);
    else
        PyErr_WriteUnraisable(self);
    PyErr_SetRaisedException(exc);
}

int gen_traverse(PyObject* self, visitproc visit, void* arg) {
    GeneratorObject* g = as_gen(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(g->args);
    if (g->handle) Py_VISIT(g->handle.promise().delegate);
    return 0;
}

void gen_dealloc(PyObject* self) {
    PyTypeObject* tp = Py_TYPE(self);
    if (PyObject_CallFinalizerFromDealloc(self) < 0) return;  // resurrected
    PyObject_GC_UnTrack(self);
    GeneratorObject* g = as_gen(self);
    if (g->weakrefs) PyObject_ClearWeakRefs(self);
    if (g->handle) {
        GenPromise& p = g->handle.promise();
        Py_CLEAR(p.delegate);
        Py_CLEAR(p.returned);
        Py_CLEAR(p.yielded);
        g->handle.destroy();  // ends the lifetime of the body's locals
        g->handle = nullptr;
    }
    Py_CLEAR(g->args);
    tp->tp_free(self);
    Py_DECREF(tp);
}

PyObject* gen_repr(PyObject* self) {
    return PyUnicode_FromFormat("<generator object %U at %p>", as_gen(self)->def->py_qualname, self);
}

PyObject* get_name(PyObject* self, void*) { return Py_NewRef(as_gen(self)->def->py_name); }
PyObject* get_qualname(PyObject* self, void*) { return Py_NewRef(as_gen(self)->def->py_qualname); }
PyObject* get_code(PyObject* self, void*) { return Py_NewRef(as_gen(self)->def->py_code); }

PyObject* get_running(PyObject* self, void*) {
    bool running;
    Py_BEGIN_CRITICAL_SECTION(self);
    running = as_gen(self)->running;
    Py_END_CRITICAL_SECTION();
    return PyBool_FromLong(running);
}

PyObject* get_suspended(PyObject* self, void*) {
    GeneratorObject* g = as_gen(self);
    bool suspended;
    Py_BEGIN_CRITICAL_SECTION(self);
    suspended = g->started && !g->running && !g->finished;
    Py_END_CRITICAL_SECTION();
    return PyBool_FromLong(suspended);
}

PyObject* get_yieldfrom(PyObject* self, void*) {
    GeneratorObject* g = as_gen(self);
    PyObject* d = nullptr;
    Py_BEGIN_CRITICAL_SECTION(self);
    d = g->handle && !g->finished ? g->handle.promise().delegate : nullptr;
    Py_XINCREF(d);
    Py_END_CRITICAL_SECTION();
    return d ? d : Py_NewRef(Py_None);
}

// A frame naming the generator and its current line, as a traceback entry
// would; None once the generator has finished.
PyObject* get_frame(PyObject* self, void*) {
    GeneratorObject* g = as_gen(self);
    bool finished;
    int line;
    Py_BEGIN_CRITICAL_SECTION(self);
    finished = g->finished;
    line = g->started && g->handle ? g->handle.promise().line : g->def->line;
    Py_END_CRITICAL_SECTION();
    if (finished) Py_RETURN_NONE;
    PyCodeObject* code = PyCode_NewEmpty(PyUnicode_AsUTF8(module_state().filename),
                                         PyUnicode_AsUTF8(g->def->py_dotted), line ? line : g->def->line);
    if (!code) return nullptr;
    PyObject* frame = reinterpret_cast<PyObject*>(PyFrame_New(PyThreadState_Get(), code, module_state().ns, nullptr));
    Py_DECREF(code);
    return frame;
}

PyGetSetDef gen_getset[] = {
    {"__name__", get_name, nullptr, nullptr, nullptr},
    {"__qualname__", get_qualname, nullptr, nullptr, nullptr},
    {"gi_code", get_code, nullptr, nullptr, nullptr},
    {"gi_running", get_running, nullptr, nullptr, nullptr},
    {"gi_suspended", get_suspended, nullptr, nullptr, nullptr},
    {"gi_yieldfrom", get_yieldfrom, nullptr, nullptr, nullptr},
    {"gi_frame", get_frame, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef gen_methods[] = {
    {"send", gen_send, METH_O, "send(arg) -> send 'arg' into generator,\nreturn next yielded value or raise StopIteration."},
    {"throw", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(gen_throw)), METH_FASTCALL,
     "throw(value)\nthrow(type[,value[,tb]])\n\nRaise exception in generator, return next yielded value or raise\nStopIteration."},
    {"close", gen_close, METH_NOARGS, "close() -> raise GeneratorExit inside generator."},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef gen_members[] = {
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(GeneratorObject, weakrefs), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot gen_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(gen_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(gen_traverse)},
    {Py_tp_finalize, reinterpret_cast<void*>(gen_finalize)},
    {Py_tp_repr, reinterpret_cast<void*>(gen_repr)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(gen_iternext)},
    {Py_am_send, reinterpret_cast<void*>(gen_am_send)},
    {Py_tp_getset, gen_getset},
    {Py_tp_methods, gen_methods},
    {Py_tp_members, gen_members},
    {0, nullptr},
};

PyType_Spec gen_spec = {
    "vellary.generator",
    sizeof(GeneratorObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    gen_slots,
};

}  // namespace

void make_generator_type() {
    if (g_generator_type) return;
    g_generator_type = reinterpret_cast<PyTypeObject*>(own(PyType_FromSpec(&gen_spec)).release());
    // Generators count as generators for collections.abc.
    Ref abc = own(PyImport_ImportModule("collections.abc"));
    Ref generator = own(PyObject_GetAttrString(abc.get(), "Generator"));
    Ref r = own(PyObject_CallMethod(generator.get(), "register", "O", g_generator_type));
}

Ref make_generator(const FunctionDef& def, Args& args) {
    PyObject* slots[kMaxParams];
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        const Kind k = def.params[i].kind;
        slots[i] = k == Kind::Object || k == Kind::List || k == Kind::Set ? args.v[i].o : nullptr;
    }
    return make_generator(def, slots, args, Ref::borrow(args.varargs));
}

Ref make_generator(const FunctionDef& def, PyObject* const* slots, Args& args, Ref varargs) {
    // The body reads its arguments through `args`: the generator keeps alive
    // what it reads as borrowed objects (converted values need nothing).
    auto borrowed = [&](std::size_t i) {
        const Kind k = def.params[i].kind;
        return k == Kind::Object || k == Kind::List || k == Kind::Set;
    };
    Py_ssize_t n = 0;
    for (std::size_t i = 0; i < def.params.size(); ++i) n += borrowed(i);
    Ref keep;
    if (n == 0) {
        keep = varargs ? std::move(varargs) : Ref::borrow(Py_None);
    } else {
        keep = own(PyTuple_New(n + 1));
        Py_ssize_t k = 0;
        for (std::size_t i = 0; i < def.params.size(); ++i)
            if (borrowed(i)) PyTuple_SET_ITEM(keep.get(), k++, Py_NewRef(slots[i]));
        PyTuple_SET_ITEM(keep.get(), n, varargs ? varargs.release() : Py_NewRef(Py_None));
    }
    GeneratorObject* g = PyObject_GC_New(GeneratorObject, g_generator_type);
    if (!g) raise();
    g->def = &def;
    g->args = keep.release();
    g->weakrefs = nullptr;
    g->started = g->running = g->finished = false;
    new (&g->handle) std::coroutine_handle<GenPromise>(nullptr);
    Ref self = Ref::steal(reinterpret_cast<PyObject*>(g));
    try {
        g->handle = def.generator(args).handle;
    } catch (...) {
        exception_to_python();
        raise();
    }
    g->handle.promise().line = def.line;
    PyObject_GC_Track(g);
    return self;
}

}  // namespace vy
