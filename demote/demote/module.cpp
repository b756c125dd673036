// The demote module body, in source order.  The line numbers are those that
// an "init vellary.demote.demote" traceback entry reports.
#include "demote.h"

namespace demote {

const vy::Global n_MAX_N{"MAX_N"}, n_NAN{"NAN"};
const vy::Name n_math{"math"}, n_ApproxNotFoundError{"ApproxNotFoundError"};
const vy::Callee c_split_gen{"_split_cubic_into_n_gen", split_gen_def};

namespace {

const vy::Name n_COMPILED{"COMPILED"}, n_Error{"Error"}, n_DemoteError{"DemoteError"}, n_all{"__all__"};

void body(vy::Exec& x) {
    x.at(11);
    x.set(n_COMPILED, Py_True);
    x.at(13);
    x.import("math", n_math);
    x.at(15);
    x.import_from("errors", {std::pair{&n_Error, &n_DemoteError}, std::pair{&n_ApproxNotFoundError, &n_ApproxNotFoundError}},
                  1);
    x.at(18);
    x.set(n_all, vy::new_list({vy::str_object("curve_to_quadratic").get(), vy::str_object("curves_to_quadratic").get()}));
    x.at(20);
    x.set(n_MAX_N, vy::int_object(100));
    x.at(21);
    x.set(n_NAN, vy::float_object(std::nan("")));
    x.def(split_gen_def);
    x.def(curve_to_quadratic_def, vy::new_tuple({Py_True}));
    x.def(curves_to_quadratic_def, vy::new_tuple({Py_True}));
}


const vy::ModuleDef kModule{
    .dotted = "vellary.demote.demote",
    .short_name = "demote",
    .file = "demote/demote",
    .doc = nullptr,
    .body = body,
};

}  // namespace

}  // namespace demote

PyMODINIT_FUNC PyInit_demote(void) { return vy::init_module(demote::kModule); }
