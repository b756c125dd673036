// Shared declarations of the promote module: the merging core and the names
// both halves of the module use.
#pragma once

#include <vector>

#include "callee.h"
#include "cubic_tolerance.h"
#include "expr.h"
#include "frame.h"

namespace promote {

using vy::bezier::Z;
using vy::bezier::modulus;
using vy::bezier::object_of;
using vy::bezier::z_of;

struct Cubic {
    Z p[4];
};

// Module-level names of the module's own functions, called directly while
// they hold them.
extern const vy::Callee c_elevate_quadratic, c_add_implicit_on_curves, c_raise_incompatible_point,
    c_validate_spline_length, c_validate_positive_tolerance, c_spline_to_curves;
extern const vy::Name n_splitCubicAtTC, n_Solution;
extern const vy::Builtin b_print;

// elevate_quadratic on complex doubles.
Cubic elevate(Z p0, Z p1, Z p2);

// How spline_to_curves reads costs[k]: from the caller's sequence, anew at
// each read as the statement does (Python code run by a rebound name may
// change it), or from the counts quadratic_to_curves made (the same ints,
// never boxed).
class ObjectCosts {
public:
    explicit ObjectCosts(PyObject* costs) : costs_(costs) {}
    vy::Num at(Py_ssize_t k) const { return vy::Num::steal(vy::item(costs_, k)); }

private:
    PyObject* costs_;
};

class CountedCosts {
public:
    explicit CountedCosts(const std::vector<long long>& counts) : counts_(counts) {}
    vy::Num at(Py_ssize_t k) const {
        if (k < 0 || std::size_t(k) >= counts_.size()) vy::raise(PyExc_IndexError, "list index out of range");
        return vy::Num::integer(counts_[std::size_t(k)]);
    }

private:
    const std::vector<long long>& counts_;
};

// spline_to_curves(q, costs, tolerance, all_cubic), the body its function
// object runs.
template <class Costs>
vy::Ref spline_to_curves(vy::Call& c, PyObject* q, const Costs& costs, double tolerance, bool all_cubic);

extern vy::FunctionDef elevate_quadratic_def, add_implicit_on_curves_def, raise_incompatible_point_def,
    validate_spline_length_def, validate_positive_tolerance_def, quadratic_to_curves_def, spline_to_curves_def,
    main_def;

}  // namespace promote
