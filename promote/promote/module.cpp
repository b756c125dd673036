// The promote module body, in source order.  The line numbers are those that
// an "init vellary.promote.promote" traceback entry reports.
#include "promote.h"

namespace promote {

const vy::Callee c_elevate_quadratic{"elevate_quadratic", elevate_quadratic_def},
    c_add_implicit_on_curves{"add_implicit_on_curves", add_implicit_on_curves_def},
    c_raise_incompatible_point{"_raise_incompatible_point", raise_incompatible_point_def},
    c_validate_spline_length{"_validate_spline_length", validate_spline_length_def},
    c_validate_positive_tolerance{"_validate_positive_tolerance", validate_positive_tolerance_def},
    c_spline_to_curves{"spline_to_curves", spline_to_curves_def};
const vy::Name n_splitCubicAtTC{"splitCubicAtTC"}, n_Solution{"Solution"};
const vy::Builtin b_print{"print"};

namespace {

// Fetched at exec with print; the module's functions reach them through the
// interpreter's own loops.
const vy::Builtin b_enumerate{"enumerate"}, b_reversed{"reversed"}, b_zip{"zip"};

const vy::Name n_COMPILED{"COMPILED"}, n_namedtuple{"namedtuple"}, n_math{"math"}, n_List{"List"},
    n_Sequence{"Sequence"}, n_Tuple{"Tuple"}, n_Union{"Union"}, n_all{"__all__"}, n_Point{"Point"}, n_test{"__test__"},
    n_main{"main"};

}  // namespace

namespace {

const char* const kSolutionFields[] = {"num_points", "error", "start_index", "is_cubic"};

// Union[Tuple[float, float], complex]
vy::Ref point_type(vy::Exec& x) {
    vy::Ref tuple = x.get(n_Tuple), union_ = x.get(n_Union);
    vy::Ref pair = vy::new_tuple({reinterpret_cast<PyObject*>(&PyFloat_Type), reinterpret_cast<PyObject*>(&PyFloat_Type)});
    vy::Ref tuple_ff = vy::item(tuple.get(), pair.get());
    vy::Ref either = vy::new_tuple({tuple_ff.get(), reinterpret_cast<PyObject*>(&PyComplex_Type)});
    return vy::item(union_.get(), either.get());
}

void body(vy::Exec& x) {
    x.at(5);
    x.set(n_COMPILED, Py_True);
    x.at(7);
    x.import_from("vellary.misc.curvemath", {&n_splitCubicAtTC});
    x.at(8);
    x.import_from("collections", {&n_namedtuple});
    x.at(9);
    x.import("math", n_math);
    x.at(10);
    x.import_from("typing", {&n_List, &n_Sequence, &n_Tuple, &n_Union});
    x.at(13);
    x.set(n_all, vy::new_list({vy::str_object("quadratic_to_curves").get()}));
    x.def(elevate_quadratic_def);
    x.def(add_implicit_on_curves_def);
    x.at(47);
    x.set(n_Point, point_type(x));
    x.def(raise_incompatible_point_def);
    x.def(validate_spline_length_def);
    x.def(validate_positive_tolerance_def);
    x.def(quadratic_to_curves_def, vy::new_tuple({vy::float_object(0.5).get(), Py_False}), {},
          vy::annotations({{"quads", "List[Sequence[Point]]"},
                           {"max_err", "float"},
                           {"all_cubic", "bool"},
                           {"return", "List[Tuple[Point, ...]]"}}));
    x.at(201);
    x.set(n_Solution, x.namedtuple(n_namedtuple, "Solution", kSolutionFields));
    x.def(spline_to_curves_def, vy::new_tuple({vy::float_object(0.5).get(), Py_False}));
    x.def(main_def);
    x.at(345);
    x.set(n_test, vy::new_dict());
    x.at(348);
    if (x.is_main()) {
        x.at(349);
        vy::Ref fn = x.get(n_main);
        vy::call(fn.get(), {});
    }
}


const vy::ModuleDef kModule{
    .dotted = "vellary.promote.promote",
    .short_name = "promote",
    .file = "promote/promote",
    .doc = nullptr,
    .body = body,
};

}  // namespace

}  // namespace promote

PyMODINIT_FUNC PyInit_promote(void) { return vy::init_module(promote::kModule); }
