// Delta optimisation: the fewest explicit deltas from which interpolation
// reproduces every delta within a tolerance, by dynamic programming over the
// choice of explicit points.
//
// The public optimiser reaches its building blocks through the module
// namespace.  While those names are bound to this module's own functions
// and the contour is held in lists, the whole solve runs on C++ arrays; a
// rebound name or another sequence type takes the literal path of calls.
#include <cmath>

#include "gapfill.h"

namespace gapfill {

namespace {

const vy::Internal can_gapfill_fn{"can_gapfill_in_between"};

// ------------------------------------------------------------- the core

// Membership in the `forced` argument: exact ints are read once into a
// bitmap; any other element keeps the set's own lookup.
class Forced {
public:
    Forced(PyObject* set, Py_ssize_t n) : set_(set), bits_(std::size_t(n + 1), 0) {
        if (set == Py_None) return;
        vy::Ref it = vy::own(PyObject_GetIter(set));
        while (PyObject* item = PyIter_Next(it.get())) {
            vy::Ref key = vy::Ref::steal(item);
            if (!PyLong_CheckExact(key.get())) {
                generic_ = true;
                continue;
            }
            int overflow = 0;
            const long long v = PyLong_AsLongLongAndOverflow(key.get(), &overflow);
            if (!overflow && v >= -1 && v < n) bits_[std::size_t(v + 1)] = 1;
        }
        if (PyErr_Occurred()) vy::raise();
    }
    // From the C++ bound: indices known to be forced.
    Forced(const std::vector<Py_ssize_t>& indices, Py_ssize_t n) : set_(nullptr), bits_(std::size_t(n + 1), 0) {
        for (Py_ssize_t i : indices) bits_[std::size_t(i + 1)] = 1;
    }
    bool contains(Py_ssize_t i) const {
        if (set_ == Py_None) vy::raise(PyExc_TypeError, "'NoneType' object is not iterable");
        if (bits_[std::size_t(i + 1)]) return true;
        if (!generic_) return false;
        vy::Ref key = vy::own(PyLong_FromSsize_t(i));
        return vy::check(PySet_Contains(set_, key.get())) != 0;
    }

private:
    PyObject* set_;
    std::vector<char> bits_;
    bool generic_ = false;
};

// An explicit delta unpacked into two doubles.
void read_pair(PyObject* d, double& x, double& y) {
    if (PyTuple_CheckExact(d) && PyTuple_GET_SIZE(d) == 2) {
        x = component(d, 0);
        y = component(d, 1);
        return;
    }
    auto [a, b] = vy::unpack<2>(d);
    x = vy::to_double(a.get());
    y = vy::to_double(b.get());
}

bool can_gapfill_in_between(const Snapshot& deltas, const Snapshot& coords, Py_ssize_t i, Py_ssize_t j,
                            double tolerance, Segment& seg) {
    vy::Frame f{can_gapfill_fn, 130};
    if (vy::debug()) {
        f.at(132);
        vy::assert_that(j - i >= 2);
    }
    f.at(134);
    const Span run = coords.slice(i + 1, j);
    PyObject* c1 = coords.at(i);
    PyObject* d1 = deltas.at(i);
    PyObject* c2 = coords.at(j);
    PyObject* d2 = deltas.at(j);
    gapfill_segment(run, c1, d1, c2, d2, seg);
    const Span explicit_deltas = deltas.slice(i + 1, j);
    const std::size_t m = std::min<std::size_t>(std::size_t(explicit_deltas.n), seg.x.size());
    for (std::size_t k = 0; k < m; ++k) {
        f.at(135);
        double x, y;
        read_pair(explicit_deltas[Py_ssize_t(k)], x, y);
        const double p = seg.x[k].int_zero ? 0.0 : seg.x[k].v;
        const double q = seg.y[k].int_zero ? 0.0 : seg.y[k].v;
        f.at(137);
        if (std::hypot(x - p, y - q) > tolerance) return false;
    }
    return true;
}

// The forced points, in the order they are found (n - 1 down to 0).
std::vector<Py_ssize_t> bound_forced(const Snapshot& deltas, const Snapshot& coords, const vy::Num& tol,
                                     vy::Call& c) {
    using vy::Num;
    const Py_ssize_t n = deltas.size();
    std::vector<Py_ssize_t> forced;
    vy::Interrupts interrupts;
    for (Py_ssize_t i = n - 1; i >= 0; --i) {
        interrupts.step();
        c.at(162);
        PyObject* ld = deltas.at(i - 1);
        PyObject* lc = coords.at(i - 1);
        PyObject* d = deltas.at(i);
        PyObject* cc = coords.at(i);
        PyObject* nd = deltas.at(i - n + 1);
        PyObject* nc = coords.at(i - n + 1);
        for (int j = 0; j < 2; ++j) {
            c.at(166);
            const double cj = component(cc, j), dj = component(d, j);
            const double lcj = component(lc, j), ldj = component(ld, j);
            const double ncj = component(nc, j), ndj = component(nd, j);
            double c1, c2, d1, d2;
            if (lcj <= ncj) {
                c1 = lcj, c2 = ncj, d1 = ldj, d2 = ndj;
            } else {
                c1 = ncj, c2 = lcj, d1 = ndj, d2 = ldj;
            }
            bool force = false;
            if (c1 == c2) {
                c.at(174);
                force = Num(std::fabs(d1 - d2)) > tol && Num(std::fabs(dj)) > tol;
            } else if (c1 <= cj && cj <= c2) {
                c.at(177);
                const double lo = d2 < d1 ? d2 : d1;  // min and max keep the first when equal
                const double hi = d2 > d1 ? d2 : d1;
                force = !(Num(lo) - tol <= Num(dj) && Num(dj) <= Num(hi) + tol);
            } else if (d1 != d2) {
                if (cj < c1) {
                    c.at(181);
                    force = Num(std::fabs(dj)) > tol && Num(std::fabs(dj - d1)) > tol &&
                            ((Num(dj) - tol < Num(d1)) != (d1 < d2));
                } else {
                    c.at(185);
                    force = Num(std::fabs(dj)) > tol && Num(std::fabs(dj - d2)) > tol &&
                            ((Num(d2) < Num(dj) + tol) != (d1 < d2));
                }
            }
            if (force) {
                forced.push_back(i);
                break;
            }
        }
    }
    return forced;
}

// costs[i + 1] and chain[i + 1] for i = -1 .. n - 1.
struct DP {
    std::vector<double> costs;
    std::vector<Py_ssize_t> chain;
    double cost(Py_ssize_t i) const { return costs[std::size_t(i + 1)]; }
    Py_ssize_t prev(Py_ssize_t i) const { return chain[std::size_t(i + 1)]; }
};

// The lookback after `lookback = MAX_LOOKBACK if MAX_LOOKBACK < lookback else lookback`.
vy::Num effective_lookback(PyObject* lookback, Py_ssize_t n) {
    vy::Num lb = lookback == Py_None ? vy::Num::integer(n) : vy::Num::from(lookback);
    if (vy::global_num(n_MAX_LOOKBACK) < lb) lb = vy::global_num(n_MAX_LOOKBACK);
    return lb;
}

Py_ssize_t as_index(const vy::Num& v) {
    if (v.kind() == vy::Num::Int) return Py_ssize_t(v.i());
    vy::Ref o = v.object();
    vy::Ref index = vy::own(PyNumber_Index(o.get()));
    const Py_ssize_t r = PyLong_AsSsize_t(index.get());
    if (r == -1 && PyErr_Occurred()) vy::raise();
    return r;
}

DP optimize_dp(const Snapshot& deltas, const Snapshot& coords, const Forced& forced, double tolerance,
               const vy::Num& lookback, vy::Call& c) {
    const Py_ssize_t n = deltas.size();
    DP dp;
    dp.costs.assign(std::size_t(n + 1), 0.0);
    dp.chain.assign(std::size_t(n + 1), -2);
    Segment seg;
    vy::Interrupts interrupts;
    for (Py_ssize_t i = 0; i < n; ++i) {
        interrupts.step();
        c.at(218);
        double best = dp.cost(i - 1) + 1.0;
        dp.costs[std::size_t(i + 1)] = best;
        dp.chain[std::size_t(i + 1)] = i - 1;
        c.at(221);
        if (forced.contains(i - 1)) continue;
        c.at(224);
        vy::Num t = vy::Num::integer(i) - lookback;
        const vy::Num floor = vy::Num::integer(-2);
        const Py_ssize_t stop = as_index(floor > t ? floor : t);
        for (Py_ssize_t j = i - 2; j > stop; --j) {
            interrupts.step(i - j);
            c.at(225);
            const double cost = dp.cost(j) + 1.0;
            c.at(226);
            if (cost < best && can_gapfill_in_between(deltas, coords, j, i, tolerance, seg)) {
                c.at(227);
                best = cost;
                dp.costs[std::size_t(i + 1)] = cost;
                dp.chain[std::size_t(i + 1)] = j;
            }
            c.at(229);
            if (forced.contains(j)) break;
        }
    }
    return dp;
}

vy::Ref dp_result(const DP& dp) {
    vy::Ref chain = vy::own(PyDict_New()), costs = vy::own(PyDict_New());
    vy::Ref minus_one = vy::int_object(-1), zero = vy::int_object(0);
    vy::check(PyDict_SetItem(costs.get(), minus_one.get(), zero.get()));
    vy::check(PyDict_SetItem(chain.get(), minus_one.get(), Py_None));
    for (std::size_t k = 1; k < dp.costs.size(); ++k) {
        vy::Ref key = vy::own(PyLong_FromSsize_t(Py_ssize_t(k) - 1));
        vy::Ref cost = vy::float_object(dp.costs[k]);
        vy::Ref prev = vy::own(PyLong_FromSsize_t(dp.chain[k]));
        vy::check(PyDict_SetItem(costs.get(), key.get(), cost.get()));
        vy::check(PyDict_SetItem(chain.get(), key.get(), prev.get()));
    }
    return vy::own(PyTuple_Pack(2, chain.get(), costs.get()));
}

Py_ssize_t python_mod(Py_ssize_t k, Py_ssize_t n) {
    if (n == 0) vy::raise(PyExc_ZeroDivisionError, "integer modulo by zero");
    Py_ssize_t r = k % n;
    if (r != 0 && ((r < 0) != (n < 0))) r += n;
    return r;
}

vy::Ref set_of(const std::vector<Py_ssize_t>& items) {
    vy::Ref set = vy::own(PySet_New(nullptr));
    for (Py_ssize_t v : items) {
        vy::Ref o = vy::own(PyLong_FromSsize_t(v));
        vy::check(PySet_Add(set.get(), o.get()));
    }
    return set;
}

vy::Ref pair_of(PyObject* a, PyObject* b) { return vy::own(PyTuple_Pack(2, a, b)); }

// ------------------------------------------------------------- Python-visible building blocks

PyObject* bound_forced_set(vy::Call& c, vy::Args& a) {
    if (vy::debug()) {
        c.at(158);
        const Py_ssize_t nd = vy::length(a.o(0)), nc = vy::length(a.o(1));
        vy::assert_that(nd == nc);
    }
    c.at(160);
    Snapshot deltas(a.o(0)), coords(a.o(1));
    return set_of(bound_forced(deltas, coords, vy::Num::from(a.o(2)), c)).release();
}

PyObject* optimize_dp_body(vy::Call& c, vy::Args& a) {
    c.at(213);
    Snapshot deltas(a.o(0)), coords(a.o(1));
    const Py_ssize_t n = deltas.size();
    c.at(214);
    vy::Num lookback = effective_lookback(a.o(4), n);
    Forced forced(a.o(2), n);
    return dp_result(optimize_dp(deltas, coords, forced, a.d(3), lookback, c)).release();
}

PyObject* rot_list(vy::Call& c, vy::Args& a) {
    PyObject* l = a.o(0);
    c.at(246);
    const Py_ssize_t n = PyList_GET_SIZE(l);
    const Py_ssize_t k = python_mod(a.i(1), n);
    c.at(247);
    if (k == 0) return Py_NewRef(l);
    c.at(249);
    vy::Ref head = vy::own(PyList_GetSlice(l, n - k, PY_SSIZE_T_MAX));
    vy::Ref tail = vy::own(PyList_GetSlice(l, 0, n - k));
    return vy::own(PySequence_Concat(head.get(), tail.get())).release();
}

PyObject* rot_set(vy::Call& c, vy::Args& a) {
    PyObject* s = a.o(0);
    c.at(253);
    const Py_ssize_t n = a.i(2);
    const Py_ssize_t k = python_mod(a.i(1), n);
    c.at(254);
    if (k == 0) return Py_NewRef(s);
    c.at(256);
    vy::Ref out = vy::own(PySet_New(nullptr));
    vy::Ref kk = vy::own(PyLong_FromSsize_t(k)), nn = vy::own(PyLong_FromSsize_t(n));
    vy::Ref it = vy::own(PyObject_GetIter(s));
    while (PyObject* item = PyIter_Next(it.get())) {
        vy::Ref v = vy::Ref::steal(item);
        vy::Ref sum = vy::own(PyNumber_Add(v.get(), kk.get()));
        vy::Ref r = vy::own(PyNumber_Remainder(sum.get(), nn.get()));
        vy::check(PySet_Add(out.get(), r.get()));
    }
    if (PyErr_Occurred()) vy::raise();
    return out.release();
}

// ------------------------------------------------------------- the optimiser

// abs(complex(*d)) <= tolerance for every d, in order.
bool all_within(PyObject* deltas, const vy::Num& tol) {
    vy::Ref it = vy::own(PyObject_GetIter(deltas));
    vy::Interrupts interrupts;
    while (PyObject* item = PyIter_Next(it.get())) {
        vy::Ref d = vy::Ref::steal(item);
        interrupts.step();
        const Py_complex z = vy::complex_of(d.get());
        const double length = std::hypot(z.real, z.imag);  // abs() of a complex
        if (std::isinf(length) && std::isfinite(z.real) && std::isfinite(z.imag))
            vy::raise(PyExc_OverflowError, "absolute value too large");
        if (!(vy::Num(length) <= tol)) return false;
    }
    if (PyErr_Occurred()) vy::raise();
    return true;
}

vy::Ref none_list(Py_ssize_t n) {
    vy::Ref out = vy::list_of_size(n);
    for (Py_ssize_t i = 0; i < n; ++i) PyList_SET_ITEM(out.get(), i, Py_NewRef(Py_None));
    return out;
}

// float(tolerance), as the DP's `double` parameter converts it.
double as_double(const vy::Num& v) {
    double d;
    if (v.exact_double(d)) return d;
    return vy::to_double(v.object().get());
}

// The whole solve on arrays, when every building block is this module's own.
vy::Ref optimize_fast(const Snapshot& deltas, const Snapshot& coords, const vy::Num& tol, vy::Call& c) {
    const Py_ssize_t n = deltas.size();
    std::vector<char> keep(std::size_t(n), 0);
    c.at(296);
    // The forced bound as the Python-visible function would compute it,
    // with its traceback entry if it fails.
    const std::vector<Py_ssize_t> forced = vy::called(bound_forced_set_def, [&](vy::Call& inner) {
        if (vy::debug()) {
            inner.at(158);
            vy::assert_that(deltas.size() == coords.size());
        }
        inner.at(160);
        return bound_forced(deltas, coords, tol, inner);
    });
    if (!forced.empty()) {
        c.at(299);
        Py_ssize_t top = forced.front();
        for (Py_ssize_t v : forced) top = std::max(top, v);
        const Py_ssize_t k = (n - 1) - top;
        // Rotated so that the last point is forced; rotated[i] = original[(i - k) mod n].
        vy::Ref rdt = vy::own(PyTuple_New(n)), rct = vy::own(PyTuple_New(n));
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyTuple_SET_ITEM(rdt.get(), i, Py_NewRef(deltas[python_mod(i - k, n)]));
            PyTuple_SET_ITEM(rct.get(), i, Py_NewRef(coords[python_mod(i - k, n)]));
        }
        std::vector<Py_ssize_t> rforced;
        for (Py_ssize_t v : forced) rforced.push_back(python_mod(v + k, n));
        Snapshot sd(rdt.get()), sc(rct.get());
        c.at(305);
        vy::Num lookback = effective_lookback(Py_None, n);
        const DP dp = vy::called(optimize_dp_def, [&](vy::Call& inner) {
            return optimize_dp(sd, sc, Forced(rforced, n), as_double(tol), lookback, inner);
        });
        std::vector<char> solution(std::size_t(n), 0);
        for (Py_ssize_t i = n - 1; i != -1; i = dp.prev(i)) solution[std::size_t(i)] = 1;
        if (vy::debug()) {
            c.at(312);
            bool covered = true;
            for (Py_ssize_t v : rforced) covered = covered && solution[std::size_t(v)];
            vy::assert_that(covered, [&] {
                std::vector<Py_ssize_t> chosen;
                for (Py_ssize_t i = 0; i < n; ++i)
                    if (solution[std::size_t(i)]) chosen.push_back(i);
                return pair_of(set_of(rforced).get(), set_of(chosen).get());
            });
        }
        for (Py_ssize_t i = 0; i < n; ++i) keep[std::size_t(i)] = solution[std::size_t(python_mod(i + k, n))];
    } else {
        c.at(318);
        vy::Ref dd = vy::own(PyTuple_New(2 * n)), cc = vy::own(PyTuple_New(2 * n));
        for (Py_ssize_t i = 0; i < 2 * n; ++i) {
            PyTuple_SET_ITEM(dd.get(), i, Py_NewRef(deltas[i % n]));
            PyTuple_SET_ITEM(cc.get(), i, Py_NewRef(coords[i % n]));
        }
        Snapshot sd(dd.get()), sc(cc.get());
        vy::Num lookback = effective_lookback(vy::int_object(n).get(), 2 * n);
        const DP dp = vy::called(optimize_dp_def, [&](vy::Call& inner) {
            return optimize_dp(sd, sc, Forced(std::vector<Py_ssize_t>{}, 2 * n), as_double(tol), lookback, inner);
        });
        c.at(320);
        double best_cost = double(n + 1);
        std::vector<char> best(std::size_t(n), 0), solution(std::size_t(n), 0);
        bool found = false;
        for (Py_ssize_t start = n - 1; start < 2 * n; ++start) {
            std::fill(solution.begin(), solution.end(), 0);
            Py_ssize_t i = start;
            while (i > start - n) {
                solution[std::size_t(i % n)] = 1;
                i = dp.prev(i);
            }
            if (i == start - n) {
                const double cost = dp.cost(start) - dp.cost(start - n);
                if (cost <= best_cost) {
                    best = solution;
                    best_cost = cost;
                    found = true;
                }
            }
        }
        if (!found) vy::raise(PyExc_TypeError, "'<=' not supported between instances of 'set' and 'NoneType'");
        keep = best;
    }
    c.at(330);
    vy::Ref out = vy::own(PyList_New(n));
    for (Py_ssize_t i = 0; i < n; ++i)
        PyList_SET_ITEM(out.get(), i, Py_NewRef(keep[std::size_t(i)] ? deltas[i] : Py_None));
    return out;
}

// assert forced <= solution, (forced, solution); then the new list
// [deltas[i] if i in solution else None for i in range(n)] (the next line).
vy::Ref keep_chosen(vy::Call& c, int line, PyObject* forced, PyObject* solution, PyObject* deltas, Py_ssize_t n) {
    if (vy::debug()) {
        c.at(line);
        vy::Ref le = vy::own(PyObject_RichCompare(forced, solution, Py_LE));
        vy::assert_that(vy::to_bool(le.get()), [&] { return pair_of(forced, solution); });
    }
    c.at(line + 1);
    vy::Ref out = vy::list_of_size(n);
    for (Py_ssize_t j = 0; j < n; ++j) {
        vy::Ref key = vy::own(PyLong_FromSsize_t(j));
        vy::Ref item;
        if (vy::check(PySequence_Contains(solution, key.get()))) item = vy::own(PyObject_GetItem(deltas, key.get()));
        PyList_SET_ITEM(out.get(), j, Py_NewRef(item ? item.get() : Py_None));
    }
    return out;
}

// The literal solve through the module namespace.
vy::Ref optimize_generic(PyObject* deltas, PyObject* coords, PyObject* tolerance, Py_ssize_t n, vy::Call& c) {
    c.at(296);
    vy::Ref fn = vy::global(n_bound_forced_set);
    vy::Ref forced = vy::call(fn.get(), {deltas, coords, tolerance});
    vy::Ref nn = vy::own(PyLong_FromSsize_t(n));
    if (vy::to_bool(forced.get())) {
        c.at(299);
        vy::Ref top = vy::call(b_max.get(), {forced.get()});
        vy::Ref last = vy::own(PyLong_FromSsize_t(n - 1));
        vy::Ref k = vy::own(PyNumber_Subtract(last.get(), top.get()));
        if (vy::debug()) {
            c.at(300);
            vy::Ref zero = vy::int_object(0);
            vy::assert_that(vy::check(PyObject_RichCompareBool(k.get(), zero.get(), Py_GE)));
        }
        c.at(302);
        vy::Ref rot = vy::global(n_rot_list);
        vy::Ref rd = vy::call(rot.get(), {deltas, k.get()});
        c.at(303);
        rot = vy::global(n_rot_list);
        vy::Ref rc = vy::call(rot.get(), {coords, k.get()});
        c.at(304);
        vy::Ref rs = vy::global(n_rot_set);
        forced = vy::call(rs.get(), {forced.get(), k.get(), nn.get()});
        c.at(305);
        vy::Ref dpf = vy::global(n_optimize_dp);
        vy::Ref result = vy::call(dpf.get(), {rd.get(), rc.get(), forced.get(), tolerance});
        auto [chain, costs] = vy::unpack<2>(result.get());
        c.at(307);
        vy::Ref solution = vy::own(PySet_New(nullptr));
        vy::Ref i = vy::own(PyLong_FromSsize_t(n - 1));
        while (i.get() != Py_None) {
            c.at(309);
            vy::check(PySet_Add(solution.get(), i.get()));
            c.at(310);
            i = vy::own(PyObject_GetItem(chain.get(), i.get()));
        }
        c.at(311);
        vy::Ref minus_one = vy::int_object(-1);
        vy::Ref removed = vy::own(PyObject_CallMethod(solution.get(), "remove", "O", minus_one.get()));
        vy::Ref out = keep_chosen(c, 312, forced.get(), solution.get(), rd.get(), n);
        c.at(314);
        vy::Ref negk = vy::own(PyNumber_Negative(k.get()));
        rot = vy::global(n_rot_list);
        return vy::call(rot.get(), {out.get(), negk.get()});
    }
    c.at(318);
    vy::Ref dd = vy::own(PyNumber_Add(deltas, deltas));
    vy::Ref cc = vy::own(PyNumber_Add(coords, coords));
    vy::Ref dpf = vy::global(n_optimize_dp);
    vy::Ref result = vy::call(dpf.get(), {dd.get(), cc.get(), forced.get(), tolerance, nn.get()});
    auto [chain, costs] = vy::unpack<2>(result.get());
    c.at(320);
    vy::Ref best_sol = vy::Ref::borrow(Py_None);
    vy::Ref one = vy::int_object(1);
    vy::Ref best_cost = vy::own(PyNumber_Add(nn.get(), one.get()));  // n from a __len__ may be sys.maxsize
    c.at(321);
    const Py_ssize_t stop = PyObject_Size(costs.get());
    if (stop < 0) vy::raise();
    vy::Interrupts interrupts;
    for (Py_ssize_t start = n - 1; start < stop - 1; ++start) {
        c.at(322);
        vy::Ref solution = vy::own(PySet_New(nullptr));
        vy::Ref i = vy::own(PyLong_FromSsize_t(start));
        vy::Ref limit = vy::own(PyLong_FromSsize_t(start - n));
        c.at(323);
        while (vy::check(PyObject_RichCompareBool(i.get(), limit.get(), Py_GT))) {
            interrupts.step();
            c.at(324);
            vy::Ref m = vy::own(PyNumber_Remainder(i.get(), nn.get()));
            vy::check(PySet_Add(solution.get(), m.get()));
            c.at(325);
            i = vy::own(PyObject_GetItem(chain.get(), i.get()));
            c.at(323);
        }
        c.at(326);
        if (vy::check(PyObject_RichCompareBool(i.get(), limit.get(), Py_EQ))) {
            c.at(327);
            vy::Ref s = vy::own(PyLong_FromSsize_t(start));
            vy::Ref a = vy::own(PyObject_GetItem(costs.get(), s.get()));
            vy::Ref b = vy::own(PyObject_GetItem(costs.get(), limit.get()));
            vy::Ref cost = vy::own(PyNumber_Subtract(a.get(), b.get()));
            c.at(328);
            if (vy::check(PyObject_RichCompareBool(cost.get(), best_cost.get(), Py_LE))) {
                best_sol = std::move(solution);
                best_cost = std::move(cost);
            }
        }
    }
    vy::Ref out = keep_chosen(c, 329, forced.get(), best_sol.get(), deltas, n);
    return out;
}

PyObject* gapfill_contour_optimize(vy::Call& c, vy::Args& a) {
    PyObject* deltas = a.o(0);
    PyObject* coords = a.o(1);
    PyObject* tolerance = a.o(2);
    c.at(281);
    const Py_ssize_t n = PyObject_Size(deltas);
    if (n < 0) vy::raise();
    c.at(284);
    vy::Num tol = vy::Num::from(tolerance);
    if (all_within(deltas, tol)) return none_list(n).release();
    c.at(287);
    if (n == 1) return Py_NewRef(deltas);
    c.at(290);
    vy::Ref zero = vy::int_object(0);
    vy::Ref d0 = vy::own(PyObject_GetItem(deltas, zero.get()));
    {
        bool all_equal = true;
        vy::Ref it = vy::own(PyObject_GetIter(deltas));
        while (PyObject* item = PyIter_Next(it.get())) {
            vy::Ref d = vy::Ref::steal(item);
            vy::Ref eq = vy::own(PyObject_RichCompare(d0.get(), d.get(), Py_EQ));
            if (!vy::to_bool(eq.get())) {
                all_equal = false;
                break;
            }
        }
        if (PyErr_Occurred()) vy::raise();
        if (all_equal) {
            c.at(292);
            vy::Ref out = none_list(n);
            Py_SETREF(PyList_GET_ITEM(out.get(), 0), Py_NewRef(d0.get()));
            return out.release();
        }
    }
    // Tuples take the literal path: a rotation would hand them to _rot_list,
    // which rejects them, and that error must be the real one.
    c.at(296);
    if (PyList_CheckExact(deltas) && PyList_CheckExact(coords) && vy::is_own(n_bound_forced_set, bound_forced_set_def) &&
        vy::is_own(n_optimize_dp, optimize_dp_def) && vy::is_own(n_rot_list, rot_list_def) &&
        vy::is_own(n_rot_set, rot_set_def)) {
        Snapshot ds(deltas), cs(coords);
        if (ds.size() == n && cs.size() == n) return optimize_fast(ds, cs, tol, c).release();
    }
    return optimize_generic(deltas, coords, tolerance, n, c).release();
}

PyObject* gapfill_delta_optimize(vy::Call& c, vy::Args& a) {
    PyObject* deltas = a.o(0);
    PyObject* coords = a.o(1);
    if (vy::debug()) {
        c.at(343);
        vy::assert_that(ends_are_valid(coords, a.o(2)));
    }
    c.at(345);
    const Py_ssize_t n = PyObject_Size(coords);
    if (n < 0) vy::raise();
    c.at(346);
    vy::Ref ends = with_trailing_points(a.o(2), n);
    c.at(348);
    vy::Ref out = vy::own(PyList_New(0));
    vy::Ref start = vy::int_object(0);
    vy::Ref one = vy::int_object(1);
    c.at(349);
    vy::Ref it = vy::own(PyObject_GetIter(ends.get()));
    while (PyObject* item = PyIter_Next(it.get())) {
        vy::Ref end = vy::Ref::steal(item);
        c.at(350);
        vy::Ref stop = vy::own(PyNumber_Add(end.get(), one.get()));
        vy::Ref fn = vy::global(n_gapfill_contour_optimize);
        vy::Ref range = vy::own(PySlice_New(start.get(), stop.get(), nullptr));
        vy::Ref ds = vy::own(PyObject_GetItem(deltas, range.get()));
        vy::Ref cs = vy::own(PyObject_GetItem(coords, range.get()));
        vy::Ref contour = vy::call(fn.get(), {ds.get(), cs.get(), a.o(3)});
        if (vy::debug()) {
            c.at(351);
            const Py_ssize_t len = PyObject_Size(contour.get());
            if (len < 0) vy::raise();
            vy::Ref length = vy::own(PyLong_FromSsize_t(len));
            vy::Ref diff = vy::own(PyNumber_Subtract(end.get(), start.get()));
            vy::Ref expected = vy::own(PyNumber_Add(diff.get(), one.get()));
            vy::assert_that(vy::check(PyObject_RichCompareBool(length.get(), expected.get(), Py_EQ)));
        }
        c.at(352);
        Py_DECREF(vy::own(PySequence_InPlaceConcat(out.get(), contour.get())).release());
        c.at(353);
        start = std::move(stop);
        c.at(349);
    }
    if (PyErr_Occurred()) vy::raise();
    c.at(354);
    return out.release();
}

const vy::Param forced_params[] = {{"deltas"}, {"coords"}, {"tolerance"}};
const vy::Param dp_params[] = {
    {"deltas"}, {"coords"}, {"forced", vy::Kind::Set, true}, {"tolerance", vy::Kind::Double}, {"lookback"}};
const vy::Param rot_list_params[] = {{"l", vy::Kind::List}, {"k", vy::Kind::Int}};
const vy::Param rot_set_params[] = {{"s", vy::Kind::Set}, {"k", vy::Kind::Int}, {"n", vy::Kind::Int}};
const vy::Param optimize_params[] = {{"deltas"}, {"coords"}, {"tolerance"}};
const vy::Param delta_optimize_params[] = {{"deltas"}, {"coords"}, {"ends"}, {"tolerance"}};
const char* const forced_locals[] = {"n", "forced", "i", "j"};
const char* const dp_locals[] = {"n", "costs", "chain", "i", "j", "best_cost", "cost"};
const char* const optimize_locals[] = {"n", "d0", "forced", "k", "chain", "costs", "solution", "i"};

}  // namespace

vy::FunctionDef bound_forced_set_def{
    .name = "_gapfill_contour_bound_forced_set",
    .signature = "_gapfill_contour_bound_forced_set(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0) -> set",
    .doc = R"(Compute a conservative set of the points that must be encoded
    explicitly: no choice of explicit neighbours can reproduce their deltas
    by interpolation.  Knowing them speeds up the dynamic programming and
    resolves its circularity; the set is precise, in that a point in it can
    never be interpolated.
    )",
    .line = 145,
    .params = forced_params,
    .locals = forced_locals,
    .body = bound_forced_set,
};

vy::FunctionDef optimize_dp_def{
    .name = "_gapfill_contour_optimize_dp",
    .signature = "_gapfill_contour_optimize_dp(deltas: _DeltaSegment, coords: _PointSegment, set forced=set(), double tolerance: Real = 0, lookback: Integral = None)",
    .doc = R"(For each index i, find the least costly encoding of points 0 to i
    in which point i is explicit.  The solution therefore always encodes the
    last point explicitly (the caller removes that restriction), and the
    search backwards from a point stops at a forced point.
    )",
    .line = 200,
    .params = dp_params,
    .locals = dp_locals,
    .body = optimize_dp_body,
};

vy::FunctionDef rot_list_def{
    .name = "_rot_list",
    .signature = "_rot_list(list l: list, int k: int)",
    .doc = R"(Rotate the list forward by k items: item 0 ends at position k.  k may be
    negative.
    )",
    .line = 240,
    .params = rot_list_params,
    .body = rot_list,
};

vy::FunctionDef rot_set_def{
    .name = "_rot_set",
    .signature = "_rot_set(set s: set, int k: int, int n: int)",
    .line = 251,
    .params = rot_set_params,
    .body = rot_set,
};

vy::FunctionDef gapfill_contour_optimize_def{
    .name = "gapfill_contour_optimize",
    .signature = "gapfill_contour_optimize(deltas: _DeltaSegment, coords: _PointSegment, tolerance: Real = 0.0) -> _DeltaOrNoneSegment",
    .doc = R"(For the contour given in `coords`, return the delta vector with the
    most None items such that interpolating the remaining explicit deltas
    reproduces every input delta within `tolerance`.
    )",
    .line = 260,
    .params = optimize_params,
    .locals = optimize_locals,
    .body = gapfill_contour_optimize,
};

vy::FunctionDef gapfill_delta_optimize_def{
    .name = "gapfill_delta_optimize",
    .signature = "gapfill_delta_optimize(deltas: _DeltaSegment, coords: _PointSegment, ends: _Endpoints, tolerance: Real = 0.0) -> _DeltaOrNoneSegment",
    .doc = R"(For the outline given in `coords`, with the contour end indices in
    sorted increasing order in `ends`, return the delta vector with the most
    None items such that interpolation reproduces every input delta within
    `tolerance`.
    )",
    .line = 335,
    .params = delta_optimize_params,
    .locals = optimize_locals,
    .body = gapfill_delta_optimize,
};

}  // namespace gapfill
