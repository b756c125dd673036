// A point as a complex double, for the conversion cores: the operations
// their formulas use, and the complex objects Python sees of it.
#pragma once

#include <cmath>

#include "convert.h"

namespace vy::bezier {

// A point as a complex double.  Only the operations the formulas use exist,
// each exactly as written there: scaling multiplies both parts by the same
// double, it is no complex product.
struct Z {
    double re, im;
};
inline Z operator+(Z a, Z b) { return {a.re + b.re, a.im + b.im}; }
inline Z operator-(Z a, Z b) { return {a.re - b.re, a.im - b.im}; }
inline Z operator*(Z a, double k) { return {a.re * k, a.im * k}; }
inline bool operator==(Z a, Z b) { return a.re == b.re && a.im == b.im; }
inline double modulus(Z z) { return std::hypot(z.re, z.im); }

// complex(z), and an object as a `double complex` parameter converts it.
inline Ref object_of(Z z) { return own(PyComplex_FromDoubles(z.re, z.im)); }
inline Z z_of(PyObject* o) {
    const Py_complex c = to_complex(o);
    return Z{c.real, c.imag};
}

}  // namespace vy::bezier
