// Tight bounding boxes of quadratic and cubic segments: the end points and
// the points where a coordinate's derivative vanishes inside the segment.
#include <span>
#include <vector>

#include "curvemath.h"

namespace curvemath {

using vy::Num;
using vy::Plain;
using vy::Ref;

namespace {

// ------------------------------------------------------------ the general run

// The roots of `found` with 0 <= t < 1, in the order given.
void append_in_unit_interval(std::vector<Num>& roots, PyObject* found) {
    Ref it = vy::iter(found);
    while (Ref item = vy::next_or_end(it.get())) {
        Num t = Num::from(item.get());
        if (0 <= t && t < 1) roots.push_back(std::move(t));
    }
}

struct General {
    using V = Num;
    std::vector<Num> roots;
    vy::ListBuilder points;

    static std::array<Coefficient, 3> parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3) {
        return quadratic_parameters(pt1, pt2, pt3);
    }
    static std::array<Coefficient, 4> parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3, PyObject* pt4) {
        return cubic_parameters(pt1, pt2, pt3, pt4);
    }
    static const Pair& xy(Coefficient& c) { return c.xy(); }
    // roots += [t for t in solveQuadratic(a, b, c) if 0 <= t < 1]
    void solve_in_unit_interval(const Num& a, const Num& b, const Num& c) {
        Ref other;
        vy::FunctionObject* own = c_solveQuadratic.lookup(other);
        PyObject* solver = own ? reinterpret_cast<PyObject*>(own) : other.get();
        Ref found = vy::call(solver, {a.object().get(), b.object().get(), c.object().get()});
        append_in_unit_interval(roots, found.get());
    }
    std::span<const Num> found() const noexcept { return roots; }
    void point(Num x, Num y) { points.append(vy::tuple(x, y)); }
    // calcBounds(points + [first, last])
    PyObject* bounds(PyObject* first, PyObject* last) {
        points.append(Ref::borrow(first));
        points.append(Ref::borrow(last));
        Ref list = points.list();
        Ref holder;
        return vy::call(h_calcBounds.lookup(holder), {list.get()}).release();
    }
};

// ------------------------------------------------------------ the machine run

// calcBounds(points) of boxmath, for points of plain numbers: the minimum
// and maximum of each coordinate as the builtins min and max pick them (the
// earliest of equal values; a later value replaces only when strictly
// smaller or larger).  `pick` gets the point of each of xMin, yMin, xMax,
// yMax.
void pick_bounds(const PairOf<Plain>* points, std::size_t n, std::size_t (&pick)[4]) {
    for (std::size_t& p : pick) p = 0;
    for (std::size_t i = 1; i < n; ++i) {
        for (int k = 0; k < 2; ++k) {
            if (points[i][k] < points[pick[k]][k]) pick[k] = i;
            if (points[i][k] > points[pick[k + 2]][k]) pick[k + 2] = i;
        }
    }
}

// The bounds as the tuple calcBounds returns: each bound the very object of
// the point it came from, so two bounds from one item are one object.
Ref bounds_tuple(const PairOf<Plain>* points, std::size_t n) {
    std::size_t pick[4];
    pick_bounds(points, n, pick);
    Ref t = vy::own(PyTuple_New(4));
    for (int j = 0; j < 4; ++j) {
        const int k = j % 2;
        PyObject* o = j >= 2 && pick[j] == pick[k] ? Py_NewRef(PyTuple_GET_ITEM(t.get(), k))
                                                   : points[pick[j]][k].object().release();
        PyTuple_SET_ITEM(t.get(), j, o);
    }
    return t;
}

PlainRect bounds_values(const PairOf<Plain>* points, std::size_t n) {
    std::size_t pick[4];
    pick_bounds(points, n, pick);
    return {points[pick[0]][0], points[pick[1]][1], points[pick[2]][0], points[pick[3]][1]};
}

// Taken while every name the bodies call holds the library's own code.
struct Machine {
    using V = Plain;
    QuadraticSolverNames solver;
    std::array<Plain, 4> roots;
    std::size_t nroots = 0;
    std::array<PairOf<Plain>, 6> points;
    std::size_t npoints = 0;

    static bool quadratic_ok() noexcept { return c_calcQuadraticParameters.ours_now() && h_calcBounds.ours_now(); }
    bool cubic_ok() noexcept {
        const vy::FunctionObject* solve = c_solveQuadratic.ours_now();
        // solveQuadratic(a, b, c) takes the default sqrt, fixed at exec.
        return c_calcCubicParameters.ours_now() && solve && solve->defaults &&
               sqrt.is_genuine(PyTuple_GET_ITEM(solve->defaults, 0)) && solver.read() && h_calcBounds.ours_now();
    }

    template <class P>
    static std::array<PairOf<Plain>, 3> parameters(const P& pt1, const P& pt2, const P& pt3) {
        vy::Call callee{nullptr, &calcQuadraticParameters_def, 0};
        return calc_quadratic_parameters<Plain>(callee, pt1, pt2, pt3);
    }
    template <class P>
    static std::array<PairOf<Plain>, 4> parameters(const P& pt1, const P& pt2, const P& pt3, const P& pt4) {
        vy::Call callee{nullptr, &calcCubicParameters_def, 0};
        return calc_cubic_parameters<Plain>(callee, pt1, pt2, pt3, pt4);
    }
    static const PairOf<Plain>& xy(const PairOf<Plain>& c) { return c; }
    void solve_in_unit_interval(Plain a, Plain b, Plain c) {
        const Roots<Plain> found = solve_quadratic(solver, a, b, c);
        for (int i = 0; i < found.n; ++i)
            if (0 <= found.v[i] && found.v[i] < 1) roots[nroots++] = found.v[i];
    }
    std::span<const Plain> found() const noexcept { return {roots.data(), nroots}; }
    void point(Plain x, Plain y) { points[npoints++] = {x, y}; }
    PyObject* bounds(PyObject* first, PyObject* last) {
        points[npoints++] = vy::plain_point(first);
        points[npoints++] = vy::plain_point(last);
        return bounds_tuple(points.data(), npoints).release();
    }
    PlainRect bounds(const PairOf<Plain>& first, const PairOf<Plain>& last) {
        points[npoints++] = first;
        points[npoints++] = last;
        return bounds_values(points.data(), npoints);
    }
};

// ------------------------------------------------------------ the bodies

template <class Run, class P>
auto quadratic_bounds(vy::Call& c, Run& run, const P& pt1, const P& pt2, const P& pt3) {
    using V = typename Run::V;
    c.at(315);
    auto abc = run.parameters(pt1, pt2, pt3);
    const auto& [ax, ay] = run.xy(abc[0]);
    const auto& [bx, by] = run.xy(abc[1]);
    const auto& [cx, cy] = run.xy(abc[2]);
    c.at(316);
    V ax2 = ax * 2.0;
    c.at(317);
    V ay2 = ay * 2.0;
    std::array<V, 2> roots{V(0), V(0)};
    int nroots = 0;
    c.at(319);
    if (ax2 != 0) {
        c.at(320);
        roots[nroots++] = V(-bx / ax2);
    }
    c.at(321);
    if (ay2 != 0) {
        c.at(322);
        roots[nroots++] = V(-by / ay2);
    }
    for (int i = 0; i < nroots; ++i) {
        const V& t = roots[i];
        c.at(326);
        if (!(0 <= t && t < 1)) continue;
        c.at(324);
        V x = ax * t * t + bx * t + cx;
        V y = ay * t * t + by * t + cy;
        run.point(x, y);
    }
    c.at(328);
    return run.bounds(pt1, pt3);
}

template <class Run, class P>
auto cubic_bounds(vy::Call& c, Run& run, const P& pt1, const P& pt2, const P& pt3, const P& pt4) {
    using V = typename Run::V;
    c.at(429);
    auto abcd = run.parameters(pt1, pt2, pt3, pt4);
    const auto& [ax, ay] = run.xy(abcd[0]);
    const auto& [bx, by] = run.xy(abcd[1]);
    const auto& [cx, cy] = run.xy(abcd[2]);
    const auto& [dx, dy] = run.xy(abcd[3]);
    c.at(431);
    V ax3 = ax * 3.0;
    c.at(432);
    V ay3 = ay * 3.0;
    c.at(433);
    V bx2 = bx * 2.0;
    c.at(434);
    V by2 = by * 2.0;
    c.at(435);
    run.solve_in_unit_interval(ax3, bx2, cx);
    c.at(436);
    run.solve_in_unit_interval(ay3, by2, cy);
    for (const V& t : run.found()) {
        c.at(440);
        V x = ax * t * t * t + bx * t * t + cx * t + dx;
        c.at(441);
        V y = ay * t * t * t + by * t * t + cy * t + dy;
        c.at(439);
        run.point(x, y);
    }
    c.at(446);
    return run.bounds(pt1, pt4);
}

}  // namespace

bool machine_bounds_ok(const PlainSegment& s) noexcept {
    if (s.n == 3) return Machine::quadratic_ok();
    Machine run;
    return run.cubic_ok();
}

PlainRect machine_bounds(const PlainSegment& s) {
    Machine run;
    if (s.n == 3) {
        vy::Call callee{nullptr, &calcQuadraticBounds_def, 0};
        return quadratic_bounds(callee, run, s.p[0], s.p[1], s.p[2]);
    }
    vy::Call callee{nullptr, &calcCubicBounds_def, 0};
    return cubic_bounds(callee, run, s.p[0], s.p[1], s.p[2], s.p[3]);
}

namespace {

PyObject* calcQuadraticBounds(vy::Call& c, vy::Args& args) {
    if (vy::plain_arguments(args, 3) && Machine::quadratic_ok()) {
        try {
            Machine run;
            return quadratic_bounds(c, run, args.o(0), args.o(1), args.o(2));
        } catch (vy::Bail) {
        }
    }
    General run;
    return quadratic_bounds(c, run, args.o(0), args.o(1), args.o(2));
}

PyObject* calcCubicBounds(vy::Call& c, vy::Args& args) {
    {
        Machine run;
        if (vy::plain_arguments(args, 4) && run.cubic_ok()) {
            try {
                return cubic_bounds(c, run, args.o(0), args.o(1), args.o(2), args.o(3));
            } catch (vy::Bail) {
            }
        }
    }
    General run;
    return cubic_bounds(c, run, args.o(0), args.o(1), args.o(2), args.o(3));
}

const char* const quadratic_locals[] = {"ax", "ay", "bx", "by", "cx", "cy", "ax2", "ay2", "roots", "points"};
const char* const cubic_locals[] = {"ax", "ay", "bx", "by", "cx", "cy", "dx", "dy", "ax3", "ay3",
                                    "bx2", "by2", "xRoots", "yRoots", "roots", "points"};

}  // namespace

vy::FunctionDef calcQuadraticBounds_def{
    .name = "calcQuadraticBounds",
    .signature = "calcQuadraticBounds(pt1, pt2, pt3)",
    .doc = R"(Calculates the bounding rectangle for a quadratic Bezier segment.

    Args:
        pt1,pt2,pt3: A control point of the quadratic Bezier curve, as (x, y) pairs.

    Returns:
        A four-item tuple representing the bounding rectangle ``(xMin, yMin, xMax, yMax)``.

    Example::

        >>> calcQuadraticBounds((0, 0), (50, 100), (100, 0))
        (0, 0, 100, 50.0)
        >>> calcQuadraticBounds((0, 0), (100, 0), (100, 100))
        (0.0, 0.0, 100, 100)
    )",
    .doctest = true,
    .line = 297,
    .params = points3_params,
    .locals = quadratic_locals,
    .body = calcQuadraticBounds,
};

vy::FunctionDef calcCubicBounds_def{
    .name = "calcCubicBounds",
    .signature = "calcCubicBounds(pt1, pt2, pt3, pt4)",
    .doc = R"(Calculates the bounding rectangle for a cubic Bezier segment.

    Args:
        pt1,pt2,pt3,pt4: A control point of the cubic Bezier curve, as (x, y) pairs.

    Returns:
        A four-item tuple representing the bounding rectangle ``(xMin, yMin, xMax, yMax)``.

    Example::

        >>> calcCubicBounds((0, 0), (25, 100), (75, 100), (100, 0))
        (0, 0, 100, 75.0)
        >>> calcCubicBounds((0, 0), (50, 0), (100, 50), (100, 100))
        (0.0, 0.0, 100, 100)
        >>> print("%f %f %f %f" % calcCubicBounds((50, 0), (0, 100), (100, 100), (50, 0)))
        35.566243 0.000000 64.433757 75.000000
    )",
    .doctest = true,
    .line = 411,
    .params = points4_params,
    .locals = cubic_locals,
    .body = calcCubicBounds,
};

}  // namespace curvemath
