// The curvemath module body: its imports, constants, exported names and
// function definitions, in source order.  The line numbers are those that an
// "init vellary.misc.curvemath" traceback entry reports.
#include "curvemath.h"

#include <cmath>

namespace curvemath {

const vy::Global epsilon{"epsilon"}, epsilonDigits{"epsilonDigits"}, EPSILON{"EPSILON"}, pi{"pi"};
const vy::Global n_solveQuadratic{"solveQuadratic"};
const vy::Name n_solveCubic{"solveCubic"}, n_calcQuadraticParameters{"calcQuadraticParameters"},
    n_calcCubicParameters{"calcCubicParameters"}, n_calcQuadraticPoints{"calcQuadraticPoints"},
    n_calcCubicPoints{"calcCubicPoints"}, n_linePointAtT{"linePointAtT"}, n_quadraticPointAtT{"quadraticPointAtT"},
    n_cubicPointAtT{"cubicPointAtT"}, n_splitQuadraticAtT_{"_splitQuadraticAtT"}, n_splitCubicAtT_{"_splitCubicAtT"}, n_segmentrepr{"_segmentrepr"};
const vy::MathFn1 sqrt{"sqrt", std::sqrt}, acos{"acos", std::acos}, cos{"cos", std::cos};
const vy::Builtin b_round{"round"}, b_print{"print"};
const vy::Callee c_solveQuadratic{"solveQuadratic", solveQuadratic_def},
    c_calcQuadraticParameters{"calcQuadraticParameters", calcQuadraticParameters_def},
    c_calcCubicParameters{"calcCubicParameters", calcCubicParameters_def},
    c_calcQuadraticPoints{"calcQuadraticPoints", calcQuadraticPoints_def},
    c_calcCubicPoints{"calcCubicPoints", calcCubicPoints_def},
    c_splitQuadraticAtT_{"_splitQuadraticAtT", splitQuadraticAtT__def},
    c_splitCubicAtT_{"_splitCubicAtT", splitCubicAtT__def},
    c_splitQuadraticAtT{"splitQuadraticAtT", splitQuadraticAtT_def}, c_splitCubicAtT{"splitCubicAtT", splitCubicAtT_def},
    c_calcQuadraticBounds{"calcQuadraticBounds", calcQuadraticBounds_def},
    c_calcCubicBounds{"calcCubicBounds", calcCubicBounds_def}, c_curve_bounds{"_curve_bounds", curve_bounds_def},
    c_split_segment_at_t{"_split_segment_at_t", split_segment_at_t_def},
    c_curve_curve_intersections_t{"_curve_curve_intersections_t", curve_curve_intersections_t_def},
    c_splitCubicAtTC_{"_splitCubicAtTC", splitCubicAtTC__def},
    c_calcCubicArcLengthC{"calcCubicArcLengthC", calcCubicArcLengthC_def},
    c_calcQuadraticArcLengthC{"calcQuadraticArcLengthC", calcQuadraticArcLengthC_def},
    c_approximateQuadraticArcLengthC{"approximateQuadraticArcLengthC", approximateQuadraticArcLengthC_def},
    c_approximateCubicArcLengthC{"approximateCubicArcLengthC", approximateCubicArcLengthC_def},
    c_calcCubicArcLengthCRecurse{"_calcCubicArcLengthCRecurse", calcCubicArcLengthCRecurse_def},
    c_split_cubic_into_two{"_split_cubic_into_two", splitCubicIntoTwo_def};
vy::Helper h_calcBounds{"calcBounds", "vellary.misc.boxmath"}, h_sectRect{"sectRect", "vellary.misc.boxmath"},
    h_rectArea{"rectArea", "vellary.misc.boxmath"};

namespace {

const vy::Name n_Identity{"Identity"}, n_math{"math"}, n_namedtuple{"namedtuple"};
const vy::Name n_COMPILED{"COMPILED"}, n_all{"__all__"};

const char* const kAll[] = {
    "approximateCubicArcLength", "approximateCubicArcLengthC", "approximateQuadraticArcLength",
    "approximateQuadraticArcLengthC", "calcCubicArcLength", "calcCubicArcLengthC", "calcQuadraticArcLength",
    "calcQuadraticArcLengthC", "calcCubicBounds", "calcQuadraticBounds", "splitLine", "splitQuadratic",
    "splitCubic", "splitQuadraticAtT", "splitCubicAtT", "splitCubicAtTC", "splitCubicIntoTwoAtTC",
    "solveQuadratic", "solveCubic", "quadraticPointAtT", "cubicPointAtT", "cubicPointAtTC", "linePointAtT",
    "segmentPointAtT", "lineLineIntersections", "curveLineIntersections", "curveCurveIntersections",
    "segmentSegmentIntersections",
};

// (0.005,), the defaults of the measuring functions
vy::Ref tolerance_default() { return vy::new_tuple({vy::float_object(0.005).get()}); }

void body(vy::Exec& x) {
    x.at(4);
    x.import_from("vellary.misc.boxmath", {&h_calcBounds.name(), &h_sectRect.name(), &h_rectArea.name()});
    for (vy::Helper* h : {&h_calcBounds, &h_sectRect, &h_rectArea}) h->recognise(x.get(h->name()).get());
    x.at(5);
    x.import_from("vellary.misc.transform", {&n_Identity});
    x.at(6);
    x.import("math", n_math);
    x.at(7);
    x.import_from("collections", {&n_namedtuple});
    x.at(14);
    x.set(n_COMPILED, Py_True);
    x.at(17);
    x.set(EPSILON, vy::float_object(1e-9));
    x.at(20);
    {
        const char* const fields[] = {"pt", "t1", "t2"};
        x.set(n_Intersection, x.namedtuple(n_namedtuple, "Intersection", fields));
    }
    x.at(23);
    x.set(n_all, vy::interned_list(kAll));
    for (vy::FunctionDef* d :
         {&calcCubicArcLength_def, &splitCubicIntoTwo_def, &calcCubicArcLengthCRecurse_def, &calcCubicArcLengthC_def}) {
        x.def(*d, d == &calcCubicArcLength_def || d == &calcCubicArcLengthC_def ? tolerance_default() : vy::Ref());
    }
    x.at(128);
    x.set(epsilonDigits, vy::int_object(6));
    x.at(129);
    x.set(epsilon, vy::float_object(1e-10));
    for (vy::FunctionDef* d : {&calcQuadraticArcLength_def, &calcQuadraticArcLengthC_def,
                               &approximateQuadraticArcLength_def, &approximateQuadraticArcLengthC_def,
                               &calcQuadraticBounds_def, &approximateCubicArcLength_def,
                               &approximateCubicArcLengthC_def, &calcCubicBounds_def}) {
        x.def(*d);
    }
    x.def(splitLine_def);
    x.def(splitQuadratic_def);
    x.def(splitCubic_def);
    x.def(splitQuadraticAtT_def);
    x.def(splitCubicAtT_def);
    x.def(splitCubicAtTC_def);
    x.def(splitCubicIntoTwoAtTC_def);
    x.def(splitQuadraticAtT__def);
    x.def(splitCubicAtT__def);
    x.def(splitCubicAtTC__def);
    x.at(811);
    x.import_from("math", {&sqrt.name(), &acos.name(), &cos.name(), &pi});
    x.at(814);
    {
        vy::Ref sqrt_default = x.get(sqrt.name());
        x.def(solveQuadratic_def, vy::new_tuple({sqrt_default.get()}));
    }
    x.def(solveCubic_def);
    for (vy::FunctionDef* d : {&calcQuadraticParameters_def, &calcCubicParameters_def, &calcQuadraticPoints_def,
                               &calcCubicPoints_def, &linePointAtT_def, &quadraticPointAtT_def, &cubicPointAtT_def,
                               &cubicPointAtTC_def, &segmentPointAtT_def, &line_t_of_pt_def, &same_side_def,
                               &lineLineIntersections_def, &alignment_transformation_def,
                               &curve_line_intersections_t_def, &curveLineIntersections_def, &curve_bounds_def,
                               &split_segment_at_t_def, &curve_curve_intersections_t_def, &is_linelike_def,
                               &curveCurveIntersections_def, &segmentSegmentIntersections_def, &segmentrepr_def,
                               &printSegments_def}) {
        x.at(d->line);
        if (d == &curve_curve_intersections_t_def) {
            vy::Ref precision = vy::float_object(1e-3);
            x.def(*d, vy::new_tuple({precision.get(), Py_None, Py_None}));
        } else {
            x.def(*d);
        }
    }
    x.at(1495);
    if (x.is_main()) x.run_doctests_and_exit(1496, 1497, 1499);
}


const vy::ModuleDef kModule{
    .dotted = "vellary.misc.curvemath",
    .short_name = "curvemath",
    .file = "misc/curvemath",
    .doc = "vellary.misc.curvemath.py -- tools for working with Bezier path segments.",
    .body = body,
};

}  // namespace

}  // namespace curvemath

PyMODINIT_FUNC PyInit_curvemath(void) { return vy::init_module(curvemath::kModule); }
