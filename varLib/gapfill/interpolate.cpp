// Interpolation of missing deltas: one segment between two reference points,
// one closed contour, a whole outline.
#include "gapfill.h"

#include <algorithm>
#include <optional>

namespace gapfill {

namespace {

const vy::Internal segment_fn{"gapfill_segment"};

}  // namespace

double component(PyObject* seq, int j) {
    if (PyTuple_CheckExact(seq) && PyTuple_GET_SIZE(seq) > j) {
        PyObject* v = PyTuple_GET_ITEM(seq, j);
        return PyFloat_CheckExact(v) ? PyFloat_AS_DOUBLE(v) : vy::to_double(v);
    }
    return vy::to_double(vy::item(seq, Py_ssize_t(j)).get());
}

vy::Ref Segment::pair(std::size_t k) const {
    auto value = [](const AxisValue& a) { return a.int_zero ? vy::int_object(0) : vy::float_object(a.v); };
    vy::Ref dx = value(x[k]), dy = value(y[k]);
    return vy::new_tuple({dx.get(), dy.get()});
}

void gapfill_segment(Span coords, PyObject* ref_coord1, PyObject* ref_delta1, PyObject* ref_coord2,
                     PyObject* ref_delta2, Segment& out) {
    vy::Frame f{segment_fn, 21};
    for (int j = 0; j < 2; ++j) {
        std::vector<AxisValue>& values = j == 0 ? out.x : out.y;
        values.clear();
        f.at(27);
        double x1 = component(ref_coord1, j);
        f.at(28);
        double x2 = component(ref_coord2, j);
        f.at(29);
        double d1 = component(ref_delta1, j);
        f.at(30);
        double d2 = component(ref_delta2, j);
        f.at(32);
        if (x1 == x2) {
            // All points take the common delta, or 0 when the deltas disagree.
            const int m = int(coords.n);
            values.assign(std::size_t(m < 0 ? 0 : m), d1 == d2 ? AxisValue{d1, false} : AxisValue{0.0, true});
            continue;
        }
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(d1, d2);
        }
        f.at(41);
        const double scale = (d2 - d1) / (x2 - x1);
        values.reserve(std::size_t(coords.n));
        for (Py_ssize_t k = 0; k < coords.n; ++k) {
            f.at(43);
            const double x = component(coords[k], j);
            double v;
            if (x <= x1)
                v = d1;
            else if (x >= x2)
                v = d2;
            else
                v = (x - x1) * scale + d1;
            values.push_back({v, false});
        }
    }
}

void fill_contour(Span deltas, Span coords, Out& out, Segment& seg) {
    const Py_ssize_t n = deltas.n;
    vy::Interrupts& interrupts = seg.interrupts;
    interrupts.step(n);
    std::vector<Py_ssize_t> indices;
    for (Py_ssize_t i = 0; i < n; ++i)
        if (deltas[i] != Py_None) indices.push_back(i);
    if (indices.empty()) {
        // [(0, 0)] * n: one constant tuple, n times.
        for (Py_ssize_t i = 0; i < n; ++i) out.append(k_zero_pair.get());
        return;
    }
    auto extend = [&](Py_ssize_t from, Py_ssize_t to, Py_ssize_t r1, Py_ssize_t r2) {
        // Arguments in call order: coords and deltas may differ in length.
        const Span run = coords.slice(from, to);
        PyObject* c1 = coords.at(r1);
        PyObject* d1 = deltas.at(r1);
        PyObject* c2 = coords.at(r2);
        PyObject* d2 = deltas.at(r2);
        gapfill_segment(run, c1, d1, c2, d2, seg);
        for (std::size_t k = 0; k < seg.x.size() && k < seg.y.size(); ++k) out.append(seg.pair(k));
        interrupts.step(to - from);
    };
    auto append = [&](Py_ssize_t i) { out.append(deltas[i]); };

    Py_ssize_t start = indices.front();
    const Py_ssize_t first = start, last = indices.back();
    if (start != 0) extend(0, start, start, last);
    append(start);
    for (std::size_t k = 1; k < indices.size(); ++k) {
        interrupts.step();
        const Py_ssize_t end = indices[k];
        if (end - start > 1) extend(start + 1, end, start, end);
        append(end);
        start = end;
    }
    if (start != n - 1) extend(start + 1, n, start, first);
}

namespace {

// `None in deltas` for a list or tuple: identity, else the items' own ==.
bool contains_none(Span deltas) {
    for (Py_ssize_t i = 0; i < deltas.n; ++i) {
        PyObject* d = deltas[i];
        if (d == Py_None) return true;
        if (PyTuple_CheckExact(d) || PyList_CheckExact(d)) continue;  // never equal to None
        if (vy::equal(d, Py_None)) return true;
    }
    return false;
}

void assert_filled(Py_ssize_t n, Py_ssize_t filled) {
    vy::assert_that(n == filled, [&] {
        vy::Ref a = vy::int_object(n), b = vy::int_object(filled);
        return vy::new_tuple({a.get(), b.get()});
    });
}

// A contour as gapfill_contour's arguments: any sequences, read by len(),
// `in` and a snapshot taken once the steps need the items.
class ContourArgs {
public:
    ContourArgs(PyObject* deltas, PyObject* coords) noexcept : deltas_(deltas), coords_(coords) {}
    Py_ssize_t deltas_length() const { return vy::length(deltas_); }
    Py_ssize_t coords_length() const { return vy::length(coords_); }
    bool has_none() const { return vy::contains(deltas_, Py_None); }
    void take() {
        ds_.emplace(deltas_);
        cs_.emplace(coords_);
    }
    Span deltas() const { return ds_->span(); }
    Span coords() const { return cs_->span(); }

private:
    PyObject* deltas_;
    PyObject* coords_;
    std::optional<Snapshot> ds_, cs_;
};

// A contour of an outline held in lists or tuples: its items in place.
class ContourItems {
public:
    ContourItems(Span deltas, Span coords) noexcept : deltas_(deltas), coords_(coords) {}
    Py_ssize_t deltas_length() const noexcept { return deltas_.n; }
    Py_ssize_t coords_length() const noexcept { return coords_.n; }
    bool has_none() const { return contains_none(deltas_); }
    void take() const noexcept {}
    Span deltas() const noexcept { return deltas_; }
    Span coords() const noexcept { return coords_; }

private:
    Span deltas_, coords_;
};

// The steps of gapfill_contour up to its result: false when the deltas
// hold no None (the result is the deltas themselves), else the filled-in
// contour appended to `out`.
template <class Contour>
bool gapfill_contour_steps(vy::Call& c, Contour& contour, Out& out, Segment& seg) {
    if (vy::debug()) {
        c.at(72);
        const Py_ssize_t nd = contour.deltas_length();
        const Py_ssize_t nc = contour.coords_length();
        vy::assert_that(nd == nc);
    }
    c.at(74);
    if (!contour.has_none()) return false;
    c.at(77);
    contour.take();
    c.at(80);
    const std::size_t before = out.size();
    fill_contour(contour.deltas(), contour.coords(), out, seg);
    if (vy::debug()) {
        c.at(98);
        assert_filled(contour.deltas().n, Py_ssize_t(out.size() - before));
    }
    return true;
}

PyObject* gapfill_contour(vy::Call& c, vy::Args& a) {
    ContourArgs contour(a.o(0), a.o(1));
    Out out;
    Segment seg;
    if (!gapfill_contour_steps(c, contour, out, seg)) return Py_NewRef(a.o(0));
    c.at(99);
    return out.list().release();
}

// gapfill_contour(deltas, coords) of one contour of an outline held in lists
// or tuples, its result extended onto `out`, without the slices and the call.
void contour_into(Span deltas, Span coords, Out& out, Segment& seg, vy::Call& c) {
    seg.interrupts.step();
    ContourItems contour(deltas, coords);
    if (!gapfill_contour_steps(c, contour, out, seg))
        for (Py_ssize_t i = 0; i < deltas.n; ++i) out.append(deltas[i]);
}

PyObject* gapfill_delta(vy::Call& c, vy::Args& a) {
    PyObject* deltas = a.o(0);
    PyObject* coords = a.o(1);
    if (vy::debug()) {
        c.at(113);
        vy::assert_that(ends_are_valid(coords, a.o(2)));
    }
    c.at(115);
    const Py_ssize_t n = vy::length(coords);
    c.at(116);
    vy::Ref ends = with_trailing_points(a.o(2), n);
    c.at(118);
    Out out;
    Segment seg;
    // With this module's own gapfill_contour, list or tuple arguments and
    // int ends, each contour is filled in place of the slices and the call:
    // from slices taken at each step, as the statement takes them, since
    // Python code that ran in an earlier step may have changed the lists.
    auto sequence = [](PyObject* o) { return PyList_CheckExact(o) || PyTuple_CheckExact(o); };
    const bool sequences = sequence(deltas) && sequence(coords);
    vy::Num start = vy::Num::integer(0);
    c.at(119);
    // `for end in ends`, one item at a time as the loop takes it: `ends + [...]`
    // need not have made a list of our own (a subclass's __add__ may return
    // one that Python code running in the loop changes), so no item array is
    // trusted across the loop body.
    vy::Ref it = vy::own(PyObject_GetIter(ends.get()));
    while (PyObject* item = PyIter_Next(it.get())) {
        const vy::Ref end_item = vy::Ref::steal(item);
        c.at(120);
        vy::Num end = vy::Num::from(end_item.get()) + vy::Num::integer(1);
        c.at(121);
        const bool direct_ok = sequences && start.kind() == vy::Num::Int && end.kind() == vy::Num::Int;
        c_gapfill_contour.call_if(
            direct_ok,
            [&](vy::Call& inner) {
                const Py_ssize_t from = Py_ssize_t(start.i()), to = Py_ssize_t(end.i());
                const Snapshot ds(deltas, from, to), cs(coords, from, to);
                contour_into(ds.span(), cs.span(), out, seg, inner);
            },
            [&](PyObject* fn) {
                vy::Ref from = start.object(), to = end.object();
                vy::Ref dslice = vy::slice(deltas, from.get(), to.get());
                vy::Ref cslice = vy::slice(coords, from.get(), to.get());
                vy::Ref contour = vy::call(fn, {dslice.get(), cslice.get()});
                c.at(122);
                out.extend(contour.get());
            });
        c.at(123);
        start = end;
        c.at(119);
    }
    if (PyErr_Occurred()) vy::raise();
    c.at(124);
    return out.list().release();
}

}  // namespace

// sorted(ends) == ends for a list of small ints, without the sorted copy:
// sorted equals the list exactly when it never decreases.  -1: not such a list.
int small_ints_sorted(PyObject* ends) {
    if (!PyList_CheckExact(ends)) return -1;
    int result = 1;
    Py_BEGIN_CRITICAL_SECTION(ends);
    const Py_ssize_t n = PyList_GET_SIZE(ends);
    long long previous = 0;
    for (Py_ssize_t i = 0; i < n && result >= 0; ++i) {
        PyObject* v = PyList_GET_ITEM(ends, i);
        int overflow = 0;
        const long long e = PyLong_CheckExact(v) ? PyLong_AsLongLongAndOverflow(v, &overflow) : 0;
        if (!PyLong_CheckExact(v) || overflow || e > (1LL << 60) || e < -(1LL << 60)) {
            result = -1;
        } else {
            if (i > 0 && e < previous) result = 0;
            previous = e;
        }
    }
    Py_END_CRITICAL_SECTION();
    return result;
}

// sorted(ends) == ends and len(coords) == (ends[-1] + 1 if ends else 0) + 4,
// in that order: len() may run Python code, which may change `ends`.
bool ends_are_valid(PyObject* coords, PyObject* ends) {
    const int quick = small_ints_sorted(ends);
    if (quick == 0) return false;
    if (quick < 0) {
        vy::Ref sorted = vy::list_of(ends);
        vy::sort(sorted.get());
        if (!vy::equal(sorted.get(), ends)) return false;
    }
    const Py_ssize_t n = vy::length(coords);
    vy::Ref expected = vy::int_object(0);
    if (vy::to_bool(ends)) {
        vy::Ref last = vy::item(ends, -1);
        vy::Ref one = vy::int_object(1);
        expected = vy::add(last.get(), one.get());
    }
    vy::Ref four = vy::int_object(4);
    expected = vy::add(expected.get(), four.get());
    return vy::equal(vy::int_object(n).get(), expected.get());
}

vy::Ref with_trailing_points(PyObject* ends, Py_ssize_t n) {
    vy::Ref a = vy::int_object(n - 4), b = vy::int_object(n - 3), c = vy::int_object(n - 2), d = vy::int_object(n - 1);
    vy::Ref tail = vy::new_list({a.get(), b.get(), c.get(), d.get()});
    return vy::add(ends, tail.get());
}

const vy::Param contour_params[] = {{"deltas"}, {"coords"}};
const vy::Param delta_params[] = {{"deltas"}, {"coords"}, {"ends"}};
const char* const contour_locals[] = {"n", "indices", "out", "start", "end"};

vy::FunctionDef gapfill_contour_def{
    .name = "gapfill_contour",
    .signature = "gapfill_contour(deltas: _DeltaOrNoneSegment, coords: _PointSegment) -> _DeltaSegment",
    .doc = R"(For the contour given in `coords`, fill in the missing deltas of
    `deltas` (the entries that are None) by interpolating from the nearest
    explicit deltas on each side, and return the fully filled-out list.
    )",
    .line = 67,
    .params = contour_params,
    .locals = contour_locals,
    .body = gapfill_contour,
};

vy::FunctionDef gapfill_delta_def{
    .name = "gapfill_delta",
    .signature = "gapfill_delta(deltas: _DeltaOrNoneSegment, coords: _PointSegment, ends: _Endpoints) -> _DeltaSegment",
    .doc = R"(For the outline given in `coords`, with the contour end indices in
    sorted increasing order in `ends`, fill in the missing deltas and return
    the fully filled-out list.
    )",
    .line = 102,
    .params = delta_params,
    .locals = contour_locals,
    .body = gapfill_delta,
};

}  // namespace gapfill
