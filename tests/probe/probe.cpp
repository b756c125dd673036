// A module for the frame's own tests: formulas written with the expression
// layer, whose results and dunder calls the tests compare with the same
// formulas run by the interpreter, and an evaluator of operation trees that
// applies the layer's operations one by one.
#include <cmath>
#include <cstring>

#include "complex.h"
#include "expr.h"
#include "math_calls.h"
#include "unstable.h"

namespace probe {

using vy::Num;

namespace {

const vy::Global scale{"scale"};
const vy::MathFn2 atan2{"atan2", std::atan2};
const vy::MathFn1 sqrt{"sqrt", std::sqrt};

// Each case is a formula over a, b, c, d; the tests hold the same formulas
// as Python source.
vy::Ref formula(long index, const Num& a, const Num& b, const Num& c, const Num& d) {
    switch (index) {
        case 0: return Num(a + b * c - d).object();
        case 1: return Num((a - b) * 3).object();
        case 2: return Num(a * b + c * d).object();
        case 3: return Num(a / b / c).object();
        case 4: return Num(-a + abs(b)).object();
        case 5: return Num(2 * (1 - a) * b).object();
        case 6: return Num(pow(a, b)).object();
        case 7: return Num(vy::floordiv(a, b)).object();
        case 8: return Num(vy::mod(a, b)).object();
        case 9: return Num(vy::float_of(a) + vy::int_of(b)).object();
        case 10: return Num(vy::min(a, b)).object();
        case 11: return Num(vy::max(a, 1.0)).object();
        case 12: return vy::bool_object(a != b);
        case 13: return vy::bool_object(a == b);
        case 14: return vy::bool_object(a < b || c >= d);
        case 15: return vy::tuple(a, b + c, a);
        case 16: return Num((a + b) * (c + d)).object();
        case 17: return Num(a - b - c - d).object();
        case 18: return Num((1 - a) * (1 - a) * b + 2 * (1 - a) * a * c + a * a * d).object();
        case 19: return Num(a * scale + b / scale).object();
        case 20: return Num(atan2(a, b) + sqrt(c)).object();
        case 21: return vy::list(vy::boxed(a * b), +c, -d);
        default: break;
    }
    vy::raise(PyExc_IndexError, "no such formula");
}

PyObject* formula_body(vy::Call&, vy::Args& args) {
    const long index = PyLong_AsLong(args.o(0));
    if (index == -1 && PyErr_Occurred()) vy::raise();
    Num a = Num::from(args.o(1)), b = Num::from(args.o(2)), c = Num::from(args.o(3)), d = Num::from(args.o(4));
    return formula(index, a, b, c, d).release();
}

// linePointAtT read by index, and by unpacking.
PyObject* point_body(vy::Call&, vy::Args& args) {
    vy::Point pt1 = args.o(0), pt2 = args.o(1);
    Num t = Num::from(args.o(2));
    if (vy::to_bool(args.o(3))) {
        auto [x1, y1] = pt1.unpack();
        auto [x2, y2] = pt2.unpack();
        return vy::tuple(x1 * (1 - t) + x2 * t, y1 * (1 - t) + y2 * t).release();
    }
    return vy::tuple(pt1[0] * (1 - t) + pt2[0] * t, pt1[1] * (1 - t) + pt2[1] * t).release();
}

// A tree is an object (a value), or a tuple (operator name, operands...).
Num evaluate(PyObject* tree) {
    if (!PyTuple_CheckExact(tree) || PyTuple_GET_SIZE(tree) == 0 || !PyUnicode_Check(PyTuple_GET_ITEM(tree, 0)))
        return Num::from(tree);
    const char* op = PyUnicode_AsUTF8(PyTuple_GET_ITEM(tree, 0));
    if (!op) vy::raise();
    Num x = evaluate(PyTuple_GET_ITEM(tree, 1));
    if (PyTuple_GET_SIZE(tree) == 2) {
        if (!std::strcmp(op, "neg")) return -x;
        if (!std::strcmp(op, "pos")) return +x;
        if (!std::strcmp(op, "abs")) return abs(x);
        if (!std::strcmp(op, "float")) return vy::float_of(x);
        if (!std::strcmp(op, "int")) return vy::int_of(x);
    } else {
        Num y = evaluate(PyTuple_GET_ITEM(tree, 2));
        if (!std::strcmp(op, "+")) return x + y;
        if (!std::strcmp(op, "-")) return x - y;
        if (!std::strcmp(op, "*")) return x * y;
        if (!std::strcmp(op, "/")) return x / y;
        if (!std::strcmp(op, "//")) return vy::floordiv(x, y);
        if (!std::strcmp(op, "%")) return vy::mod(x, y);
        if (!std::strcmp(op, "**")) return pow(x, y);
        if (!std::strcmp(op, "<")) return Num::steal(vy::bool_object(x < y));
        if (!std::strcmp(op, "<=")) return Num::steal(vy::bool_object(x <= y));
        if (!std::strcmp(op, "==")) return Num::steal(vy::bool_object(x == y));
        if (!std::strcmp(op, "!=")) return Num::steal(vy::bool_object(x != y));
    }
    vy::raise(PyExc_ValueError, "unknown operation");
}

PyObject* evaluate_body(vy::Call&, vy::Args& args) { return evaluate(args.o(0)).object().release(); }

// The C products of typed complex values, for comparison with C's own.
PyObject* complex_body(vy::Call&, vy::Args& args) {
    const vy::Complex z = args.z(0), w = args.z(1);
    return vy::tuple(Num::steal(vy::complex_object(z * w)), Num::steal(vy::complex_object(z * 3.0)),
                     Num::steal(vy::complex_object(z + 1.0)), Num(vy::abs(z)))
        .release();
}

// Whether the class may be built as a plain tuple of `fields` values.
PyObject* plain_tuple_new_body(vy::Call&, vy::Args& args) {
    PyObject* cls = args.o(0);
    const bool plain = PyType_Check(cls) &&
                       vy::unstable::plain_tuple_new(reinterpret_cast<PyTypeObject*>(cls), int(vy::index_of(args.o(1))));
    return vy::bool_object(plain).release();
}

const vy::Param formula_params[] = {{"index"}, {"a"}, {"b"}, {"c"}, {"d"}};
const vy::Param point_params[] = {{"pt1"}, {"pt2"}, {"t"}, {"unpacking"}};
const vy::Param evaluate_params[] = {{"tree"}};
const vy::Param tuple_new_params[] = {{"cls"}, {"fields"}};
const vy::Param complex_params[] = {{"z", vy::Kind::Complex}, {"w", vy::Kind::Complex}};

vy::FunctionDef formula_def{.name = "formula", .line = 10, .params = formula_params, .body = formula_body};
vy::FunctionDef point_def{.name = "point", .line = 20, .params = point_params, .body = point_body};
vy::FunctionDef evaluate_def{.name = "evaluate", .line = 30, .params = evaluate_params, .body = evaluate_body};
vy::FunctionDef tuple_new_def{
    .name = "plain_tuple_new", .line = 50, .params = tuple_new_params, .body = plain_tuple_new_body};
vy::FunctionDef complex_def{.name = "complex_ops", .line = 40, .params = complex_params, .body = complex_body};

void body(vy::Exec& x) {
    x.at(2);
    x.set(scale, vy::float_object(0.5));
    x.at(3);
    x.import_from("math", {&atan2.name(), &sqrt.name()});
    x.def(formula_def);
    x.def(point_def);
    x.def(evaluate_def);
    x.def(complex_def);
    x.def(tuple_new_def);
}


const vy::ModuleDef kModule{
    .dotted = "vellary._probe",
    .short_name = "_probe",
    .file = "_probe",
    .doc = "The frame's formulas, for its own tests.",
    .body = body,
};

}  // namespace

}  // namespace probe

PyMODINIT_FUNC PyInit__probe(void) { return vy::init_module(probe::kModule); }
