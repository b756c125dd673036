// The promote module's conversion interface: quadratic_to_curves with its
// input checks, add_implicit_on_curves, the demonstration, and their
// function records.  The line numbers are those that traceback entries
// report.
#include "complex.h"
#include "promote.h"

namespace promote {

namespace {

const vy::Name n_generate_curve{"generate_curve"}, n_curve_to_quadratic{"curve_to_quadratic"},
    n_quadratic_to_curves{"quadratic_to_curves"}, n_real{"real"}, n_imag{"imag"};

// ---------------------------------------------------------------- elevation

PyObject* elevate_quadratic(vy::Call&, vy::Args& a) {
    const Py_complex z0 = a.z(0), z1 = a.z(1), z2 = a.z(2);
    const Cubic c = elevate(Z{z0.real, z0.imag}, Z{z1.real, z1.imag}, Z{z2.real, z2.imag});
    return vy::new_tuple({object_of(c.p[0]).get(), object_of(c.p[1]).get(), object_of(c.p[2]).get(),
                          object_of(c.p[3]).get()})
        .release();
}

// ------------------------------------------------------- implied on-curves

// The items of p with the implied on-curve points written out, appended to
// `q` from item `from` on.
void with_implied_points(const vy::Snapshot& items, vy::ListBuilder& q, Py_ssize_t from) {
    const Py_ssize_t n = items.size();
    for (Py_ssize_t i = from; i < n; ++i) {
        if (i >= 2 && i < n - 1) {
            const vy::Complex off1 = vy::to_complex(items[i - 1]);
            const vy::Complex off2 = vy::to_complex(items[i]);
            const vy::Complex on = off1 + (off2 - off1) * 0.5;
            q.append(vy::complex_object(on));
        }
        q.append(items[i]);
    }
}

vy::Ref add_implicit(vy::Call& c, PyObject* p) {
    c.at(36);
    vy::Snapshot items(p);
    vy::ListBuilder q;
    c.at(38);
    with_implied_points(items, q, 0);
    return q.list();
}

PyObject* add_implicit_on_curves(vy::Call& c, vy::Args& a) { return add_implicit(c, a.o(0)).release(); }

// ---------------------------------------------------------------- validators

[[noreturn]] void incompatible(vy::Call& c, PyObject* point, PyObject* previous_point) {
    c.at(52);
    vy::raise_format(PyExc_ValueError, "Quadratic splines must connect end-to-start; got %R then %R", previous_point,
                     point);
}

PyObject* raise_incompatible_point(vy::Call& c, vy::Args& a) { incompatible(c, a.o(0), a.o(1)); }

void spline_length(vy::Call& c, PyObject* spline) {
    c.at(58);
    if (vy::length(spline) < 3) {
        c.at(59);
        vy::raise(PyExc_ValueError, "Quadratic splines must contain at least 3 points");
    }
}

PyObject* validate_spline_length(vy::Call& c, vy::Args& a) {
    spline_length(c, a.o(0));
    Py_RETURN_NONE;
}

void positive_tolerance(vy::Call& c, PyObject* max_err) {
    c.at(63);
    vy::Ref zero = vy::int_object(0);
    if (vy::compare(max_err, zero.get(), Py_LE)) {
        c.at(64);
        vy::raise(PyExc_ValueError, "max_err must be greater than zero");
    }
}

PyObject* validate_positive_tolerance(vy::Call& c, vy::Args& a) {
    positive_tolerance(c, a.o(0));
    Py_RETURN_NONE;
}

// -------------------------------------------------------------- conversion

// A module-level function called by its name: its own body runs in place
// while the name holds it.
template <class Direct>
vy::Ref call_by_name(const vy::Callee& callee, std::initializer_list<PyObject*> args, Direct&& direct) {
    return callee.call(direct, [&](PyObject* fn) { return vy::call(fn, args); });
}

// complex(x, y) for the two items of a point
vy::Ref complex_point(PyObject* p) {
    auto [x, y] = vy::unpack<2>(p);
    return vy::complex_object(vy::complex_of(x.get(), y.get()));
}

// [complex(x, y) for x, y in spline]
vy::Ref complex_points(PyObject* spline) {
    vy::ListBuilder out;
    vy::Ref it = vy::iter(spline);
    while (vy::Ref p = vy::next_or_end(it.get())) out.append(complex_point(p.get()));
    return out.list();
}

// tuple((c.real, c.imag) for c in curve)
vy::Ref float_pairs(PyObject* curve) {
    vy::ListBuilder points;
    vy::Ref it = vy::iter(curve);
    while (vy::Ref pt = vy::next_or_end(it.get())) {
        vy::Ref x, y;
        if (PyComplex_CheckExact(pt.get())) {
            const Z z = z_of(pt.get());
            x = vy::float_object(z.re);
            y = vy::float_object(z.im);
        } else {
            x = vy::getattr(pt.get(), n_real);
            y = vy::getattr(pt.get(), n_imag);
        }
        points.append(vy::new_tuple({x.get(), y.get()}));
    }
    return vy::tuple_of(points.list().get());
}

// _validate_positive_tolerance(max_err), then _validate_spline_length of
// each spline of the caller's list as it is at each step.
void validate(vy::Call& c, PyObject* quads, double max_err) {
    c.at(99);
    vy::Ref tolerance = vy::float_object(max_err);
    call_by_name(c_validate_positive_tolerance, {tolerance.get()}, [&](vy::Call& callee) {
        positive_tolerance(callee, tolerance.get());
        return vy::Ref::borrow(Py_None);
    });
    c.at(100);
    vy::ListItems splines(quads);
    while (vy::Ref spline = splines.next()) {
        call_by_name(c_validate_spline_length, {spline.get()}, [&](vy::Call& callee) {
            spline_length(callee, spline.get());
            return vy::Ref::borrow(Py_None);
        });
    }
}

// `for p in quads`: the caller's list read live when its points are complex,
// else the complex copies made of it first.
class Splines {
public:
    Splines(vy::Call& c, PyObject* quads) : quads_(quads), live_(quads) {
        c.at(103);
        is_complex_ = PyComplex_CheckExact(vy::item(vy::item(quads, Py_ssize_t(0)).get(), Py_ssize_t(0)).get());
        if (is_complex_) return;
        c.at(105);
        vy::ListItems splines(quads);
        while (vy::Ref spline = splines.next()) converted_.push_back(complex_points(spline.get()));
    }
    bool is_complex() const noexcept { return is_complex_; }
    // quads[0], with the IndexError of an empty list
    vy::Ref first() const {
        vy::Ref spline = is_complex_ ? vy::item(quads_, Py_ssize_t(0))
                                     : converted_.empty() ? vy::Ref() : converted_.front().copy();
        if (!spline) vy::raise(PyExc_IndexError, "list index out of range");
        return spline;
    }
    vy::Ref next() {
        if (is_complex_) return live_.next();
        if (next_ == converted_.size()) return {};
        return converted_[next_++].copy();
    }

private:
    PyObject* quads_;
    bool is_complex_ = false;
    std::vector<vy::Ref> converted_;
    std::size_t next_ = 0;
    vy::ListItems live_;
};

// The splines joined into one, q, with the cost of each of its points.
void join(vy::Call& c, Splines& splines, vy::ListBuilder& q, std::vector<long long>& costs) {
    c.at(107);
    vy::Ref last = vy::item(splines.first().get(), Py_ssize_t(0));
    q.append(last.get());
    costs.push_back(1);
    long long cost = 1;
    while (vy::Ref p = splines.next()) {
        c.at(112);
        vy::Ref first = vy::item(p.get(), Py_ssize_t(0));
        if (vy::not_equal(last.get(), first.get())) {
            c.at(113);
            call_by_name(c_raise_incompatible_point, {first.get(), last.get()},
                         [&](vy::Call& callee) -> vy::Ref { incompatible(callee, first.get(), last.get()); });
        }
        c.at(114);
        const Py_ssize_t len = vy::length(p.get());
        for (Py_ssize_t k = 0; k < len - 2; ++k) {
            cost = cost + 1;
            costs.push_back(cost);
            costs.push_back(cost);
        }
        c.at(118);
        const std::size_t before = q.size();
        c_add_implicit_on_curves.call(
            [&](vy::Call& callee) {
                callee.at(36);
                vy::Snapshot items(p.get());
                callee.at(38);
                with_implied_points(items, q, 1);
                return 0;
            },
            [&](PyObject* fn) {
                vy::Ref with_on = vy::call(fn, {p.get()});
                vy::Ref one = vy::int_object(1);
                vy::Ref qq = vy::slice(with_on.get(), one.get(), Py_None);
                q.extend(qq.get());
                return 0;
            });
        c.at(119);
        costs.pop_back();
        cost = cost + 1;
        costs.push_back(cost);
        // q[-1], which an empty qq leaves as it was
        if (q.size() > before) last = vy::Ref::borrow(q.back());
    }
}

PyObject* quadratic_to_curves(vy::Call& c, vy::Args& a) {
    PyObject* quads_arg = a.o(0);
    const double max_err = a.d(1);
    const bool all_cubic = a.b(2);
    c.at(96);
    if (vy::length(quads_arg) == 0) return vy::new_list({}).release();
    validate(c, quads_arg, max_err);
    // The validators may have changed quads: everything below reads it anew,
    // as the statements do.
    Splines splines(c, quads_arg);
    vy::ListBuilder q;
    std::vector<long long> costs;
    join(c, splines, q, costs);
    c.at(124);
    vy::Ref q_list = q.list();
    vy::Ref curves = c_spline_to_curves.call(
        [&](vy::Call& callee) {
            return spline_to_curves(callee, q_list.get(), CountedCosts(costs), max_err, all_cubic);
        },
        [&](PyObject* fn) {
            vy::ListBuilder items;
            for (long long k : costs) items.append(vy::int_object(k));
            vy::Ref costs_list = items.list();
            vy::Ref tolerance = vy::float_object(max_err);
            return vy::call(fn, {q_list.get(), costs_list.get(), tolerance.get(), all_cubic ? Py_True : Py_False});
        });

    if (!splines.is_complex()) {
        c.at(127);
        vy::ListBuilder out;
        vy::Ref it = vy::iter(curves.get());
        while (vy::Ref curve = vy::next_or_end(it.get())) out.append(float_pairs(curve.get()));
        curves = out.list();
    }
    c.at(128);
    if (!PyList_CheckExact(curves.get()))
        vy::raise_format(PyExc_TypeError, "Expected %s, got %.200s", "list", Py_TYPE(curves.get())->tp_name);
    return curves.release();
}

PyObject* spline_to_curves_body(vy::Call& c, vy::Args& a) {
    return spline_to_curves(c, a.o(0), ObjectCosts(a.o(1)), a.d(2), a.i(3) != 0).release();
}

// ------------------------------------------------------------ demonstration

PyObject* main_body(vy::Call& c, vy::Args&) {
    c.at(327);
    vy::Ref generate_curve = vy::import_from("vellary.demote.benchmark", n_generate_curve);
    c.at(328);
    vy::Ref curve_to_quadratic = vy::import_from("vellary.demote", n_curve_to_quadratic);
    c.at(331);
    vy::Ref tolerance = vy::float_object(0.05);
    vy::Ref curve = vy::call(generate_curve.get(), {});
    c.at(332);
    vy::Ref quadratics = vy::call(curve_to_quadratic.get(), {curve.get(), tolerance.get()});
    auto say = [&](const char* format, PyObject* values) {
        vy::Ref text = vy::str_object(format);
        vy::Ref line = vy::remainder(text.get(), values);
        vy::call(b_print.get(), {line.get()});
    };
    c.at(333);
    say("demote tolerance %g. promote tolerance %g.", vy::new_tuple({tolerance.get(), tolerance.get()}).get());
    c.at(334);
    say("One random cubic turned into %d quadratics.", vy::int_object(vy::length(quadratics.get())).get());
    c.at(335);
    vy::Ref quads = vy::new_list({quadratics.get()});
    vy::Ref curves = vy::call(vy::global(n_quadratic_to_curves).get(), {quads.get(), tolerance.get()});
    c.at(336);
    say("Those quadratics turned back into %d cubics. ", vy::int_object(vy::length(curves.get())).get());
    c.at(337);
    vy::Ref original = vy::str_object("Original curve:");
    vy::call(b_print.get(), {original.get(), curve.get()});
    c.at(338);
    vy::Ref reconstructed = vy::str_object("Reconstructed curve(s):");
    vy::call(b_print.get(), {reconstructed.get(), curves.get()});
    Py_RETURN_NONE;
}

const vy::Param elevate_params[] = {{"p0", vy::Kind::Complex}, {"p1", vy::Kind::Complex}, {"p2", vy::Kind::Complex}};
const char* const elevate_locals[] = {"p1_2_3"};
const vy::Param p_params[] = {{"p"}};
const char* const implicit_locals[] = {"q", "i", "off1", "off2", "on"};
const vy::Param incompatible_params[] = {{"point"}, {"previous_point"}};
const vy::Param spline_params[] = {{"spline"}};
const vy::Param max_err_params[] = {{"max_err"}};
const vy::Param quads_params[] = {{"quads", vy::Kind::List}, {"max_err", vy::Kind::Double}, {"all_cubic", vy::Kind::Bool}};
const char* const quads_locals[] = {"is_complex", "q", "costs", "cost", "p", "qq", "curves", "curve", "c"};
const vy::Param spline_to_curves_params[] = {{"q"}, {"costs"}, {"tolerance", vy::Kind::Double}, {"all_cubic", vy::Kind::Int}};
const char* const spline_to_curves_locals[] = {
    "elevated_quadratics", "forced", "sols", "impossible", "start", "i", "best_sol", "j", "j_sol_count",
    "j_sol_error", "this_count", "curve", "ts", "reconstructed", "error", "k", "reconstructed_iter", "orig", "err",
    "splits", "cubic", "curves", "is_cubic"};
const char* const main_locals[] = {"generate_curve", "curve_to_quadratic", "tolerance", "reconstruction_tolerance",
                                   "curve", "quadratics", "curves"};

}  // namespace

vy::FunctionDef elevate_quadratic_def{
    .name = "elevate_quadratic",
    .signature = "elevate_quadratic(double complex p0, double complex p1, double complex p2)",
    .doc = "Given a quadratic bezier curve, return its degree-elevated cubic.",
    .line = 22,
    .params = elevate_params,
    .locals = elevate_locals,
    .body = elevate_quadratic,
};

vy::FunctionDef add_implicit_on_curves_def{
    .name = "add_implicit_on_curves",
    .signature = "add_implicit_on_curves(p)",
    .line = 33,
    .params = p_params,
    .locals = implicit_locals,
    .body = add_implicit_on_curves,
};

vy::FunctionDef raise_incompatible_point_def{
    .name = "_raise_incompatible_point",
    .signature = "_raise_incompatible_point(point, previous_point)",
    .line = 50,
    .params = incompatible_params,
    .body = raise_incompatible_point,
};

vy::FunctionDef validate_spline_length_def{
    .name = "_validate_spline_length",
    .signature = "_validate_spline_length(spline)",
    .line = 57,
    .params = spline_params,
    .body = validate_spline_length,
};

vy::FunctionDef validate_positive_tolerance_def{
    .name = "_validate_positive_tolerance",
    .signature = "_validate_positive_tolerance(max_err)",
    .line = 62,
    .params = max_err_params,
    .body = validate_positive_tolerance,
};

vy::FunctionDef quadratic_to_curves_def{
    .name = "quadratic_to_curves",
    .signature = "quadratic_to_curves(list quads: List[Sequence[Point]], double max_err: float = 0.5, "
                 "bool all_cubic: bool = False) -> List[Tuple[Point, ...]]",
    .doc = R"(Converts a connecting list of quadratic splines to a list of quadratic
    and cubic curves.

    A quadratic spline is specified as a list of points.  Either each point is
    a 2-tuple of X,Y coordinates, or each point is a complex number with
    real/imaginary components representing X,Y coordinates.

    The first and last points are on-curve points and the rest are off-curve
    points, with an implied on-curve point in the middle between every two
    consecutive off-curve points.

    Returns:
        The output is a list of tuples of points. Points are represented
        in the same format as the input, either as 2-tuples or complex numbers.

        Each tuple is either of length three, for a quadratic curve, or four,
        for a cubic curve.  Each curve's last point is the same as the next
        curve's first point.  An empty input gives an empty list.

    Args:
        quads: quadratic splines

        max_err: absolute error tolerance; defaults to 0.5

        all_cubic: if True, only cubic curves are generated; defaults to False

    Raises:
        ValueError: when a spline has fewer than 3 points, or when the
            splines do not connect end-to-start.
    )",
    .line = 67,
    .params = quads_params,
    .locals = quads_locals,
    .body = quadratic_to_curves,
};

vy::FunctionDef spline_to_curves_def{
    .name = "spline_to_curves",
    .signature = "spline_to_curves(q, costs, double tolerance=0.5, int all_cubic=False)",
    .doc = R"(
    q: quadratic spline with alternating on-curve / off-curve points.

    costs: cumulative list of encoding cost of q in terms of number of
      points that need to be encoded.  Implied on-curve points do not
      contribute to the cost. If all points need to be encoded, then
      costs will be range(1, len(q)+1).
    )",
    .line = 207,
    .params = spline_to_curves_params,
    .locals = spline_to_curves_locals,
    .body = spline_to_curves_body,
};

vy::FunctionDef main_def{
    .name = "main",
    .signature = "main()",
    .line = 325,
    .locals = main_locals,
    .body = main_body,
};

}  // namespace promote
