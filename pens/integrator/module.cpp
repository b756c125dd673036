// The integrator module: the Integrator pen's methods and the module body,
// in source order.  The line numbers are those that tracebacks report.
#include "integrator.h"
#include "unstable.h"

namespace integrator {

namespace {

const vy::Name n_Segmenter{"Segmenter"}, n_OpenContourError{"OpenContourError"}, n_Integrator{"Integrator"},
    n_COMPILED{"COMPILED"}, n_all{"__all__"}, n_dunder_init{"__init__"}, n_x{"x"}, n_y{"y"},
    n_printGreenPen{"printGreenPen"};
const vy::Name n_getCurrentPoint{"_getCurrentPoint"}, n_startPoint{"_startPoint"}, n_lineTo{"_lineTo"};
const vy::Name n_area{"area"}, n_momentX{"momentX"}, n_momentY{"momentY"}, n_momentXX{"momentXX"},
    n_momentXY{"momentXY"}, n_momentYY{"momentYY"};

const vy::Constant k_zero{[] { return vy::int_object(0); }};
const vy::Constant k_open_message{
    [] { return vy::own(PyUnicode_FromString("Glyph statistics is not defined on open contours.")); }};

// The totals, in the order each segment adds to them.
const vy::Name* const kTotals[] = {&n_area, &n_momentX, &n_momentY, &n_momentXX, &n_momentXY, &n_momentYY};
constexpr double Moments::* kFields[] = {&Moments::area,     &Moments::momentX,  &Moments::momentY,
                                         &Moments::momentXX, &Moments::momentXY, &Moments::momentYY};

// Integrator instances whose totals live in the instance dict (the class as
// the module built it, unchanged): recorded at exec.
vy::PlainAttributes plain_pen;
// self._getCurrentPoint() of those instances: the base class's method.
vy::PlainMethod current_point_of{plain_pen, n_getCurrentPoint};
// self._lineTo of those instances: the class's own.
vy::PlainMethod line_to_of{plain_pen, n_lineTo};

// Segmenter.__init__ as the module body found it: called directly while the
// module name Segmenter holds that class, unchanged, so that making a pen
// looks nothing up and takes no reference to the shared class or function.
vy::Expected segmenter_bound{n_Segmenter};
vy::unstable::RecordedType segmenter_class;
PyObject* segmenter_init = nullptr;

void record_segmenter(PyObject* cls) {
    // A class of another metaclass may find __init__ elsewhere.
    if (!PyType_CheckExact(cls)) return;
    vy::Ref init = vy::Ref::steal(vy::unstable::type_lookup(reinterpret_cast<PyTypeObject*>(cls), n_dunder_init.get()));
    if (!init || !PyFunction_Check(init.get()) || !segmenter_class.record(reinterpret_cast<PyTypeObject*>(cls))) return;
    segmenter_bound.record(cls);
    Py_XSETREF(segmenter_init, init.release());
}

// self.area += m.area, and so on, one statement per line from `line` on.
void add_moments(vy::Call& c, PyObject* self, const Moments& m, int line) {
    double deltas[6];
    for (int i = 0; i < 6; ++i) deltas[i] = m.*kFields[i];
    for (std::size_t i = vy::add_plain_floats(self, plain_pen, kTotals, deltas); i < 6; ++i) {
        c.at(line + int(i));
        vy::add_to(self, *kTotals[i], deltas[i]);
    }
}

// x0, y0 = self._getCurrentPoint()
std::array<double, 2> current_point(PyObject* self) {
    vy::Ref p0 = current_point_of.call(self);
    return vy::unpack_doubles<2>(p0.get());
}

PyObject* init(vy::Call& c, vy::Args& args) {
    PyObject* self = args.o(0);
    c.at(10);
    if (segmenter_init && segmenter_bound.holds() && segmenter_class.unchanged()) {
        vy::call(segmenter_init, {self, args.o(1)});
    } else {
        vy::Ref segmenter = vy::global(n_Segmenter);
        vy::Ref base_init = vy::getattr(segmenter.get(), n_dunder_init);
        vy::call(base_init.get(), {self, args.o(1)});
    }
    for (int i = 0; i < 6; ++i) {
        c.at(11 + i);
        vy::setattr(self, *kTotals[i], k_zero.get());
    }
    Py_RETURN_NONE;
}

PyObject* moveTo(vy::Call& c, vy::Args& args) {
    c.at(19);
    vy::setattr(args.o(0), n_startPoint, args.o(1));
    Py_RETURN_NONE;
}

PyObject* closePath(vy::Call& c, vy::Args& args) {
    PyObject* self = args.o(0);
    c.at(22);
    vy::Ref p0 = current_point_of.call(self);
    c.at(23);
    vy::Ref start = vy::getattr(self, n_startPoint);
    if (vy::not_equal(p0.get(), start.get())) {
        c.at(24);
        if (line_to_of.direct(self)) {
            // Decided before _startPoint is read, as the bound method would be.
            vy::Ref end = vy::getattr(self, n_startPoint);
            vy::call(line_to_of.function(), {self, end.get()});
        } else {
            vy::Ref line_to = vy::getattr(self, n_lineTo);
            vy::Ref end = vy::getattr(self, n_startPoint);
            vy::call(line_to.get(), {end.get()});
        }
    }
    Py_RETURN_NONE;
}

PyObject* endPath(vy::Call& c, vy::Args& args) {
    PyObject* self = args.o(0);
    c.at(27);
    vy::Ref p0 = current_point_of.call(self);
    c.at(28);
    vy::Ref start = vy::getattr(self, n_startPoint);
    if (vy::not_equal(p0.get(), start.get())) {
        c.at(29);
        vy::raise_new(n_OpenContourError, {k_open_message.get()});
    }
    Py_RETURN_NONE;
}

PyObject* lineTo(vy::Call& c, vy::Args& args) {
    PyObject* self = args.o(0);
    c.at(32);
    auto [x0, y0] = current_point(self);
    c.at(33);
    auto [x1, y1] = vy::unpack_doubles<2>(args.o(1));
    add_moments(c, self, line(x0, y0, x1, y1), 35);
    Py_RETURN_NONE;
}

PyObject* qCurveToOne(vy::Call& c, vy::Args& args) {
    PyObject* self = args.o(0);
    c.at(43);
    auto [x0, y0] = current_point(self);
    c.at(44);
    auto [x1, y1] = vy::unpack_doubles<2>(args.o(1));
    c.at(45);
    auto [x2, y2] = vy::unpack_doubles<2>(args.o(2));
    add_moments(c, self, quadratic(x0, y0, x1, y1, x2, y2), 47);
    Py_RETURN_NONE;
}

PyObject* curveToOne(vy::Call& c, vy::Args& args) {
    PyObject* self = args.o(0);
    c.at(55);
    auto [x0, y0] = current_point(self);
    c.at(56);
    auto [x1, y1] = vy::unpack_doubles<2>(args.o(1));
    c.at(57);
    auto [x2, y2] = vy::unpack_doubles<2>(args.o(2));
    c.at(58);
    auto [x3, y3] = vy::unpack_doubles<2>(args.o(3));
    add_moments(c, self, cubic(x0, y0, x1, y1, x2, y2, x3, y3), 60);
    Py_RETURN_NONE;
}

const vy::Param init_params[] = {{"self"}, {"glyphset"}};
const vy::Param point_params[] = {{"self"}, {"p0"}};
const vy::Param self_params[] = {{"self"}};
const vy::Param line_params[] = {{"self"}, {"p1"}};
const vy::Param quadratic_params[] = {{"self"}, {"p1"}, {"p2"}};
const vy::Param cubic_params[] = {{"self"}, {"p1"}, {"p2"}, {"p3"}};
const char* const path_locals[] = {"p0"};
const char* const line_locals[] = {"x0", "y0", "x1", "y1"};
const char* const quadratic_locals[] = {"x0", "y0", "x1", "y1", "x2", "y2"};
const char* const cubic_locals[] = {"x0", "y0", "x1", "y1", "x2", "y2", "x3", "y3"};

}  // namespace

vy::FunctionDef init_def{
    .name = "__init__",
    .qualname = "Integrator.__init__",
    .signature = "Integrator.__init__(self, glyphset=None)",
    .line = 9,
    .params = init_params,
    .body = init,
};
vy::FunctionDef moveTo_def{
    .name = "_moveTo",
    .qualname = "Integrator._moveTo",
    .signature = "Integrator._moveTo(self, p0)",
    .line = 18,
    .params = point_params,
    .body = moveTo,
};
vy::FunctionDef closePath_def{
    .name = "_closePath",
    .qualname = "Integrator._closePath",
    .signature = "Integrator._closePath(self)",
    .line = 21,
    .params = self_params,
    .locals = path_locals,
    .body = closePath,
};
vy::FunctionDef endPath_def{
    .name = "_endPath",
    .qualname = "Integrator._endPath",
    .signature = "Integrator._endPath(self)",
    .line = 26,
    .params = self_params,
    .locals = path_locals,
    .body = endPath,
};
vy::FunctionDef lineTo_def{
    .name = "_lineTo",
    .qualname = "Integrator._lineTo",
    .signature = "Integrator._lineTo(self, p1)",
    .line = 31,
    .params = line_params,
    .locals = line_locals,
    .body = lineTo,
};
vy::FunctionDef qCurveToOne_def{
    .name = "_qCurveToOne",
    .qualname = "Integrator._qCurveToOne",
    .signature = "Integrator._qCurveToOne(self, p1, p2)",
    .line = 42,
    .params = quadratic_params,
    .locals = quadratic_locals,
    .body = qCurveToOne,
};
vy::FunctionDef curveToOne_def{
    .name = "_curveToOne",
    .qualname = "Integrator._curveToOne",
    .signature = "Integrator._curveToOne(self, p1, p2, p3)",
    .line = 54,
    .params = cubic_params,
    .locals = cubic_locals,
    .body = curveToOne,
};

namespace {

void body(vy::Exec& x) {
    x.at(1);
    x.import_from("vellary.pens.segmenter", {&n_OpenContourError, &n_Segmenter});
    x.at(3);
    x.set(n_COMPILED, Py_True);
    x.at(5);
    x.set(n_all, vy::new_list({n_Integrator.get()}));
    x.at(8);
    vy::Ref segmenter = x.get(n_Segmenter);
    record_segmenter(segmenter.get());
    vy::Ref cls = x.make_class("Integrator", {segmenter.get()}, nullptr, [&](vy::ClassBody& cb) {
        cb.def(init_def, vy::own(PyTuple_Pack(1, Py_None)));
        cb.def(moveTo_def);
        cb.def(closePath_def);
        cb.def(endPath_def);
        cb.def(lineTo_def);
        cb.def(qCurveToOne_def);
        cb.def(curveToOne_def);
    });
    plain_pen.record(cls.get(), kTotals);
    current_point_of.record(cls.get());
    line_to_of.record(cls.get());
    x.set(n_Integrator, cls.get());

    x.at(68);
    if (!x.is_main()) return;
    x.at(69);
    x.import_from("vellary.misc.greenforms", {&n_x, &n_y, &n_printGreenPen});
    x.at(70);
    vy::Ref gx = x.get(n_x), gy = x.get(n_y);
    vy::Ref two = vy::int_object(2), one = vy::int_object(1);
    vy::Ref xx = vy::own(PyNumber_Power(gx.get(), two.get(), Py_None));
    vy::Ref xy = vy::own(PyNumber_Multiply(gx.get(), gy.get()));
    vy::Ref yy = vy::own(PyNumber_Power(gy.get(), two.get(), Py_None));
    auto pair = [](const vy::Name& name, PyObject* f) { return vy::own(PyTuple_Pack(2, name.get(), f)); };
    vy::Ref funcs = vy::new_list({pair(n_area, one.get()).get(), pair(n_momentX, gx.get()).get(),
                                  pair(n_momentY, gy.get()).get(), pair(n_momentXX, xx.get()).get(),
                                  pair(n_momentXY, xy.get()).get(), pair(n_momentYY, yy.get()).get()});
    vy::Ref print_pen = x.get(n_printGreenPen);
    vy::Ref pen_name = vy::own(PyUnicode_FromString("Integrator"));
    vy::call(print_pen.get(), {pen_name.get(), funcs.get()});
}


const vy::ModuleDef kModule{
    .dotted = "vellary.pens.integrator",
    .short_name = "integrator",
    .file = "pens/integrator",
    .doc = nullptr,
    .body = body,
};

}  // namespace

}  // namespace integrator

PyMODINIT_FUNC PyInit_integrator(void) { return vy::init_module(integrator::kModule); }
