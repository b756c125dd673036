"""Independent geometry for the property tests: Bézier segments evaluated by
their Bernstein forms and de Casteljau's construction in plain floats, never
through the power-basis formulas that the modules and their models share, and the segments the
properties run over (real glyph segments and random ones)."""

import math
import random

from support import glyph_segments


def lerp(p, q, t):
    return (p[0] + (q[0] - p[0]) * t, p[1] + (q[1] - p[1]) * t)


def split(seg, t):
    """The two halves of a segment at t, by de Casteljau's construction."""
    left, right, pts = [], [], [tuple(map(float, p)) for p in seg]
    while pts:
        left.append(pts[0])
        right.append(pts[-1])
        pts = [lerp(p, q, t) for p, q in zip(pts, pts[1:])]
    return tuple(left), tuple(reversed(right))


def point(seg, t):
    """The point at t, from the Bernstein form."""
    u = 1 - t
    if len(seg) == 4:
        (x0, y0), (x1, y1), (x2, y2), (x3, y3) = seg
        a, b, c, d = u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t
        return (a * x0 + b * x1 + c * x2 + d * x3, a * y0 + b * y1 + c * y2 + d * y3)
    if len(seg) == 3:
        (x0, y0), (x1, y1), (x2, y2) = seg
        a, b, c = u * u, 2 * u * t, t * t
        return (a * x0 + b * x1 + c * x2, a * y0 + b * y1 + c * y2)
    (x0, y0), (x1, y1) = seg
    return (u * x0 + t * x1, u * y0 + t * y1)


def hodograph(seg):
    """Control points of the derivative."""
    n = len(seg) - 1
    return [(n * (q[0] - p[0]), n * (q[1] - p[1])) for p, q in zip(seg, seg[1:])]


def velocity(seg, t):
    return point(hodograph(seg), t) if len(seg) > 2 else hodograph(seg)[0]


def samples(seg, n):
    return [point(seg, k / n) for k in range(n + 1)]


def size(seg):
    """The largest coordinate magnitude (at least 1): what rounding scales with."""
    return max(1.0, max(abs(v) for p in seg for v in p))


def dist(p, q):
    return math.hypot(p[0] - q[0], p[1] - q[1])


def nearest_t(seg, target, n=32):
    """The parameter of the point of the segment nearest to `target`: each
    local minimum of the distance at n samples (a loop passes by twice)
    refined by golden-section search on its neighbours, the best kept."""
    d = [dist(point(seg, k / n), target) for k in range(n + 1)]
    g = (math.sqrt(5) - 1) / 2
    best, best_t = math.inf, 0.0
    for k in range(n + 1):
        if (k and d[k - 1] < d[k]) or (k < n and d[k + 1] < d[k]):
            continue
        lo, hi = max(0, k - 1) / n, min(n, k + 1) / n
        for _ in range(30):
            a, b = hi - g * (hi - lo), lo + g * (hi - lo)
            if dist(point(seg, a), target) < dist(point(seg, b), target):
                hi = b
            else:
                lo = a
        t = (lo + hi) / 2
        if dist(point(seg, t), target) < best:
            best, best_t = dist(point(seg, t), target), t
    return best_t


def distance_to(seg, target):
    return dist(point(seg, nearest_t(seg, target)), target)


def random_segment(rng, degree):
    """A random segment of `degree` + 1 points, often with a special shape:
    integer or float coordinates, coincident or collinear control points,
    loops and cusps."""
    kind = rng.random()
    if kind < 0.15:  # collinear
        a, b = (rng.uniform(-500, 500), rng.uniform(-500, 500)), (rng.uniform(-500, 500), rng.uniform(-500, 500))
        return tuple(lerp(a, b, rng.uniform(-0.5, 1.5)) for _ in range(degree + 1))
    pts = [(rng.randint(-500, 500), rng.randint(-500, 500)) if kind < 0.5 else
           (rng.uniform(-500, 500), rng.uniform(-500, 500)) for _ in range(degree + 1)]
    if kind > 0.85:  # a control point on an end point
        i = rng.randrange(1, degree)
        pts[i] = pts[rng.choice([i - 1, i + 1])]
    return tuple(pts)


def curve_segments(count, seed, degrees=(2, 3)):
    """Real glyph segments (every few, across the glyph set) then random ones."""
    real = [s for s in glyph_segments() if len(s) - 1 in degrees]
    rng = random.Random(seed)
    chosen = real[::max(1, len(real) // count)][:count]
    return chosen + [random_segment(rng, rng.choice(degrees)) for _ in range(count)]


def distance_to_chain(chain, target):
    """The distance from `target` to the nearest of a chain of segments
    (segments whose control box lies farther than the best so far skipped)."""
    def box_gap(seg):
        xs, ys = [p[0] for p in seg], [p[1] for p in seg]
        return math.hypot(max(min(xs) - target[0], 0, target[0] - max(xs)),
                          max(min(ys) - target[1], 0, target[1] - max(ys)))

    best = math.inf
    for seg in sorted(chain, key=box_gap):
        if box_gap(seg) >= best:
            break
        best = min(best, distance_to(seg, target))
    return best


def sign_changes(f, n=100, steps=50, sample_zeros=False):
    """Zeros of f on [0, 1) where a dense sampling of n steps sees its sign
    change, bisected; with sample_zeros, the samples where f is 0 too."""
    values = [f(k / n) for k in range(n + 1)]
    roots = []
    for k in range(n):
        if sample_zeros and values[k] == 0:
            roots.append(k / n)
        elif values[k] * values[k + 1] < 0:
            lo, hi, low = k / n, (k + 1) / n, values[k]
            for _ in range(steps):
                mid = (lo + hi) / 2
                if low * f(mid) > 0:
                    lo, low = mid, f(mid)
                else:
                    hi = mid
            roots.append(lo)
    return roots
