// Splitting segments where they cross a horizontal or vertical line:
// splitLine, splitQuadratic and splitCubic.
#include "curvemath.h"

namespace curvemath {

using vy::Num;
using vy::Point;
using vy::Ref;

namespace {

// sorted(t for t in solutions if 0 <= t < 1)
Ref in_unit_interval(PyObject* solutions) {
    Ref it = vy::iter(solutions);
    vy::ListBuilder kept;
    while (Ref item = vy::next_or_end(it.get())) {
        Num t = Num::from(item.get());
        if (0 <= t && t < 1) kept.append(std::move(item));
    }
    Ref list = kept.list();
    vy::sort(list.get());
    return list;
}

PyObject* splitLine(vy::Call& c, vy::Args& args) {
    Num pt1 = Num::from(args.o(0)), pt2 = Num::from(args.o(1)), where = Num::from(args.o(2));
    PyObject* isHorizontal = args.o(3);
    c.at(485);
    auto [pt1x, pt1y] = Point(args.o(0)).unpack();
    c.at(486);
    auto [pt2x, pt2y] = Point(args.o(1)).unpack();
    c.at(488);
    Num ax = pt2x - pt1x;
    c.at(489);
    Num ay = pt2y - pt1y;
    Num bx = pt1x, by = pt1y;
    c.at(494);
    Num a = Num::steal(vy::item(vy::tuple(ax, ay).get(), isHorizontal));
    c.at(496);
    if (a == 0) {
        c.at(497);
        return vy::list(point(pt1, pt2)).release();
    }
    c.at(498);
    Num t = (where - Num::steal(vy::item(vy::tuple(bx, by).get(), isHorizontal))) / a;
    c.at(499);
    if (0 <= t && t < 1) {
        c.at(500);
        Num midPt = point(ax * t + bx, ay * t + by);
        c.at(501);
        return vy::list(point(pt1, midPt), point(midPt, pt2)).release();
    }
    c.at(503);
    return vy::list(point(pt1, pt2)).release();
}

PyObject* splitQuadratic(vy::Call& c, vy::Args& args) {
    PyObject *pt1 = args.o(0), *pt2 = args.o(1), *pt3 = args.o(2);
    Num where = Num::from(args.o(3));
    PyObject* isHorizontal = args.o(4);
    c.at(541);
    std::array<Coefficient, 3> abc = quadratic_parameters(pt1, pt2, pt3);
    c.at(542);
    Ref solver = vy::global(n_solveQuadratic);
    c.at(543);
    Ref a_ = vy::item(abc[0].object(), isHorizontal), b_ = vy::item(abc[1].object(), isHorizontal);
    Num c_ = Num::steal(vy::item(abc[2].object(), isHorizontal)) - where;
    Ref found = vy::call(solver.get(), {a_.get(), b_.get(), c_.object().get()});
    c.at(545);
    Ref solutions = in_unit_interval(found.get());
    c.at(546);
    if (PyList_GET_SIZE(solutions.get()) == 0) {
        c.at(547);
        return vy::new_list({vy::new_tuple({pt1, pt2, pt3}).get()}).release();
    }
    c.at(548);
    return split_quadratic_at(abc, solutions.get()).release();
}

PyObject* splitCubic(vy::Call& c, vy::Args& args) {
    PyObject *pt1 = args.o(0), *pt2 = args.o(1), *pt3 = args.o(2), *pt4 = args.o(3);
    Num where = Num::from(args.o(4));
    PyObject* isHorizontal = args.o(5);
    c.at(578);
    std::array<Coefficient, 4> abcd = cubic_parameters(pt1, pt2, pt3, pt4);
    c.at(579);
    Ref solver = vy::global(n_solveCubic);
    c.at(580);
    Ref a_ = vy::item(abcd[0].object(), isHorizontal), b_ = vy::item(abcd[1].object(), isHorizontal),
        c_ = vy::item(abcd[2].object(), isHorizontal);
    Num d_ = Num::steal(vy::item(abcd[3].object(), isHorizontal)) - where;
    Ref found = vy::call(solver.get(), {a_.get(), b_.get(), c_.get(), d_.object().get()});
    c.at(582);
    Ref solutions = in_unit_interval(found.get());
    c.at(583);
    if (PyList_GET_SIZE(solutions.get()) == 0) {
        c.at(584);
        return vy::new_list({vy::new_tuple({pt1, pt2, pt3, pt4}).get()}).release();
    }
    c.at(585);
    return split_cubic_at(abcd, solutions.get()).release();
}

const vy::Param line_params[] = {{"pt1"}, {"pt2"}, {"where"}, {"isHorizontal"}};
const vy::Param quadratic_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"where"}, {"isHorizontal"}};
const vy::Param cubic_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}, {"where"}, {"isHorizontal"}};
const char* const line_locals[] = {"pt1x", "pt1y", "pt2x", "pt2y", "ax", "ay", "bx", "by", "a", "t", "midPt"};

}  // namespace

vy::FunctionDef splitLine_def{
    .name = "splitLine",
    .signature = "splitLine(pt1, pt2, where, isHorizontal)",
    .doc = R"(Split a line at a given coordinate.

    Args:
        pt1, pt2: The end points, as (x, y) pairs.
        where: The coordinate of the cutting line.
        isHorizontal: True to cut along the horizontal line y = ``where``,
            false to cut along the vertical line x = ``where``.

    Returns:
        A list of the two pieces (each a tuple of two points) when the line
        crosses the cutting line at 0 <= t < 1, else a list holding the
        line itself.

    Example::

        >>> printSegments(splitLine((0, 0), (100, 100), 50, True))
        ((0, 0), (50, 50))
        ((50, 50), (100, 100))
        >>> printSegments(splitLine((0, 0), (100, 100), 100, True))
        ((0, 0), (100, 100))
        >>> printSegments(splitLine((0, 0), (100, 100), 0, True))
        ((0, 0), (0, 0))
        ((0, 0), (100, 100))
        >>> printSegments(splitLine((0, 0), (100, 100), 0, False))
        ((0, 0), (0, 0))
        ((0, 0), (100, 100))
        >>> printSegments(splitLine((100, 0), (0, 0), 50, False))
        ((100, 0), (50, 0))
        ((50, 0), (0, 0))
        >>> printSegments(splitLine((0, 100), (0, 0), 50, True))
        ((0, 100), (0, 50))
        ((0, 50), (0, 0))
    )",
    .doctest = true,
    .line = 449,
    .params = line_params,
    .locals = line_locals,
    .body = splitLine,
};

vy::FunctionDef splitQuadratic_def{
    .name = "splitQuadratic",
    .signature = "splitQuadratic(pt1, pt2, pt3, where, isHorizontal)",
    .doc = R"(Split a quadratic Bezier curve at a given coordinate.

    Args:
        pt1, pt2, pt3: The control points, as (x, y) pairs.
        where: The coordinate of the cutting line.
        isHorizontal: True to cut along the horizontal line y = ``where``,
            false to cut along the vertical line x = ``where``.

    Returns:
        A list of the pieces (each a tuple of three points), one more than the
        crossings at 0 <= t < 1; the curve itself when there are none.

    Example::

        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 150, False))
        ((0, 0), (50, 100), (100, 0))
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 50, False))
        ((0, 0), (25, 50), (50, 50))
        ((50, 50), (75, 50), (100, 0))
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 25, False))
        ((0, 0), (12.5, 25), (25, 37.5))
        ((25, 37.5), (62.5, 75), (100, 0))
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 25, True))
        ((0, 0), (7.32233, 14.6447), (14.6447, 25))
        ((14.6447, 25), (50, 75), (85.3553, 25))
        ((85.3553, 25), (92.6777, 14.6447), (100, -7.10543e-15))
        >>> # a tangent cutting line: the double root gives a degenerate piece
        >>> printSegments(splitQuadratic((0, 0), (50, 100), (100, 0), 50, True))
        ((0, 0), (25, 50), (50, 50))
        ((50, 50), (50, 50), (50, 50))
        ((50, 50), (75, 50), (100, 0))
    )",
    .doctest = true,
    .line = 506,
    .params = quadratic_params,
    .locals = curve_locals,
    .body = splitQuadratic,
};

vy::FunctionDef splitCubic_def{
    .name = "splitCubic",
    .signature = "splitCubic(pt1, pt2, pt3, pt4, where, isHorizontal)",
    .doc = R"(Split a cubic Bezier curve at a given coordinate.

    Args:
        pt1, pt2, pt3, pt4: The control points, as (x, y) pairs.
        where: The coordinate of the cutting line.
        isHorizontal: True to cut along the horizontal line y = ``where``,
            false to cut along the vertical line x = ``where``.

    Returns:
        A list of the pieces (each a tuple of four points), one more than the
        crossings at 0 <= t < 1; the curve itself when there are none.

    Example::

        >>> printSegments(splitCubic((0, 0), (25, 100), (75, 100), (100, 0), 150, False))
        ((0, 0), (25, 100), (75, 100), (100, 0))
        >>> printSegments(splitCubic((0, 0), (25, 100), (75, 100), (100, 0), 50, False))
        ((0, 0), (12.5, 50), (31.25, 75), (50, 75))
        ((50, 75), (68.75, 75), (87.5, 50), (100, 0))
        >>> printSegments(splitCubic((0, 0), (25, 100), (75, 100), (100, 0), 25, True))
        ((0, 0), (2.29379, 9.17517), (4.79804, 17.5085), (7.47414, 25))
        ((7.47414, 25), (31.2886, 91.6667), (68.7114, 91.6667), (92.5259, 25))
        ((92.5259, 25), (95.202, 17.5085), (97.7062, 9.17517), (100, 1.77636e-15))
    )",
    .doctest = true,
    .line = 551,
    .params = cubic_params,
    .locals = curve_locals,
    .body = splitCubic,
};

}  // namespace curvemath
