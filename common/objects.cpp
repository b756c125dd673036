#include "objects.h"

#include "function.h"
#include "unstable.h"

#include <cstring>
#include <vector>

namespace vy {

void add_to(PyObject* self, const Name& name, PyObject* delta) {
    Ref value = getattr(self, name);
    Ref sum = own(PyNumber_InPlaceAdd(value.get(), delta));
    setattr(self, name, sum.get());
}

void add_to(PyObject* self, const Name& name, double delta) {
    Ref value = getattr(self, name);
    Ref sum;
    if (PyFloat_CheckExact(value.get())) {
        sum = float_object(PyFloat_AS_DOUBLE(value.get()) + delta);
    } else {
        Ref d = float_object(delta);
        sum = own(PyNumber_InPlaceAdd(value.get(), d.get()));
    }
    setattr(self, name, sum.get());
}

void PlainAttributes::record(PyObject* cls, std::span<const Name* const> names) noexcept {
    PyTypeObject* t = reinterpret_cast<PyTypeObject*>(cls);
    version_ = 0;
    if (t->tp_getattro != PyObject_GenericGetAttr || t->tp_setattro != PyObject_GenericSetAttr) return;
    if (!(t->tp_flags & Py_TPFLAGS_MANAGED_DICT) && t->tp_dictoffset == 0) return;
    for (const Name* name : names)
        if (unstable::type_has(t, name->get())) return;
    if (!unstable::assign_version_tag(t)) return;
    cls_ = t;  // the class lives as long as the module that holds it
    version_ = unstable::version_tag(t);
}

Ref PlainAttributes::dict_of(PyObject* self) const noexcept {
    if (version_ == 0 || Py_TYPE(self) != cls_ || unstable::version_tag(cls_) != version_) return {};
    PyObject* dict = PyObject_GenericGetDict(self, nullptr);
    if (!dict) PyErr_Clear();  // the generic path meets the error again
    return Ref::steal(dict);
}

void PlainMethod::record(PyObject* cls) noexcept {
    Ref fn = Ref::steal(unstable::type_lookup(reinterpret_cast<PyTypeObject*>(cls), name_.get()));
    if (fn && PyType_HasFeature(Py_TYPE(fn.get()), Py_TPFLAGS_METHOD_DESCRIPTOR)) Py_XSETREF(fn_, fn.release());
}

bool PlainMethod::direct(PyObject* self) const {
    if (!fn_) return false;
    Ref dict = plain_.dict_of(self);
    return dict && PyDict_CheckExact(dict.get()) && !check(PyDict_Contains(dict.get(), name_.get()));
}

Ref PlainMethod::call(PyObject* self) const {
    // The function is held here: the call takes no reference to it.
    if (direct(self)) return own(PyObject_Vectorcall(fn_, &self, 1, nullptr));
    return call_method(self, name_);
}

std::size_t add_plain_floats(PyObject* self, const PlainAttributes& plain, std::span<const Name* const> names,
                             const double* deltas) noexcept {
    Ref dict = plain.dict_of(self);
    if (!dict || !PyDict_CheckExact(dict.get())) return 0;
    // Read, add and write per name, as `+=` does: like the interpreter's
    // own, the update is not atomic, but every step holds its references.
    std::size_t done = 0;
    for (; done < names.size(); ++done) {
        PyObject* value = nullptr;
        if (PyDict_GetItemRef(dict.get(), names[done]->get(), &value) <= 0) break;
        Ref owned = Ref::steal(value);
        if (!PyFloat_CheckExact(value)) break;
        Ref sum = Ref::steal(PyFloat_FromDouble(PyFloat_AS_DOUBLE(value) + deltas[done]));
        if (!sum || PyDict_SetItem(dict.get(), names[done]->get(), sum.get()) < 0) break;
    }
    if (PyErr_Occurred()) PyErr_Clear();  // the generic path meets it again
    return done;
}

namespace {

// a == b for two exact strs: a str is always stored in its narrowest kind,
// so equal strings have equal kinds and equal bytes.
bool same_text(PyObject* a, PyObject* b) {
    if (a == b) return true;
    const Py_ssize_t n = PyUnicode_GET_LENGTH(a);
    if (n != PyUnicode_GET_LENGTH(b) || PyUnicode_KIND(a) != PyUnicode_KIND(b)) return false;
    return std::memcmp(PyUnicode_DATA(a), PyUnicode_DATA(b), size_t(n) * PyUnicode_KIND(a)) == 0;
}

}  // namespace

bool equal(PyObject* a, PyObject* b) {
    if (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b)) return same_text(a, b);
    Ref r = own(PyObject_RichCompare(a, b, Py_EQ));
    return truth(r.get());
}

bool not_equal(PyObject* a, PyObject* b) {
    if (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b)) return !same_text(a, b);
    Ref r = own(PyObject_RichCompare(a, b, Py_NE));
    return truth(r.get());
}

Ref next_of(PyObject* it) {
    if (!PyIter_Check(it)) raise_format(PyExc_TypeError, "'%.200s' object is not an iterator", Py_TYPE(it)->tp_name);
    PyObject* item = Py_TYPE(it)->tp_iternext(it);
    if (item) return Ref::steal(item);
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_StopIteration);
    raise();
}

Ref star_tuple(std::initializer_list<PyObject*> before, PyObject* iterable, std::initializer_list<PyObject*> after) {
    Ref middle = own(PySequence_Tuple(iterable));
    const Py_ssize_t n = PyTuple_GET_SIZE(middle.get());
    if (before.size() == 0 && after.size() == 0) return middle;
    Ref t = own(PyTuple_New(Py_ssize_t(before.size() + after.size()) + n));
    Py_ssize_t k = 0;
    for (PyObject* o : before) PyTuple_SET_ITEM(t.get(), k++, Py_NewRef(o));
    for (Py_ssize_t i = 0; i < n; ++i) PyTuple_SET_ITEM(t.get(), k++, Py_NewRef(PyTuple_GET_ITEM(middle.get(), i)));
    for (PyObject* o : after) PyTuple_SET_ITEM(t.get(), k++, Py_NewRef(o));
    return t;
}

Ref item(PyObject* o, Py_ssize_t i) {
    if (PyList_CheckExact(o)) {
        // Bounds-checked against the list as it is when read; a miss leaves
        // the error to the interpreter's own indexing.
        if (PyObject* v = PyList_GetItemRef(o, i < 0 ? i + PyList_GET_SIZE(o) : i)) return Ref::steal(v);
        PyErr_Clear();
    } else if (PyTuple_CheckExact(o)) {
        const Py_ssize_t k = i < 0 ? i + PyTuple_GET_SIZE(o) : i;
        if (k >= 0 && k < PyTuple_GET_SIZE(o)) return Ref::borrow(PyTuple_GET_ITEM(o, k));
    }
    Ref index = own(PyLong_FromSsize_t(i));
    return own(PyObject_GetItem(o, index.get()));
}

void set_item(PyObject* o, Py_ssize_t i, PyObject* value) {
    if (PyList_CheckExact(o)) {
        check(PyList_SetItem(o, i < 0 ? i + PyList_GET_SIZE(o) : i, Py_NewRef(value)));
        return;
    }
    Ref index = own(PyLong_FromSsize_t(i));
    check(PyObject_SetItem(o, index.get(), value));
}

Ref slice(PyObject* o, PyObject* start, PyObject* stop) {
    if (PyTuple_CheckExact(o) && (start == Py_None || PyLong_CheckExact(start)) &&
        (stop == Py_None || PyLong_CheckExact(stop))) {
        // As the interpreter slices a tuple: bounds clipped, the tuple itself
        // for the whole of it.
        Py_ssize_t from = start == Py_None ? 0 : PyNumber_AsSsize_t(start, nullptr);
        Py_ssize_t to = stop == Py_None ? PY_SSIZE_T_MAX : PyNumber_AsSsize_t(stop, nullptr);
        PySlice_AdjustIndices(PyTuple_GET_SIZE(o), &from, &to, 1);
        return own(PyTuple_GetSlice(o, from, to));
    }
    Ref range = own(PySlice_New(start, stop, nullptr));
    return own(PyObject_GetItem(o, range.get()));
}

bool compare(PyObject* a, PyObject* b, int op) {
    Ref r = own(PyObject_RichCompare(a, b, op));
    return to_bool(r.get());
}

Py_ssize_t index_of(PyObject* o) {
    Ref index = own(PyNumber_Index(o));
    const Py_ssize_t r = PyLong_AsSsize_t(index.get());
    if (r == -1 && PyErr_Occurred()) raise();
    return r;
}

Ref next_or_end(PyObject* it) {
    PyObject* v = PyIter_Next(it);
    if (!v && PyErr_Occurred()) raise();
    return Ref::steal(v);
}

Ref class_own_value(PyObject* cls, const Name& name) noexcept {
    PyObject* dict = reinterpret_cast<PyTypeObject*>(cls)->tp_dict;
    PyObject* v = nullptr;
    if (!dict || PyDict_GetItemRef(dict, name.get(), &v) < 0) PyErr_Clear();
    return Ref::steal(v);
}

bool dict_read_exactly(PyObject* dict, const Name* const* names, Ref* const* out, int count) {
    bool exact = true;
    Py_BEGIN_CRITICAL_SECTION(dict);
    if (PyDict_GET_SIZE(dict) != count) {
        exact = false;
    } else {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (exact && PyDict_Next(dict, &pos, &key, &value)) {
            int found = -1;
            for (int i = 0; i < count; ++i)
                if (key == names[i]->get()) found = i;
            if (found < 0 || *out[found]) {
                exact = false;
            } else {
                *out[found] = Ref::borrow(value);
            }
        }
    }
    Py_END_CRITICAL_SECTION();
    if (!exact)
        for (int i = 0; i < count; ++i) *out[i] = Ref();
    return exact;
}

}  // namespace vy
