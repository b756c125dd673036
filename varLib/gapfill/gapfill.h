// Shared declarations of the gapfill module.
#pragma once

#include <vector>

#include "callee.h"
#include "frame.h"
#include "expr.h"
#include "interrupts.h"
#include "lists.h"
#include "sequences.h"

namespace gapfill {

extern const vy::Name n_MAX_LOOKBACK, n_gapfill_contour_optimize, n_remove;
// Module-level names of the module's own functions, called directly while
// they hold them.
extern const vy::Callee c_gapfill_contour, c_bound_forced_set, c_optimize_dp, c_rot_list, c_rot_set;
extern const vy::Builtin b_zip, b_enumerate, b_max;

extern vy::FunctionDef gapfill_contour_def, gapfill_delta_def, bound_forced_set_def, optimize_dp_def,
    rot_list_def, rot_set_def, gapfill_contour_optimize_def, gapfill_delta_optimize_def;

// The shared default `forced` set of the DP and the (0, 0) constant.
extern const vy::Constant k_empty_forced, k_zero_pair;

using vy::Snapshot;
using vy::Span;
using Out = vy::ListBuilder;

// Item j (0 or 1) of a point or delta, converted to a double.
double component(PyObject* seq, int j);

// One interpolated axis value: a double, or the integer 0.
struct AxisValue {
    double v;
    bool int_zero;
};

// The interpolation of a run of points between two reference points, one
// list per axis, computed x first and then y.
struct Segment {
    std::vector<AxisValue> x, y;
    vy::Interrupts interrupts;  // polled over all the runs of an outline
    vy::Ref pair(std::size_t k) const;  // the k-th (dx, dy) tuple
};
void gapfill_segment(Span coords, PyObject* ref_coord1, PyObject* ref_delta1, PyObject* ref_coord2,
                     PyObject* ref_delta2, Segment& out);

// The asserted precondition on `ends`, and `ends` with the four trailing
// one-point contours appended (a new sequence, by `+`).
bool ends_are_valid(PyObject* coords, PyObject* ends);
vy::Ref with_trailing_points(PyObject* ends, Py_ssize_t n);

// The filled-in contour, appended to `out`; `seg` is scratch space.
void fill_contour(Span deltas, Span coords, Out& out, Segment& seg);

}  // namespace gapfill
