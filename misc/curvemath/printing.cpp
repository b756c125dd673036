// Segments rendered as compact text, for the documentation's examples.
#include "curvemath.h"

namespace curvemath {

using vy::Ref;

namespace {

const vy::Constant percent_g{[] { return vy::constant_text("%g"); }};
const vy::Constant in_parentheses{[] { return vy::constant_text("(%s)"); }};
const vy::Constant comma{[] { return vy::constant_text(", "); }};

PyObject* segmentrepr(vy::Call& c, vy::Args& args) {
    PyObject* obj = args.o(0);
    // Nested sequences recurse through Python calls of this function.
    vy::Recursion depth(" while rendering a segment");
    c.at(1480);
    Ref it;
    Ref number = vy::try_except(
        PyExc_TypeError, [&] { it = vy::iter(obj); return Ref(); },
        [&](PyObject*) {
            c.at(1482);
            return vy::remainder(percent_g.get(), obj);
        });
    if (number) return number.release();
    c.at(1484);
    vy::ListBuilder parts;
    while (Ref item = vy::next_or_end(it.get())) {
        Ref fn = vy::global(n_segmentrepr);
        parts.append(vy::call(fn.get(), {item.get()}));
    }
    Ref joined = vy::join(comma.get(), parts.list().get());
    return vy::remainder(in_parentheses.get(), joined.get()).release();
}

PyObject* printSegments(vy::Call& c, vy::Args& args) {
    c.at(1491);
    Ref it = vy::iter(args.o(0));
    while (true) {
        c.at(1491);
        Ref segment = vy::next_or_end(it.get());
        if (!segment) break;
        c.at(1492);
        Ref fn = vy::global(n_segmentrepr);
        Ref text = vy::call(fn.get(), {segment.get()});
        vy::call(b_print.get(), {text.get()});
    }
    return Py_NewRef(Py_None);
}

const vy::Param segmentrepr_params[] = {{"obj"}};
const char* const segmentrepr_locals[] = {"it"};
const vy::Param print_params[] = {{"segments"}};
const char* const print_locals[] = {"segment"};

}  // namespace

vy::FunctionDef segmentrepr_def{
    .name = "_segmentrepr",
    .signature = "_segmentrepr(obj)",
    .doc = R"(
    >>> _segmentrepr([1, [2, 3], [], [[2, [3, 4], [0.1, 2.2]]]])
    '(1, (2, 3), (), ((2, (3, 4), (0.1, 2.2))))'
    )",
    .doctest = true,
    .line = 1474,
    .params = segmentrepr_params,
    .locals = segmentrepr_locals,
    .body = segmentrepr,
};

vy::FunctionDef printSegments_def{
    .name = "printSegments",
    .signature = "printSegments(segments)",
    .doc = R"(Helper for the doctests, displaying each segment in a list of
    segments on a single line as a tuple.
    )",
    .line = 1487,
    .params = print_params,
    .locals = print_locals,
    .body = printSegments,
};

}  // namespace curvemath
