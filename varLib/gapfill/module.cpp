// The gapfill module body, in source order.  The line numbers are those that
// an "init vellary.varLib.gapfill" traceback entry reports.
#include "gapfill.h"

namespace gapfill {

const vy::Name n_MAX_LOOKBACK{"MAX_LOOKBACK"}, n_gapfill_contour_optimize{"gapfill_contour_optimize"},
    n_remove{"remove"};
const vy::Callee c_gapfill_contour{"gapfill_contour", gapfill_contour_def},
    c_bound_forced_set{"_gapfill_contour_bound_forced_set", bound_forced_set_def},
    c_optimize_dp{"_gapfill_contour_optimize_dp", optimize_dp_def}, c_rot_list{"_rot_list", rot_list_def},
    c_rot_set{"_rot_set", rot_set_def};
const vy::Builtin b_zip{"zip"}, b_enumerate{"enumerate"}, b_max{"max"};

const vy::Constant k_empty_forced{[] { return vy::new_set(); }};
const vy::Constant k_zero_pair{[] {
    vy::Ref zero = vy::int_object(0);
    return vy::new_tuple({zero.get(), zero.get()});
}};

namespace {

const vy::Name n_COMPILED{"COMPILED"}, n_Sequence{"Sequence"}, n_Tuple{"Tuple"}, n_Union{"Union"};
const vy::Name n_Integral{"Integral"}, n_Real{"Real"};
const vy::Name n_Point{"_Point"}, n_Delta{"_Delta"}, n_PointSegment{"_PointSegment"}, n_DeltaSegment{"_DeltaSegment"},
    n_DeltaOrNone{"_DeltaOrNone"}, n_DeltaOrNoneSegment{"_DeltaOrNoneSegment"}, n_Endpoints{"_Endpoints"};

// alias = generic[args...]
vy::Ref subscript(vy::Exec& x, const vy::Name& generic, std::initializer_list<PyObject*> args) {
    vy::Ref g = x.get(generic);
    vy::Ref key = args.size() == 1 ? vy::Ref::borrow(*args.begin()) : vy::new_tuple(args);
    return vy::item(g.get(), key.get());
}

void body(vy::Exec& x) {
    x.at(3);
    x.set(n_COMPILED, Py_True);
    x.at(5);
    x.import_from("typing", {&n_Sequence, &n_Tuple, &n_Union});
    x.at(6);
    x.import_from("numbers", {&n_Integral, &n_Real});
    vy::Ref real = x.get(n_Real);
    x.at(9);
    x.set(n_Point, subscript(x, n_Tuple, {real.get(), real.get()}));
    x.at(10);
    x.set(n_Delta, subscript(x, n_Tuple, {real.get(), real.get()}));
    x.at(11);
    x.set(n_PointSegment, subscript(x, n_Sequence, {x.get(n_Point).get()}));
    x.at(12);
    x.set(n_DeltaSegment, subscript(x, n_Sequence, {x.get(n_Delta).get()}));
    x.at(13);
    x.set(n_DeltaOrNone, subscript(x, n_Union, {x.get(n_Delta).get(), Py_None}));
    x.at(14);
    x.set(n_DeltaOrNoneSegment, subscript(x, n_Sequence, {x.get(n_DeltaOrNone).get()}));
    x.at(15);
    x.set(n_Endpoints, subscript(x, n_Sequence, {x.get(n_Integral).get()}));
    x.at(18);
    x.set(n_MAX_LOOKBACK, vy::int_object(8));

    x.def(gapfill_contour_def, {}, {},
          vy::annotations({{"deltas", "_DeltaOrNoneSegment"}, {"coords", "_PointSegment"}, {"return", "_DeltaSegment"}}));
    x.def(gapfill_delta_def, {}, {},
          vy::annotations({{"deltas", "_DeltaOrNoneSegment"},
                           {"coords", "_PointSegment"},
                           {"ends", "_Endpoints"},
                           {"return", "_DeltaSegment"}}));
    x.def(bound_forced_set_def, vy::new_tuple({vy::int_object(0).get()}), {},
          vy::annotations({{"deltas", "_DeltaSegment"}, {"coords", "_PointSegment"}, {"tolerance", "Real"}, {"return", "set"}}));
    x.def(optimize_dp_def, vy::new_tuple({k_empty_forced.get(), vy::float_object(0.0).get(), Py_None}), {},
          vy::annotations({{"deltas", "_DeltaSegment"},
                           {"coords", "_PointSegment"},
                           {"tolerance", "Real"},
                           {"lookback", "Integral"}}));
    x.def(rot_list_def, {}, {}, vy::annotations({{"l", "list"}, {"k", "int"}}));
    x.def(rot_set_def, {}, {}, vy::annotations({{"s", "set"}, {"k", "int"}, {"n", "int"}}));
    x.def(gapfill_contour_optimize_def, vy::new_tuple({vy::float_object(0.0).get()}), {},
          vy::annotations({{"deltas", "_DeltaSegment"},
                           {"coords", "_PointSegment"},
                           {"tolerance", "Real"},
                           {"return", "_DeltaOrNoneSegment"}}));
    x.def(gapfill_delta_optimize_def, vy::new_tuple({vy::float_object(0.0).get()}), {},
          vy::annotations({{"deltas", "_DeltaSegment"},
                           {"coords", "_PointSegment"},
                           {"ends", "_Endpoints"},
                           {"tolerance", "Real"},
                           {"return", "_DeltaOrNoneSegment"}}));
}


const vy::ModuleDef kModule{
    .dotted = "vellary.varLib.gapfill",
    .short_name = "gapfill",
    .file = "varLib/gapfill",
    .doc = nullptr,
    .body = body,
};

}  // namespace

}  // namespace gapfill

PyMODINIT_FUNC PyInit_gapfill(void) { return vy::init_module(gapfill::kModule); }
