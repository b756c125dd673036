// Generators: a C++20 coroutine body behind the interpreter's generator
// protocol (iteration, send, throw, close, `yield from` delegation).
//
// A generator body is a coroutine returning vy::Gen.  It reads its own
// program counter through `co_await vy::this_gen`, yields with
// `co_yield value` (the expression gives the value sent in, or raises what
// was thrown in), delegates with `co_await vy::yield_from(iterable)` and
// ends with `co_return value`.  A body does not catch what is thrown in at a
// yield: close() ends a suspended body without resuming it.
#pragma once

#include <coroutine>
#include <new>

#include "frame.h"

namespace vy {

struct GenPromise;

struct Gen {
    using promise_type = GenPromise;
    std::coroutine_handle<GenPromise> handle;
};

struct GenPromise {
    PyObject* yielded = nullptr;   // the value of the last yield, taken by the resumer
    PyObject* sent = nullptr;      // the value the body resumes with (borrowed)
    bool throw_pending = false;    // resume by raising the set exception
    bool failed = false;           // the body ended with an exception set
    PyObject* returned = nullptr;  // the value of `co_return`
    PyObject* delegate = nullptr;  // the iterator of a running `yield from`
    int line = 0;

    void at(int l) noexcept { line = l; }

    // Bodies live in the interpreter's allocator, as its own frames do.
    static void* operator new(std::size_t size) {
        if (void* p = PyMem_Malloc(size)) return p;
        throw std::bad_alloc();
    }
    static void operator delete(void* p) noexcept { PyMem_Free(p); }

    Gen get_return_object() noexcept { return Gen{std::coroutine_handle<GenPromise>::from_promise(*this)}; }
    std::suspend_always initial_suspend() noexcept { return {}; }
    std::suspend_always final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept;
    void return_value(Ref value) noexcept { returned = value.release(); }

    struct Resumption {
        GenPromise& p;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<>) const noexcept {}
        Ref await_resume() const {
            if (p.throw_pending) {
                p.throw_pending = false;
                throw PyError{};
            }
            return Ref::borrow(p.sent ? p.sent : Py_None);
        }
    };
    Resumption yield_value(Ref value) noexcept {
        yielded = value.release();
        return {*this};
    }

    // `co_await this_gen` gives the promise without suspending.
    struct Self {};
    struct SelfAwaiter {
        GenPromise& p;
        bool await_ready() const noexcept { return true; }
        void await_suspend(std::coroutine_handle<>) const noexcept {}
        GenPromise& await_resume() const noexcept { return p; }
    };
    SelfAwaiter await_transform(Self) noexcept { return {*this}; }

    // `co_await yield_from(iterator)`: the resumer drives the iterator until
    // it ends; the expression gives its return value.
    struct Delegation {
        Ref iterator;
    };
    Resumption await_transform(Delegation d) noexcept {
        delegate = d.iterator.release();
        return {*this};
    }
};

inline constexpr GenPromise::Self this_gen{};

// The iterator of `iterable` for a `yield from` (raises where the statement would).
inline GenPromise::Delegation yield_from(PyObject* iterable) { return {own(PyObject_GetIter(iterable))}; }

}  // namespace vy
