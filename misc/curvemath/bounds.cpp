// Tight bounding boxes of quadratic and cubic segments: the end points and
// the points where a coordinate's derivative vanishes inside the segment.
#include <vector>

#include "curvemath.h"

namespace curvemath {

using vy::Num;
using vy::Ref;

namespace {

const vy::Name n_calcBounds{"calcBounds"};

// The roots of `found` with 0 <= t < 1, in the order given.
void append_in_unit_interval(std::vector<Num>& roots, PyObject* found) {
    Ref it = vy::iter(found);
    while (Ref item = vy::next_or_end(it.get())) {
        Num t = Num::from(item.get());
        if (0 <= t && t < 1) roots.push_back(std::move(t));
    }
}

// calcBounds(points + [first, last])
PyObject* bounds_of(vy::ListBuilder& points, PyObject* first, PyObject* last) {
    points.append(Ref::borrow(first));
    points.append(Ref::borrow(last));
    Ref list = points.list();
    Ref fn = vy::global(n_calcBounds);
    return vy::call(fn.get(), {list.get()}).release();
}

PyObject* calcQuadraticBounds(vy::Call& c, vy::Args& args) {
    PyObject *pt1 = args.o(0), *pt3 = args.o(2);
    c.at(315);
    std::array<Coefficient, 3> abc = quadratic_parameters(pt1, args.o(1), pt3);
    const auto& [ax, ay] = abc[0].xy();
    const auto& [bx, by] = abc[1].xy();
    const auto& [cx, cy] = abc[2].xy();
    c.at(316);
    Num ax2 = ax * 2.0;
    c.at(317);
    Num ay2 = ay * 2.0;
    std::vector<Num> roots;
    c.at(319);
    if (ax2 != 0) {
        c.at(320);
        roots.emplace_back(-bx / ax2);
    }
    c.at(321);
    if (ay2 != 0) {
        c.at(322);
        roots.emplace_back(-by / ay2);
    }
    vy::ListBuilder points;
    for (const Num& t : roots) {
        c.at(326);
        if (!(0 <= t && t < 1)) continue;
        c.at(324);
        points.append(vy::tuple(ax * t * t + bx * t + cx, ay * t * t + by * t + cy));
    }
    c.at(328);
    return bounds_of(points, pt1, pt3);
}

PyObject* calcCubicBounds(vy::Call& c, vy::Args& args) {
    PyObject *pt1 = args.o(0), *pt4 = args.o(3);
    c.at(429);
    std::array<Coefficient, 4> abcd = cubic_parameters(pt1, args.o(1), args.o(2), pt4);
    const auto& [ax, ay] = abcd[0].xy();
    const auto& [bx, by] = abcd[1].xy();
    const auto& [cx, cy] = abcd[2].xy();
    const auto& [dx, dy] = abcd[3].xy();
    c.at(431);
    Num ax3 = ax * 3.0;
    c.at(432);
    Num ay3 = ay * 3.0;
    c.at(433);
    Num bx2 = bx * 2.0;
    c.at(434);
    Num by2 = by * 2.0;
    std::vector<Num> roots;
    c.at(435);
    {
        Ref solver = vy::global(n_solveQuadratic);
        Ref found = vy::call(solver.get(), {ax3.object().get(), bx2.object().get(), cx.object().get()});
        append_in_unit_interval(roots, found.get());
    }
    c.at(436);
    {
        Ref solver = vy::global(n_solveQuadratic);
        Ref found = vy::call(solver.get(), {ay3.object().get(), by2.object().get(), cy.object().get()});
        append_in_unit_interval(roots, found.get());
    }
    vy::ListBuilder points;
    for (const Num& t : roots) {
        c.at(440);
        Num x = ax * t * t * t + bx * t * t + cx * t + dx;
        c.at(441);
        Num y = ay * t * t * t + by * t * t + cy * t + dy;
        c.at(439);
        points.append(vy::tuple(x, y));
    }
    c.at(446);
    return bounds_of(points, pt1, pt4);
}

const vy::Param quadratic_params[] = {{"pt1"}, {"pt2"}, {"pt3"}};
const vy::Param cubic_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}};
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
    .params = quadratic_params,
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
    .params = cubic_params,
    .locals = cubic_locals,
    .body = calcCubicBounds,
};

}  // namespace curvemath
