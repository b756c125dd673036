// FeatureLibLocation: the class recognised at exec, and locations made
// directly while it is that class, unchanged.
#include "lexer.h"

namespace lexer {

namespace {

// The location type as recorded at exec; only ever read afterwards.  Not
// recorded: not recognised, always called.
vy::unstable::RecordedType g_location;
vy::Expected g_location_bound{n_FeatureLibLocation};

}  // namespace

void record_location_type(PyObject* cls) {
    if (!PyType_Check(cls)) return;
    PyTypeObject* t = reinterpret_cast<PyTypeObject*>(cls);
    if (vy::unstable::plain_tuple_new(t, 3) && g_location.record(t)) g_location_bound.record(cls);
}

PyObject* location_class(vy::Ref& holder) {
    if (g_location_bound.holds()) return g_location_bound.object();
    holder = vy::global(n_FeatureLibLocation);
    return holder.get();
}

vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column) {
    bool direct;
    return make_location(make, file, line, column, direct);
}

vy::Ref make_location(PyObject* make, PyObject* file, PyObject* line, PyObject* column, bool& direct) {
    // While the class is the one recorded and unchanged, its __new__ would
    // only do tuple.__new__(cls, (file, line, column)): done here directly,
    // without the Python-level call.
    if (g_location.is(make)) {
        PyTypeObject* t = g_location.type();
        PyObject* o = t->tp_alloc(t, 3);
        if (!o) vy::raise();
        PyTuple_SET_ITEM(o, 0, Py_NewRef(file));
        PyTuple_SET_ITEM(o, 1, Py_NewRef(line));
        PyTuple_SET_ITEM(o, 2, Py_NewRef(column));
        direct = true;
        return vy::Ref::steal(o);
    }
    direct = false;
    return vy::call(make, {file, line, column});
}

}  // namespace lexer
