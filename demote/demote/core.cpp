// The approximation core: subdivision of a cubic into equal-parameter
// pieces, the quadratic fit of each piece and the tolerance test, in
// machine doubles, each formula in its written order.
#include "demote.h"

namespace demote {

namespace {

constexpr double kTwoThirds = 0.6666666666666666;
constexpr double kOneTwentySeventh = 0.037037037037037035;

double vector_dot(Z u, Z v) {
    const double r = u.re * v.re + u.im * v.im;
    return std::fabs(r) < 1e-15 ? 0.0 : r;
}

Piece cubic_points(Z a, Z b, Z c, Z d) {
    const Z e = div3(c) + d;
    return Piece{{d, e, div3(b + c) + e, ((a + d) + c) + b}};
}

void split_into_two(Z p0, Z p1, Z p2, Z p3, Piece* out) {
    const Z mid = ((p0 + (p1 + p2) * 3) + p3) * 0.125;
    const Z deriv3 = (((p2 + p3) - p1) - p0) * 0.125;
    out[0] = Piece{{p0, (p0 + p1) * 0.5, mid - deriv3, mid}};
    out[1] = Piece{{mid, mid + deriv3, (p2 + p3) * 0.5, p3}};
}

void split_into_three(Z p0, Z p1, Z p2, Z p3, Piece* out) {
    const double k = kOneTwentySeventh;
    const Z mid1 = (((p0 * 8 + p1 * 12) + p2 * 6) + p3) * k;
    const Z deriv1 = ((p3 + p2 * 3) - p0 * 4) * k;
    const Z mid2 = (((p0 + p1 * 6) + p2 * 12) + p3 * 8) * k;
    const Z deriv2 = ((p3 * 4 - p1 * 3) - p0) * k;
    out[0] = Piece{{p0, div3(p0 * 2 + p1), mid1 - deriv1, mid1}};
    out[1] = Piece{{mid1, mid1 + deriv1, mid2 - deriv2, mid2}};
    out[2] = Piece{{mid2, mid2 + deriv2, div3(p2 + p3 * 2), p3}};
}

Z quadratic_control_at(double t, Z p0, Z p1, Z p2, Z p3) {
    const Z q1 = p0 + (p1 - p0) * 1.5;
    const Z q2 = p3 + (p2 - p3) * 1.5;
    return q1 + (q2 - q1) * t;
}

double module_nan() {
    const vy::Num v = vy::global_value(n_NAN);
    return v.is_float() ? v.f() : vy::to_double(v.object().get());
}

Z calc_intersect(Z a, Z b, Z c, Z d) {
    const Z ab = b - a;
    const Z cd = d - c;
    const Z p{-ab.im, ab.re};
    const double den = vector_dot(p, cd);
    if (den == 0.0) {
        if (b == c && (a == b || c == d)) return b;
        const double nan = module_nan();
        return Z{nan, nan};
    }
    const double h = vector_dot(p, a - c) / den;
    return c + cd * h;
}

const vy::ModuleFunction math_isnan{"math", "isnan"};

// math.isnan(x), through the module-level name `math`.
bool module_isnan(double x) {
    vy::Ref isnan = math_isnan.get();
    if (!isnan) return std::isnan(x);
    vy::Ref arg = vy::float_object(x);
    vy::Ref r = vy::call(isnan.get(), {arg.get()});
    return vy::to_bool(r.get());
}

const vy::Internal approx_quadratic_fn{"cubic_approx_quadratic"}, approx_spline_fn{"cubic_approx_spline"};

Spline cubic_approx_quadratic(const std::vector<Z>& cubic, double tolerance) {
    vy::Frame f{approx_quadratic_fn, 376};
    if (cubic.size() < 4) vy::raise(PyExc_IndexError, "list index out of range");
    Spline result;
    const Z q1 = calc_intersect(cubic[0], cubic[1], cubic[2], cubic[3]);
    f.at(379);
    if (module_isnan(q1.im)) return result;
    const Z c0 = cubic[0], c3 = cubic[3];
    const Z c1 = c0 + (q1 - c0) * kTwoThirds;
    const Z c2 = c3 + (q1 - c3) * kTwoThirds;
    if (!cubic_within_tolerance(Z{0, 0}, c1 - cubic[1], c2 - cubic[2], Z{0, 0}, tolerance)) return result;
    result.kind = Spline::Points;
    result.points = {c0, q1, c3};
    return result;
}

}  // namespace

void cubic_parameters(Z p0, Z p1, Z p2, Z p3, Z& a, Z& b, Z& c, Z& d) {
    c = (p1 - p0) * 3;
    b = (p2 - p1) * 3 - c;
    d = p0;
    a = ((p3 - d) - c) - b;
}

Piece nth_piece(Z a, Z b, Z c, Z d, double dt, double delta_2, double delta_3, int i) {
    const double t1 = double(i) * dt;
    const double t1_2 = t1 * t1;
    const Z a1 = a * delta_3;
    const Z b1 = ((a * 3) * t1 + b) * delta_2;
    const Z c1 = (((b * 2) * t1 + c) + (a * 3) * t1_2) * dt;
    const Z d1 = (((a * t1) * t1_2 + b * t1_2) + c * t1) + d;
    return cubic_points(a1, b1, c1, d1);
}

Pieces::Pieces(const Z (&p)[4], int n) : n_(n) {
    switch (n) {
        case 2:
            fixed_.resize(2);
            split_into_two(p[0], p[1], p[2], p[3], fixed_.data());
            return;
        case 3:
            fixed_.resize(3);
            split_into_three(p[0], p[1], p[2], p[3], fixed_.data());
            return;
        case 4:
        case 6: {
            Piece halves[2];
            split_into_two(p[0], p[1], p[2], p[3], halves);
            const int per_half = n / 2;
            fixed_.resize(std::size_t(n));
            for (int h = 0; h < 2; ++h) {
                const Z* q = halves[h].p;
                Piece* out = fixed_.data() + h * per_half;
                if (n == 4)
                    split_into_two(q[0], q[1], q[2], q[3], out);
                else
                    split_into_three(q[0], q[1], q[2], q[3], out);
            }
            return;
        }
        default: {
            vy::Ref gen;
            if (!c_split_gen.lookup(gen)) {
                vy::Ref z[4];
                for (int k = 0; k < 4; ++k) z[k] = object_of(p[k]);
                vy::Ref count = vy::int_object(n);
                vy::Ref pieces = vy::call(gen.get(), {z[0].get(), z[1].get(), z[2].get(), z[3].get(), count.get()});
                iterator_ = vy::iter(pieces.get());
                return;
            }
            cubic_parameters(p[0], p[1], p[2], p[3], a_, b_, c_, d_);
            dt_ = 1.0 / n;
            delta_2_ = dt_ * dt_;
            delta_3_ = delta_2_ * dt_;
        }
    }
}

Piece Pieces::next() {
    const int i = i_++;
    if (!fixed_.empty()) return fixed_[std::size_t(i)];
    if (!iterator_) return nth_piece(a_, b_, c_, d_, dt_, delta_2_, delta_3_, i);
    PyObject* item = PyIter_Next(iterator_.get());
    if (!item) {
        if (!PyErr_Occurred()) PyErr_SetNone(PyExc_StopIteration);
        vy::raise();
    }
    vy::Ref piece = vy::Ref::steal(item);
    Piece out;
    for (int k = 0; k < 4; ++k) out.p[k] = vy::bezier::z_of(vy::item(piece.get(), Py_ssize_t(k)).get());
    vy::unpack<4>(piece.get());  // the piece is also unpacked into four points
    return out;
}

Spline cubic_approx_spline(const std::vector<Z>& cubic, int n, double tolerance, bool all_quadratic) {
    vy::Frame f{approx_spline_fn, 400};
    if (n == 1) {
        f.at(403);
        return cubic_approx_quadratic(cubic, tolerance);
    }
    Spline result;
    if (n == 2 && !all_quadratic) {
        result.kind = Spline::Cubic;
        return result;
    }
    f.at(407);
    if (cubic.size() < 4) vy::raise(PyExc_IndexError, "list index out of range");
    const Z points[4] = {cubic[0], cubic[1], cubic[2], cubic[3]};
    Pieces pieces(points, n);
    if (n < 1) return result;  // no pieces: the first one cannot be taken
    Piece next_cubic = pieces.next();
    Z next_q1 = quadratic_control_at(0.0, next_cubic.p[0], next_cubic.p[1], next_cubic.p[2], next_cubic.p[3]);
    Z q2 = cubic[0];
    Z d1{0, 0};
    std::vector<Z>& spline = result.points;
    // A huge count is mostly abandoned at its first pieces: no reserve for it.
    spline.reserve(std::size_t(std::min(n, 1024)) + 2);
    spline.push_back(cubic[0]);
    spline.push_back(next_q1);
    for (int i = 1; i <= n; ++i) {
        const Piece piece = next_cubic;
        const Z c1 = piece.p[1], c2 = piece.p[2], c3 = piece.p[3];
        const Z q0 = q2;
        const Z q1 = next_q1;
        if (i < n) {
            next_cubic = pieces.next();
            next_q1 = quadratic_control_at(double(i) / double(n - 1), next_cubic.p[0], next_cubic.p[1],
                                           next_cubic.p[2], next_cubic.p[3]);
            spline.push_back(next_q1);
            q2 = (q1 + next_q1) * 0.5;
        } else {
            q2 = c3;
        }
        const Z d0 = d1;
        d1 = q2 - c3;
        if (modulus(d1) > tolerance ||
            !cubic_within_tolerance(d0, (q0 + (q1 - q0) * kTwoThirds) - c1, (q2 + (q1 - q2) * kTwoThirds) - c2, d1,
                                    tolerance)) {
            result.points.clear();
            return result;
        }
    }
    spline.push_back(cubic[3]);
    result.kind = Spline::Points;
    return result;
}

}  // namespace demote
