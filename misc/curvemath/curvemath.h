// Shared declarations of the curvemath module: the names its functions look
// up at the moment of use, its cached builtins and its function records.
#pragma once

#include <array>
#include <vector>
#include <utility>

#include <cmath>

#include "callee.h"
#include "complex.h"
#include "expr.h"
#include "frame.h"
#include "plain.h"

namespace curvemath {

// Module-level names read through the namespace at each use.
extern const vy::Global epsilon, epsilonDigits, EPSILON, pi;
extern const vy::Global n_solveQuadratic;
// The math functions imported into the module.
extern const vy::MathFn1 sqrt, acos, cos;

// Builtins fetched once at exec.
extern const vy::Builtin b_round, b_print;

// Module-level functions that other functions call through the namespace.
extern const vy::Name n_solveCubic, n_calcQuadraticParameters, n_calcCubicParameters, n_calcQuadraticPoints,
    n_calcCubicPoints, n_linePointAtT, n_quadraticPointAtT, n_cubicPointAtT, n_splitQuadraticAtT_,
    n_splitCubicAtT_, n_segmentrepr;

// Calls of module functions that run the callee's body directly while the
// name holds the module's own function.
extern const vy::Callee c_solveQuadratic, c_calcQuadraticParameters, c_calcCubicParameters, c_calcQuadraticPoints,
    c_calcCubicPoints, c_splitQuadraticAtT_, c_splitCubicAtT_, c_splitQuadraticAtT, c_splitCubicAtT,
    c_calcQuadraticBounds, c_calcCubicBounds, c_curve_bounds, c_split_segment_at_t, c_curve_curve_intersections_t,
    c_splitCubicAtTC_, c_calcCubicArcLengthC, c_calcQuadraticArcLengthC, c_approximateQuadraticArcLengthC,
    c_approximateCubicArcLengthC, c_calcCubicArcLengthCRecurse, c_split_cubic_into_two;
extern vy::Helper h_sectRect, h_rectArea;
// The helpers of the library's pure-Python modules that the module's code
// stands in for while the names hold them.
extern vy::Helper h_calcBounds;

// Function records, one per Python-visible function (in source order).
extern vy::FunctionDef solveQuadratic_def, solveCubic_def;
extern vy::FunctionDef calcQuadraticParameters_def, calcCubicParameters_def, calcQuadraticPoints_def,
    calcCubicPoints_def, linePointAtT_def, quadraticPointAtT_def, cubicPointAtT_def, cubicPointAtTC_def,
    segmentPointAtT_def;
extern vy::FunctionDef splitLine_def, splitQuadratic_def, splitCubic_def, splitQuadraticAtT_def, splitCubicAtT_def,
    splitCubicAtTC_def, splitCubicIntoTwoAtTC_def, splitQuadraticAtT__def, splitCubicAtT__def, splitCubicAtTC__def;
extern vy::FunctionDef line_t_of_pt_def, same_side_def, lineLineIntersections_def, alignment_transformation_def,
    curve_line_intersections_t_def, curveLineIntersections_def;
extern vy::FunctionDef curve_bounds_def, split_segment_at_t_def, curve_curve_intersections_t_def, is_linelike_def,
    curveCurveIntersections_def, segmentSegmentIntersections_def, midpoint_def, unique_key_def;
extern vy::FunctionDef segmentrepr_def, printSegments_def;
extern vy::FunctionDef calcQuadraticBounds_def, calcCubicBounds_def;
extern vy::FunctionDef calcCubicArcLength_def, splitCubicIntoTwo_def, calcCubicArcLengthCRecurse_def,
    calcCubicArcLengthC_def, calcQuadraticArcLength_def, calcQuadraticArcLengthC_def,
    approximateQuadraticArcLength_def, approximateQuadraticArcLengthC_def, approximateCubicArcLength_def,
    approximateCubicArcLengthC_def;

// A coefficient or point of the untyped family, unpacked into (x, y).
template <class V>
using PairOf = std::array<V, 2>;
using Pair = PairOf<vy::Num>;
// (x, y): a new 2-tuple, as a value; x is evaluated first.
template <class X, class Y>
vy::Num point(X&& x, Y&& y) {
    return vy::Num::steal(vy::tuple(std::forward<X>(x), std::forward<Y>(y)));
}

// A coefficient as one function hands it to the next: the object Python
// code sees, or its two coordinates, each made from the other when first
// needed (so that a direct call between the module's own functions passes
// numbers, not tuples).
class Coefficient {
public:
    explicit Coefficient(vy::Ref object) : object_(std::move(object)) {}
    explicit Coefficient(Pair xy) : xy_(std::move(xy)), unpacked_(true) {}
    // (x, y): a new tuple of the coordinates when they came as numbers.
    PyObject* object() {
        if (!object_) object_ = vy::tuple(xy_[0], xy_[1]);
        return object_.get();
    }
    // x, y = the object (the unpacking errors of Python code)
    const Pair& xy() {
        if (!unpacked_) xy_ = vy::Point(object_.get()).unpack(), unpacked_ = true;
        return xy_;
    }

private:
    vy::Ref object_;
    Pair xy_{0, 0};
    bool unpacked_ = false;
};

// ((x, y), ...): a new tuple of new pairs.
template <class V, std::size_t N>
vy::Ref tuple_of(const std::array<PairOf<V>, N>& pairs) {
    std::array<vy::Ref, N> items;
    std::array<PyObject*, N> objects;
    for (std::size_t i = 0; i < N; ++i) objects[i] = (items[i] = vy::tuple(pairs[i][0], pairs[i][1])).get();
    return vy::new_tuple(objects);
}

// The bodies of the coefficient conversions over either value type, for
// callers that reach them directly (the namespace still binds the module's
// own function).
// Points are objects, or on the machine run pairs already read.
template <class V, class P>
std::array<PairOf<V>, 3> calc_quadratic_parameters(vy::Call& c, const P& pt1, const P& pt2, const P& pt3);
template <class V, class P>
std::array<PairOf<V>, 4> calc_cubic_parameters(vy::Call& c, const P& pt1, const P& pt2, const P& pt3, const P& pt4);
template <class V>
std::array<PairOf<V>, 3> calc_quadratic_points(vy::Call& c, const PairOf<V>& a, const PairOf<V>& b,
                                               const PairOf<V>& cc);
template <class V>
std::array<PairOf<V>, 4> calc_cubic_points(vy::Call& c, const PairOf<V>& a, const PairOf<V>& b, const PairOf<V>& cc,
                                           const PairOf<V>& d);

// a, b, c = calcQuadraticParameters(pt1, pt2, pt3) and the cubic's: the
// module's own body while the name is bound to it, else whatever it holds.
std::array<Coefficient, 3> quadratic_parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3);
std::array<Coefficient, 4> cubic_parameters(PyObject* pt1, PyObject* pt2, PyObject* pt3, PyObject* pt4);
// _splitQuadraticAtT(a, b, c, *ts) and _splitCubicAtT(a, b, c, d, *ts) of
// the coefficients; `ts` is any iterable.
vy::Ref split_quadratic_at(std::array<Coefficient, 3>& abc, PyObject* ts);
vy::Ref split_cubic_at(std::array<Coefficient, 4>& abcd, PyObject* ts);
// The locals of the splitters that solve for their parameters.
inline constexpr const char* curve_locals[] = {"a", "b", "c", "d", "solutions"};

// math.isclose(a, b), looked up at the call
bool isclose(const vy::Num& a, const vy::Num& b);
// Intersection(pt=pt, t1=t1, t2=t2) of the given record type
vy::Ref intersection(PyObject* cls, PyObject* pt, PyObject* t1, PyObject* t2);
extern const vy::Name n_Intersection, n_line_t_of_pt, n_alignment_transformation, n_lineLineIntersections,
    n_curveLineIntersections;

// Roots as a solver finds them: up to three values; the list Python code
// sees is made from them only where it is returned.
template <class V>
struct Roots {
    std::array<V, 3> v{V(0), V(0), V(0)};
    int n = 0;
    vy::Ref list() const {
        switch (n) {
            case 0: return vy::empty_list();
            case 1: return vy::list(v[0]);
            case 2: return vy::list(v[0], v[1]);
            default: return vy::list(v[0], v[1], v[2]);
        }
    }
};

// The names the solvers read, as the machine run reads them from their
// memos; read() is false when one does not hold what that run needs.
struct SolverNames {
    vy::Plain epsilon;
    int epsilonDigits;
    vy::Plain pi;
    vy::PlainMath sqrt{std::sqrt}, acos{std::acos}, cos{std::cos};
    vy::PlainRound round;
    bool read() noexcept;
};
// Those of solveQuadratic: its epsilon (its sqrt is its parameter).
struct QuadraticSolverNames : SolverNames {
    bool read() noexcept { return vy::plain_global(curvemath::epsilon, epsilon); }
};
// The body of solveQuadratic(a, b, c) on machine numbers, with the
// interpreter's own math.sqrt as its sqrt.
Roots<vy::Plain> solve_quadratic(const QuadraticSolverNames& names, vy::Plain a, vy::Plain b, vy::Plain c);

// A segment of 3 or 4 plain points, and a rectangle, on the machine run.
struct PlainSegment {
    int n;
    std::array<PairOf<vy::Plain>, 4> p;
};
using PlainRect = std::array<vy::Plain, 4>;
// _curve_bounds(s) on the machine run: whether the names calcQuadraticBounds
// or calcCubicBounds call hold the library's own code, and the bounds.
bool machine_bounds_ok(const PlainSegment& s) noexcept;
PlainRect machine_bounds(const PlainSegment& s);
// splitQuadraticAtT(*s, t) and splitCubicAtT(*s, t) on the machine run.
bool machine_split_ok(const PlainSegment& s) noexcept;
std::vector<PlainSegment> machine_split(const PlainSegment& s, vy::Plain t);

// The internal complex operations: cubic coefficients from control points
// and back.
using Cubic = std::array<vy::Complex, 4>;
Cubic calcCubicParametersC(vy::Complex pt1, vy::Complex pt2, vy::Complex pt3, vy::Complex pt4) noexcept;
Cubic calcCubicPointsC(vy::Complex a, vy::Complex b, vy::Complex c, vy::Complex d) noexcept;

// The front ends: fn(complex(*pt1), ..., *rest) through the namespace, or the
// complex variant's body in place of the call while the name is bound to it.
template <std::size_t N, class Direct>
PyObject* front_end(const vy::Callee& name, vy::Args& args, Direct&& direct, PyObject* extra = nullptr) {
    std::array<vy::Complex, N> z;
    for (std::size_t i = 0; i < N; ++i) z[i] = vy::complex_of(args.o(int(i)));
    vy::Ref other;
    if (name.lookup(other))
        return vy::called(name.def(), [&](vy::Call& callee) { return direct(callee, z); });
    PyObject* fn = other.get();
    std::array<vy::Ref, N> objects;
    for (std::size_t i = 0; i < N; ++i) objects[i] = vy::complex_object(z[i]);
    if constexpr (N == 3)
        return vy::call(fn, {objects[0].get(), objects[1].get(), objects[2].get()}).release();
    else if (extra)
        return vy::call(fn, {objects[0].get(), objects[1].get(), objects[2].get(), objects[3].get(), extra})
            .release();
    else
        return vy::call(fn, {objects[0].get(), objects[1].get(), objects[2].get(), objects[3].get()})
            .release();
}

// The parameters of functions of a segment's points, as given and complex.
inline const vy::Param points3_params[] = {{"pt1"}, {"pt2"}, {"pt3"}};
inline const vy::Param points4_params[] = {{"pt1"}, {"pt2"}, {"pt3"}, {"pt4"}};
inline const vy::Param points3_c_params[] = {
    {"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex}, {"pt3", vy::Kind::Complex}};
inline const vy::Param points4_c_params[] = {
    {"pt1", vy::Kind::Complex}, {"pt2", vy::Kind::Complex}, {"pt3", vy::Kind::Complex}, {"pt4", vy::Kind::Complex}};

// name(*args) with whatever the module-level name holds
inline vy::Ref global_call(const vy::Name& name, std::initializer_list<PyObject*> args) {
    vy::Ref fn = vy::global(name);
    return vy::call(fn.get(), args);
}

}  // namespace curvemath
