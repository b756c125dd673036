"""Time gapfill_delta_optimize / gapfill_delta: native against the models.

The corpus is about 50 contours, grouped into glyphs: coordinates of the
ExtraLight master of the real-font corpus, deltas Black - ExtraLight, when
that corpus is present; generated outlines otherwise.  gapfill_delta is fed
the optimiser's output at tolerance 0.5, so it sees the mix of explicit and
missing deltas that a real variation font holds.
"""

import json
import math
import os
import random
import sys

import _peers

RUNS = 7
TOLERANCE = 0.5
CONTOURS = 50
MIN_POINTS, MAX_POINTS = 4, 60
SEED = 20240611


# -- corpus -------------------------------------------------------------------

def _phantoms(coords, deltas):
    """The four phantom points closing every glyph's point list: origin,
    advance, top, bottom.  The corpus holds no metrics, so the advance is
    taken as the outline's right edge plus its left side bearing."""
    xs = [x for x, _ in coords]
    xs_other = [x + dx for (x, _), (dx, _) in zip(coords, deltas)]
    advance = max(xs) + min(xs)
    advance_other = max(xs_other) + min(xs_other)
    coords = coords + [(0, 0), (advance, 0), (0, 800), (0, -200)]
    deltas = deltas + [(0, 0), (advance_other - advance, 0), (0, 0), (0, 0)]
    return coords, deltas


def _glyph(contours_coords, contours_deltas):
    coords, deltas, ends = [], [], []
    for c, d in zip(contours_coords, contours_deltas):
        coords.extend(c)
        deltas.extend(d)
        ends.append(len(coords) - 1)
    coords, deltas = _phantoms(coords, deltas)
    return coords, deltas, ends


def corpus_glyphs():
    """Glyphs from the two masters, or None when the corpus is absent."""
    path = os.path.join(_peers.CORPUS_DIR, "source-sans-roman", "outlines.json")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        masters = json.load(f)["masters"]
    base = masters["SourceSans_ExtraLight.ufo"]
    other = masters["SourceSans_Black.ufo"]
    names = []
    for name in sorted(base):
        a, b = base[name], other.get(name)
        if not a or b is None or len(a) != len(b):
            continue
        if any(len(ca) != len(cb) or not MIN_POINTS <= len(ca) <= MAX_POINTS
               or any(p[2] != q[2] for p, q in zip(ca, cb)) for ca, cb in zip(a, b)):
            continue
        names.append(name)
    random.Random(SEED).shuffle(names)
    glyphs, count = [], 0
    for name in names:
        if count >= CONTOURS:
            break
        coords = [[(p[0], p[1]) for p in c] for c in base[name]]
        deltas = [[(q[0] - p[0], q[1] - p[1]) for p, q in zip(ca, cb)]
                  for ca, cb in zip(base[name], other[name])]
        glyphs.append(_glyph(coords, deltas))
        count += len(coords)
    return glyphs


def generated_glyphs():
    """Outlines shaped like glyph contours: corner points on a loop, joined by
    runs of 0 to 2 points on the straight line between them (as control
    points often lie), deltas a smooth emboldening of the corners, rounded to
    integers as font deltas are.  Some of the in-between points then
    interpolate within the tolerance and some do not, as in a real font."""
    rng = random.Random(SEED)
    glyphs, count = [], 0
    while count < CONTOURS:
        contours_coords, contours_deltas = [], []
        for _ in range(rng.choice([1, 1, 2, 2, 3])):
            corners = rng.randint(2, 14)
            cx, cy = rng.uniform(100, 500), rng.uniform(0, 600)
            rx, ry = rng.uniform(20, 250), rng.uniform(20, 350)
            weight = rng.uniform(20, 90)
            ring = []
            for i in range(corners):
                t = 2 * math.pi * (i + rng.uniform(-0.3, 0.3)) / corners
                ring.append((cx + rx * math.cos(t), cy + ry * math.sin(t),
                             weight * math.cos(t) + rng.uniform(-4, 4),
                             0.3 * weight * math.sin(t) + rng.uniform(-4, 4)))
            coords, deltas = [], []
            for i, (x, y, dx, dy) in enumerate(ring):
                nx, ny, ndx, ndy = ring[(i + 1) % corners]
                between = rng.choice([0, 0, 1, 2])
                for k in range(between + 1):
                    if len(coords) == MAX_POINTS:
                        break
                    f = k / (between + 1)
                    coords.append((round(x + f * (nx - x)), round(y + f * (ny - y))))
                    deltas.append((round(dx + f * (ndx - dx)), round(dy + f * (ndy - dy))))
            if len(coords) < MIN_POINTS:
                continue
            contours_coords.append(coords)
            contours_deltas.append(deltas)
        if contours_coords:
            glyphs.append(_glyph(contours_coords, contours_deltas))
            count += len(contours_coords)
    return glyphs


# -- benchmark ----------------------------------------------------------------

def optimizing(module):
    """make(glyphs, loops): gapfill_delta_optimize of `module` on each glyph,
    `loops` times over."""
    def make(glyphs, loops, f=module.gapfill_delta_optimize):
        def work():
            for _ in range(loops):
                for coords, deltas, ends in glyphs:
                    f(deltas, coords, ends, TOLERANCE)
        return work
    return make


def filling(module):
    """make(glyphs, loops): gapfill_delta of `module` on each glyph."""
    def make(glyphs, loops, f=module.gapfill_delta):
        def work():
            for _ in range(loops):
                for coords, sparse, ends in glyphs:
                    f(sparse, coords, ends)
        return work
    return make


def check(models, native, glyphs, sparse_glyphs):
    """Every peer must give native's answer, to the bit, before it is timed."""
    for label, model in models.items():
        for (coords, deltas, ends), (_, sparse, _) in zip(glyphs, sparse_glyphs):
            want = native.gapfill_delta_optimize(deltas, coords, ends, TOLERANCE)
            got = model.gapfill_delta_optimize(deltas, coords, ends, TOLERANCE)
            assert _peers.identical(want, got), f"gapfill_delta_optimize: {label} differs from native"
            want = native.gapfill_delta(sparse, coords, ends)
            got = model.gapfill_delta(sparse, coords, ends)
            assert _peers.identical(want, got), f"gapfill_delta: {label} differs from native"
            # Filling in what the optimiser left out gives back the deltas
            # within the tolerance: the input is what it claims to be.
            for (x, y), (p, q) in zip(deltas, want):
                assert math.hypot(x - p, y - q) <= TOLERANCE + 1e-9


def main():
    from vellary.varLib import gapfill as native

    models = _peers.models("gapfill")

    glyphs = corpus_glyphs()
    source = "two masters of the real-font corpus"
    if glyphs is None:
        glyphs = generated_glyphs()
        source = "generated outlines (real-font corpus not found)"
    sparse_glyphs = [(coords, native.gapfill_delta_optimize(deltas, coords, ends, TOLERANCE), ends)
                     for coords, deltas, ends in glyphs]

    contours = sum(len(ends) for _, _, ends in glyphs)
    points = sum(len(coords) - 4 for coords, _, _ in glyphs)
    explicit = sum(d is not None for _, sparse, _ in sparse_glyphs for d in sparse)
    total = sum(len(sparse) for _, sparse, _ in sparse_glyphs)
    print(f"gapfill: {len(glyphs)} glyphs, {contours} contours, {points} points (+4 phantoms each), "
          f"from {source}")
    print(f"  gapfill_delta input: {explicit} of {total} deltas explicit "
          f"(optimiser output at tolerance {TOLERANCE})")

    check(models, native, glyphs, sparse_glyphs)
    print(f"  results of native and {' and '.join(models)} identical on the corpus")

    contenders = {"native": native, **models}
    cases = [("gapfill_delta_optimize", optimizing, glyphs),
             ("gapfill_delta", filling, sparse_glyphs)]
    print(f"  median of {RUNS} interleaved runs; ratio = model time / native time")
    for name, maker, data in cases:
        per_glyph = _peers.per_unit({label: maker(m) for label, m in contenders.items()}, data, 0.02, RUNS)
        print(f"  {name:23s} native {per_glyph['native'] * 1e6:8.2f} us/glyph"
              + _peers.ratios(per_glyph, models, "6.1f"))

    # Each thread works on its own copy of the corpus, as threads that each
    # process different glyphs would: with shared input objects, every
    # reference-count update of one thread would contend with the other's.
    print(_peers.scaling_title())
    for name, maker, data in cases:
        makers = _peers.copies_makers({label: maker(m) for label, m in contenders.items()}, data, 0.05)
        print(f"  {name:23s}" + _peers.scaling_line(_peers.scaling(makers, RUNS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
