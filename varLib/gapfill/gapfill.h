// Shared declarations of the gapfill module.
#pragma once

#include <vector>

#include "frame.h"
#include "interrupts.h"
#include "lists.h"
#include "num.h"

namespace gapfill {

extern const vy::Name n_MAX_LOOKBACK, n_gapfill_contour, n_gapfill_contour_optimize;
extern const vy::Name n_bound_forced_set, n_optimize_dp, n_rot_list, n_rot_set;
extern const vy::Builtin b_zip, b_enumerate, b_max;

extern vy::FunctionDef gapfill_contour_def, gapfill_delta_def, bound_forced_set_def, optimize_dp_def,
    rot_list_def, rot_set_def, gapfill_contour_optimize_def, gapfill_delta_optimize_def;

// The shared default `forced` set of the DP and the (0, 0) constant, made at exec.
extern PyObject* g_empty_forced;
extern PyObject* g_zero_pair;

// A run of items of a snapshot (a slice of it).
struct Span {
    PyObject* const* items;
    Py_ssize_t n;
    const char* type_name;  // of the sequence, for its IndexError
    PyObject* operator[](Py_ssize_t i) const noexcept { return items[i]; }
    // seq[i] with Python's negative positions; out of range raises IndexError.
    PyObject* at(Py_ssize_t i) const;
    // seq[from:to] for 0 <= from, clipped like a slice.
    Span slice(Py_ssize_t from, Py_ssize_t to) const noexcept;
};

// A sequence taken once at entry: its items stay alive, and another thread
// resizing a list cannot move them under the algorithm.
class Snapshot {
public:
    explicit Snapshot(PyObject* seq);
    Py_ssize_t size() const noexcept { return n_; }
    PyObject* operator[](Py_ssize_t i) const noexcept { return items_[i]; }
    PyObject* const* data() const noexcept { return items_; }
    Span span() const noexcept { return Span{items_, n_, type_name_}; }
    PyObject* at(Py_ssize_t i) const { return span().at(i); }
    Span slice(Py_ssize_t from, Py_ssize_t to) const noexcept { return span().slice(from, to); }

private:
    const char* type_name_;
    vy::Ref holder_;
    PyObject* const* items_ = nullptr;
    Py_ssize_t n_ = 0;
};


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

// The items of a result list while it is built; the list is made once at the end.
class Out {
public:
    Out() = default;
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;
    ~Out() {
        for (PyObject* o : items_) Py_DECREF(o);
    }
    void append(PyObject* o) { items_.push_back(Py_NewRef(o)); }
    void append(vy::Ref o) { items_.push_back(o.release()); }
    void extend(PyObject* iterable);
    std::size_t size() const noexcept { return items_.size(); }
    vy::Ref list();

private:
    std::vector<PyObject*> items_;
};

// The filled-in contour, appended to `out`; `seg` is scratch space.
void fill_contour(Span deltas, Span coords, Out& out, Segment& seg);


}  // namespace gapfill
