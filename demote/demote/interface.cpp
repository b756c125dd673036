// curve_to_quadratic and curves_to_quadratic: point conversion, the search
// for the smallest segment count, and the Python results.
#include <climits>
#include <cmath>

#include "demote.h"
#include "generator.h"
#include "interrupts.h"

namespace demote {

namespace {

// complex(*(p if type(p) is tuple else tuple(p)))
Z convert_point(PyObject* p) {
    const Py_complex z = PyTuple_CheckExact(p) ? vy::complex_of(p) : vy::complex_of(vy::tuple_of(p).get());
    return Z{z.real, z.imag};
}

std::vector<Z> convert_curve(PyObject* curve) {
    std::vector<Z> points;
    points.reserve(4);
    vy::Ref it = vy::iter(curve);
    while (vy::Ref p = vy::next_or_end(it.get())) points.push_back(convert_point(p.get()));
    return points;
}

vy::Ref complex_list(const std::vector<Z>& points) {
    vy::ListBuilder list;
    for (const Z& z : points) list.append(object_of(z));
    return list.list();
}

// [(s.real, s.imag) for s in spline]
vy::Ref output(const std::vector<Z>& points) {
    vy::ListBuilder list;
    for (const Z& z : points) {
        vy::Ref x = vy::float_object(z.re), y = vy::float_object(z.im);
        list.append(vy::new_tuple({x.get(), y.get()}));
    }
    return list.list();
}

vy::Ref output(const Spline& s, const std::vector<Z>& curve) { return output(s.kind == Spline::Cubic ? curve : s.points); }

[[noreturn]] void raise_not_found(vy::Ref arg) { vy::raise_new(n_ApproxNotFoundError, {arg.get()}); }

[[noreturn]] void raise_not_found_for(const std::vector<std::vector<Z>>& curves) {
    vy::ListBuilder list;
    for (const std::vector<Z>& curve : curves) list.append(complex_list(curve));
    raise_not_found(list.list());
}

// A MAX_N that no count reaches: n never equals NaN or an infinity, so the
// search ends as if its range were exhausted.
bool unreachable(const vy::Num& max_n) {
    if (max_n.is_float()) return !std::isfinite(max_n.f());
    if (max_n.is_int()) return false;
    return PyFloat_Check(max_n.o()) && !std::isfinite(PyFloat_AS_DOUBLE(max_n.o()));
}

// Whether the count that just failed was the last one MAX_N allows.
bool last_count(Py_ssize_t n) {
    const vy::Num max_n = vy::global_value(n_MAX_N);
    if (unreachable(max_n)) return true;
    return vy::Num::integer(n) >= max_n;
}

int as_int(Py_ssize_t n) {
    if (n > INT_MAX) vy::raise(PyExc_OverflowError, "value too large to convert to int");
    return int(n);
}

PyObject* curve_to_quadratic(vy::Call& c, vy::Args& a) {
    c.at(485);
    const std::vector<Z> curve = convert_curve(a.o(0));
    const double max_err = a.d(1);
    const bool all_quadratic = a.i(2) != 0;
    c.at(487);
    const vy::Num limit = vy::global_value(n_MAX_N) + 1;
    const Py_ssize_t stop = limit.is_int() ? Py_ssize_t(limit.i()) : vy::index_of(limit.object().get());
    vy::Interrupts interrupts;
    for (Py_ssize_t n = 1; n < stop; ++n) {
        interrupts.step(n);
        c.at(488);
        const Spline s = cubic_approx_spline(curve, as_int(n), max_err, all_quadratic);
        c.at(489);
        if (s.kind != Spline::None) return output(s, curve).release();
    }
    c.at(492);
    raise_not_found(complex_list(curve));
}

PyObject* curves_to_quadratic(vy::Call& c, vy::Args& a) {
    PyObject* max_errors = a.o(1);
    const bool all_quadratic = a.i(2) != 0;
    c.at(535);
    std::vector<std::vector<Z>> curves;
    {
        vy::Ref it = vy::iter(a.o(0));
        while (vy::Ref curve = vy::next_or_end(it.get())) curves.push_back(convert_curve(curve.get()));
    }
    c.at(537);
    const Py_ssize_t nerrors = vy::length(max_errors);
    if (std::size_t(nerrors) != curves.size())
        vy::raise(PyExc_ValueError, "max_errors must match the number of curves");
    c.at(540);
    if (curves.empty()) return vy::new_list({}).release();

    c.at(543);
    const std::size_t l = curves.size();
    std::vector<Spline> splines(l);
    std::size_t i = 0, last_i = 0;
    Py_ssize_t n = 1;
    // A MAX_N below 1 (or NaN, or an infinity) would never equal the count,
    // and the search would not end: no count is tried, as in
    // curve_to_quadratic.
    {
        const vy::Num max_n = vy::global_value(n_MAX_N);
        if (unreachable(max_n) || max_n < 1) {
            c.at(556);
            raise_not_found_for(curves);
        }
    }
    vy::Interrupts interrupts;
    while (true) {
        interrupts.step(n);
        c.at(548);
        vy::Ref item = vy::item(max_errors, Py_ssize_t(i));
        const double e = vy::to_double(item.get());
        Spline s = cubic_approx_spline(curves[i], as_int(n), e, all_quadratic);
        c.at(549);
        if (s.kind == Spline::None) {
            if (last_count(n)) break;
            ++n;
            last_i = i;
            continue;
        }
        splines[i] = std::move(s);
        i = (i + 1) % l;
        if (i == last_i) {
            c.at(555);
            vy::ListBuilder out;
            for (std::size_t k = 0; k < l; ++k) out.append(output(splines[k], curves[k]));
            return out.list().release();
        }
    }
    c.at(556);
    raise_not_found_for(curves);
}

vy::Gen split_cubic_into_n_gen(vy::Args a) {
    vy::GenPromise& g = co_await vy::this_gen;
    const Py_complex z0 = a.z(0), z1 = a.z(1), z2 = a.z(2), z3 = a.z(3);
    const int n = a.i(4);
    g.at(139);
    Z pa, pb, pc, pd;
    cubic_parameters(Z{z0.real, z0.imag}, Z{z1.real, z1.imag}, Z{z2.real, z2.imag}, Z{z3.real, z3.imag}, pa, pb, pc, pd);
    g.at(140);
    if (n == 0) vy::raise(PyExc_ZeroDivisionError, "float division");
    const double dt = 1.0 / n;
    const double delta_2 = dt * dt;
    const double delta_3 = delta_2 * dt;
    vy::Interrupts interrupts;  // a C caller such as list() never runs Python code between items
    for (int i = 0; i < n; ++i) {
        interrupts.step();
        g.at(144);
        const Piece piece = nth_piece(pa, pb, pc, pd, dt, delta_2, delta_3, i);
        vy::Ref tuple = vy::new_tuple({object_of(piece.p[0]).get(), object_of(piece.p[1]).get(),
                                       object_of(piece.p[2]).get(), object_of(piece.p[3]).get()});
        g.at(150);
        co_yield std::move(tuple);
    }
    co_return vy::Ref::borrow(Py_None);
}

const vy::Param gen_params[] = {{"p0", vy::Kind::Complex}, {"p1", vy::Kind::Complex}, {"p2", vy::Kind::Complex},
                                {"p3", vy::Kind::Complex}, {"n", vy::Kind::Int}};
const char* const gen_locals[] = {"a", "b", "c", "d", "dt", "delta_2", "delta_3", "i", "t1", "t1_2"};
const vy::Param curve_params[] = {{"curve"}, {"max_err", vy::Kind::Double}, {"all_quadratic", vy::Kind::Int}};
const vy::Param curves_params[] = {{"curves"}, {"max_errors"}, {"all_quadratic", vy::Kind::Int}};
const char* const curve_locals[] = {"n", "spline"};
const char* const curves_locals[] = {"l", "splines", "i", "last_i", "n", "spline"};

}  // namespace

vy::FunctionDef split_gen_def{
    .name = "_split_cubic_into_n_gen",
    .signature = "_split_cubic_into_n_gen(double complex p0, double complex p1, double complex p2, double complex p3, int n)",
    .line = 133,
    .params = gen_params,
    .locals = gen_locals,
    .generator = split_cubic_into_n_gen,
};

vy::FunctionDef curve_to_quadratic_def{
    .name = "curve_to_quadratic",
    .signature = "curve_to_quadratic(curve, double max_err, int all_quadratic=True)",
    .doc = R"(Approximate a cubic Bezier curve with a spline of n quadratics.

    Args:
        curve (sequence): the four control points of the cubic, as 2D tuples.
        max_err (double): the permitted deviation from the original curve.
        all_quadratic (bool): if True (the default), the result is a
            quadratic spline; if False, it may be a single quadratic or the
            cubic itself.

    Returns:
        A list of 2D tuples: the points of a spline of n quadratics, whose
        implied on-curve points lie halfway between consecutive off-curve
        points.

    Raises:
        vellary.demote.errors.ApproxNotFoundError: when no suitable
            approximation can be found with the permitted number of segments.
    )",
    .line = 466,
    .params = curve_params,
    .locals = curve_locals,
    .body = curve_to_quadratic,
};

vy::FunctionDef curves_to_quadratic_def{
    .name = "curves_to_quadratic",
    .signature = "curves_to_quadratic(curves, max_errors, int all_quadratic=True)",
    .doc = R"(Return quadratic Bezier splines approximating the input cubic Beziers.

    Args:
        curves: a sequence of *n* curves, each a sequence of four 2D tuples.
        max_errors: a sequence of *n* floats, the permissible deviation from
            each of the curves.
        all_quadratic (bool): if True (the default), the results are
            quadratic splines; if False, they may be single quadratics or the
            cubics themselves.

    All splines get the same number of segments, the smallest that meets
    every curve's own bound, so that they correspond point for point.
    Between two consecutive off-curve points each spline has an implied
    on-curve point, as TrueType outlines expect.  An empty `curves` gives
    an empty list.

    Example::

        >>> curves_to_quadratic( [
        ...   [ (50,50), (100,100), (150,100), (200,50) ],
        ...   [ (75,50), (120,100), (150,75),  (200,60) ]
        ... ], [1,1] )
        [[(50.0, 50.0), (75.0, 75.0), (125.0, 91.66666666666666), (175.0, 75.0), (200.0, 50.0)], [(75.0, 50.0), (97.5, 75.0), (135.41666666666666, 82.08333333333333), (175.0, 67.5), (200.0, 60.0)]]

    In the first spline above, for instance, the first quadratic segment
    ends at the implied point halfway between (75.0, 75.0) and
    (125.0, 91.66666666666666).

    Raises:
        ValueError: when `max_errors` does not match the number of curves.
        vellary.demote.errors.ApproxNotFoundError: when no suitable
            approximation can be found for all curves with the permitted
            number of segments.
    )",
    .doctest = true,
    .line = 504,
    .params = curves_params,
    .locals = curves_locals,
    .body = curves_to_quadratic,
};

}  // namespace demote
