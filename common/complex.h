// Complex numbers of typed `double complex` parameters, with C's arithmetic:
// real constants enter as complex numbers with a zero imaginary part, sums
// are component-wise, products and quotients are complex ones with the
// infinity recovery of C99 Annex G, and the modulus is cabs (a hypotenuse
// without intermediate overflow).
//
// Untyped values that happen to be complex objects compute through Num's
// number protocol, that is with Python's own complex arithmetic (no Annex G
// recovery); the two never mix.
#pragma once

#include <cmath>

#include "frame.h"

namespace vy {

class Complex {
public:
    Complex(double re = 0.0, double im = 0.0) noexcept {  // NOLINT: a real constant is a complex one
        __real__ z_ = re;
        __imag__ z_ = im;
    }
    Complex(Py_complex c) noexcept : Complex(c.real, c.imag) {}

    double real() const noexcept { return __real__ z_; }
    double imag() const noexcept { return __imag__ z_; }
    Py_complex py() const noexcept { return {real(), imag()}; }

    friend Complex operator+(Complex a, Complex b) noexcept { return Complex(a.z_ + b.z_); }
    friend Complex operator-(Complex a, Complex b) noexcept { return Complex(a.z_ - b.z_); }
    friend Complex operator*(Complex a, Complex b) noexcept { return Complex(a.z_ * b.z_); }
    friend Complex operator/(Complex a, Complex b) noexcept { return Complex(a.z_ / b.z_); }
    friend Complex operator-(Complex a) noexcept { return Complex(-a.z_); }
    friend bool operator==(Complex a, Complex b) noexcept { return a.real() == b.real() && a.imag() == b.imag(); }

private:
    explicit Complex(__complex__ double z) noexcept : z_(z) {}
    __complex__ double z_;
};

// cabs
inline double abs(Complex a) noexcept { return std::hypot(a.real(), a.imag()); }

inline Ref complex_object(Complex a) { return own(PyComplex_FromDoubles(a.real(), a.imag())); }

}  // namespace vy
