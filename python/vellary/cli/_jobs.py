"""The whole-font jobs behind the commands: read every glyph of the masters,
convert each glyph on a thread pool, then write each font at once.

Glyphs are independent, so each task reads, converts and encodes one glyph
(all its masters) and shares nothing with the others; the results come back
in glyph order, so the output is the same for any number of threads.
Nothing is written before every glyph has converted.
"""

import concurrent.futures
import os
import time

from .. import __version__
from ..misc import curvemath
from ._contours import NoFit, demote_shapes, promote_shape, shape, spline_error, structure
from ._ufo import Font, UfoError, lib_with, write_fonts

# Keys of the font lib that record a conversion by this tool.
DEMOTED = "com.github.vellary.demote"
PROMOTED = "com.github.vellary.promote"


class Stats:
    """What one glyph's conversion (or, summed, a whole job's) did and how
    long its stages took: CPU seconds of the thread that ran them (waits for
    the disk or for a core not counted), so that threads that slow each
    other down show up as more time; `write` and `wall` are wall-clock."""

    FIELDS = ("glyphs", "files", "rewritten", "curves", "segments", "cubics", "points_before", "points_after")
    TIMES = ("read", "convert", "check", "encode")

    def __init__(self):
        for f in self.FIELDS + self.TIMES:
            setattr(self, f, 0)
        self.max_error = 0.0
        self.incompatible = []
        self.sparse = []
        self.write = 0.0
        self.wall = 0.0
        self.jobs = 1

    def add(self, other):
        for f in self.FIELDS + self.TIMES:
            setattr(self, f, getattr(self, f) + getattr(other, f))
        self.max_error = max(self.max_error, other.max_error)
        self.incompatible += other.incompatible
        self.sparse += other.sparse


_cpu = time.thread_time


def default_jobs():
    count = getattr(os, "process_cpu_count", os.cpu_count)()
    return count or 1


def _bar(progress, total, label):
    return progress(total, label) if progress is not None else None


def run_tasks(task, items, jobs, progress=None):
    """`task` of each item, in order, on `jobs` threads; `progress` (a
    callable) is told of each finished item.  The first failure in item
    order is raised once the others have stopped."""
    if jobs <= 1:
        out = []
        for item in items:
            out.append(task(item))
            if progress:
                progress()
        return out
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        futures = [pool.submit(task, item) for item in items]
        try:
            if progress:
                for _ in concurrent.futures.as_completed(futures):
                    progress()
            return [f.result() for f in futures]
        except BaseException:
            for f in futures:
                f.cancel()
            raise


def _files_bar(progress, fonts):
    if progress is None:
        return None
    return progress(sum(len(files) for font in fonts for _, _, files in os.walk(font.path)), "writing")


def _check_outputs(fonts, outdir):
    outdir = os.path.abspath(outdir)
    if os.path.exists(outdir) and not os.path.isdir(outdir):
        raise UfoError(outdir, "the output folder is a file")
    names = {}
    outs = []
    for font in fonts:
        real = os.path.realpath(font.path)
        out = os.path.join(outdir, font.name)
        if os.path.realpath(out) == real or os.path.realpath(outdir) == real:
            raise UfoError(outdir, f"the output folder is the input {font.path} (name another folder with -o)")
        if (os.path.realpath(outdir) + os.sep).startswith(real + os.sep):
            raise UfoError(outdir, f"the output folder lies inside the input {font.path}")
        if font.name in names:
            raise UfoError(font.path, f"has the same name as {names[font.name]}: both would be written to {out}")
        names[font.name] = font.path
        outs.append(out)
    return outs


def _open_fonts(paths, mark, force, what):
    fonts = [Font(p) for p in paths]
    for font in fonts:
        if mark in font.lib and not force:
            raise UfoError(font.lib_path, f"the font was already {what} by vellary (use --force to convert it again)")
    return fonts


def _shapes(glyph, implied_start=False):
    return [shape(c.points, glyph.path, glyph.name, implied_start) for c in glyph.contours]


def _encode(glyph, shapes, changed, stats):
    stats.points_before += sum(len(c.points) for c in glyph.contours)
    new = [s.points() if s is not None and k in changed else None for k, s in enumerate(shapes)]
    stats.points_after += sum(len(c.points) if p is None else len(p) for c, p in zip(glyph.contours, new))
    if not changed:
        return None
    stats.rewritten += 1
    return glyph.tobytes(new)


def _no_fit(glyph, error, max_err):
    return UfoError(glyph.path, f"no quadratic spline within {max_err:g} found for the curve ending here",
                    error.point.line, glyph.name)


def demote(paths, outdir, max_err=1.0, jobs=None, reverse_direction=False, force=False,
           allow_missing=False, progress=None, convert=None, check=True):
    """Convert the masters at `paths` to quadratic splines compatibly and
    write them into `outdir`.  `convert` supplies `curve_to_quadratic` and
    `curves_to_quadratic` (default: vellary.demote).  `progress(total,
    label)`, where given, starts a progress report for each stage and returns
    the callable to tell of each step, or None.  Returns the Stats."""
    if convert is None:
        from .. import demote as convert
    began = time.perf_counter()
    jobs = jobs or default_jobs()
    fonts = _open_fonts(paths, DEMOTED, force, "converted to quadratic curves")
    outs = _check_outputs(fonts, outdir)
    names = list(dict.fromkeys(n for font in fonts for n in font.contents))
    masters_of = {}
    for name in names:
        having = [m for m, font in enumerate(fonts) if name in font.contents]
        if len(having) < len(fonts) and not allow_missing:
            lacking = next(font for font in fonts if name not in font.contents)
            other = fonts[having[0]].name
            raise UfoError(lacking.path, f"glyph {name!r} is missing, which {other} has "
                           "(use --allow-missing to convert such glyphs on their own)")
        masters_of[name] = having
    max_errors = [max_err] * len(fonts)

    def task(name):
        stats = Stats()
        stats.glyphs = 1
        t0 = _cpu()
        having = masters_of[name]
        stats.files = len(having)
        glyphs = [fonts[m].read_glyph(name) for m in having]
        shapes = [_shapes(g) for g in glyphs]
        t1 = _cpu()
        compatible = len({structure(g.contours) for g in glyphs}) == 1
        if not compatible:
            stats.incompatible.append(name)
        if len(having) < len(fonts):
            stats.sparse.append(name)
        try:
            pairs = demote_shapes(shapes, max_errors[:len(having)], compatible, convert, stats)
        except NoFit as e:
            bad = next(g for g in glyphs if any(e.point in c.points for c in g.contours))
            raise _no_fit(bad, e, max_err) from None
        if reverse_direction:
            shapes = [[s.reversed() if s is not None else None for s in m] for m in shapes]
        t2 = _cpu()
        if check:
            for cubic, spline in pairs:
                stats.max_error = max(stats.max_error, spline_error(cubic, spline))
        t3 = _cpu()
        out = []
        for g, s in zip(glyphs, shapes):
            changed = {k for k, x in enumerate(s) if x is not None and (
                reverse_direction or any(seg.end.retyped for seg in x.segments))}
            out.append(_encode(g, s, changed, stats))
        stats.read, stats.convert, stats.check = t1 - t0, t2 - t1, t3 - t2
        stats.encode = _cpu() - t3
        return having, out, stats

    results = run_tasks(task, names, jobs, _bar(progress, len(names), "converting"))
    total = Stats()
    total.jobs = jobs
    files = [{} for _ in fonts]
    for name, (having, out, stats) in zip(names, results):
        total.add(stats)
        for m, data in zip(having, out):
            if data is not None:
                files[m][fonts[m].contents[name]] = data
    t = time.perf_counter()
    mark = {"version": __version__, "maxError": float(max_err), "reverseDirection": bool(reverse_direction)}
    write_fonts([(font, out, f, lib_with(font.lib_path, DEMOTED, mark, remove=(PROMOTED,)))
                 for font, out, f in zip(fonts, outs, files)], _files_bar(progress, fonts))
    total.write = time.perf_counter() - t
    total.wall = time.perf_counter() - began
    total.fonts = [font.path for font in fonts]
    total.outputs = outs
    return total


def promote(path, outdir, max_err=0.5, all_cubic=False, jobs=None, reverse_direction=False, force=False,
            progress=None, convert=None):
    """Merge the quadratic splines of the font at `path` into cubic curves
    and write it into `outdir`.  Returns the Stats."""
    if convert is None:
        from .. import promote as convert
    began = time.perf_counter()
    jobs = jobs or default_jobs()
    (font,) = _open_fonts([path], PROMOTED, force, "converted to cubic curves")
    (out,) = _check_outputs([font], outdir)
    names = list(font.contents)

    def task(name):
        stats = Stats()
        stats.glyphs = stats.files = 1
        t0 = _cpu()
        glyph = font.read_glyph(name)
        shapes = _shapes(glyph, implied_start=True)
        t1 = _cpu()
        changed = set()
        for k, s in enumerate(shapes):
            if s is None:
                continue
            before = list(s.segments)
            promote_shape(s, max_err, all_cubic, convert, stats)
            if s.segments != before or reverse_direction:
                changed.add(k)
            if reverse_direction:
                shapes[k] = s.reversed()
        t2 = _cpu()
        data = _encode(glyph, shapes, changed, stats)
        stats.read, stats.convert = t1 - t0, t2 - t1
        stats.encode = _cpu() - t2
        return data, stats

    results = run_tasks(task, names, jobs, _bar(progress, len(names), "converting"))
    total = Stats()
    total.jobs = jobs
    files = {}
    for name, (data, stats) in zip(names, results):
        total.add(stats)
        if data is not None:
            files[font.contents[name]] = data
    t = time.perf_counter()
    mark = {"version": __version__, "maxError": float(max_err), "allCubic": bool(all_cubic),
            "reverseDirection": bool(reverse_direction)}
    write_fonts([(font, out, files, lib_with(font.lib_path, PROMOTED, mark, remove=(DEMOTED,)))],
                _files_bar(progress, [font]))
    total.write = time.perf_counter() - t
    total.wall = time.perf_counter() - began
    total.fonts = [font.path]
    total.outputs = [out]
    return total


# -- measuring -----------------------------------------------------------------

def _transform(t, p):
    xx, xy, yx, yy, dx, dy = t
    x, y = p
    return (xx * x + yx * y + dx, xy * x + yy * y + dy)


def _compose(outer, inner):
    """The transform that applies `inner`, then `outer`."""
    a, b, c, d, e, f = outer
    A, B, C, D, E, F = inner
    return (A * a + B * c, A * b + B * d, C * a + D * c, C * b + D * d, E * a + F * c + e, E * b + F * d + f)


_IDENTITY = (1, 0, 0, 1, 0, 0)


def _paths(name, glyphs, warnings, transform=_IDENTITY, seen=()):
    """The contours of a glyph and of its components, as (closed, start,
    [(type, offs, end)]) in the glyph's coordinates."""
    glyph, shapes = glyphs[name]
    out = []
    for s in shapes:
        if s is None:
            continue
        tp = (lambda p: _transform(transform, p.xy)) if transform != _IDENTITY else (lambda p: p.xy)
        out.append((s.closed, tp(s.start), [(g.type, [tp(p) for p in g.offs], tp(g.end)) for g in s.segments]))
    for c in glyph.components:
        if c.base in seen or c.base == name:
            raise UfoError(glyph.path, f"component {c.base!r} refers back to the glyph itself", c.line, name)
        if c.base not in glyphs:
            warnings.append(f"{glyph.path}:{c.line}: glyph {name!r}: component base {c.base!r} is not in the font")
            continue
        out += _paths(c.base, glyphs, warnings, _compose(transform, c.transform), seen + (name,))
    return out


def _bounds(paths):
    box = None
    for _, start, segs in paths:
        prev = start
        pieces = []
        for kind, offs, end in segs:
            if kind == "curve":
                pieces.append(curvemath.calcCubicBounds(prev, offs[0], offs[1], end))
            elif kind == "qcurve" and offs:
                ons = [prev] + [((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5) for a, b in zip(offs, offs[1:])] + [end]
                pieces += [curvemath.calcQuadraticBounds(ons[i], offs[i], ons[i + 1]) for i in range(len(offs))]
            else:
                pieces.append((*prev, *prev))
                pieces.append((*end, *end))
            prev = end
        if not segs:
            pieces.append((*start, *start))
        for x0, y0, x1, y1 in pieces:
            box = (x0, y0, x1, y1) if box is None else (
                min(box[0], x0), min(box[1], y0), max(box[2], x1), max(box[3], y1))
    return box


def _moments(paths):
    from ..pens.integrator import Integrator

    pen = Integrator()
    for closed, start, segs in paths:
        if not closed:
            continue
        pen.moveTo(start)
        for kind, offs, end in segs:
            if kind == "curve":
                pen.curveTo(*offs, end)
            elif kind == "qcurve":
                pen.qCurveTo(*offs, end)
            else:
                pen.lineTo(end)
        pen.closePath()
    return pen


def measure(path, jobs=None, progress=None):
    """Per glyph of the font at `path` (in the order of its contents): a
    dictionary of its bounds, area, centroid and second moments of area,
    components included.  Returns (records, warnings)."""
    jobs = jobs or default_jobs()
    font = Font(path)
    names = list(font.contents)

    def read(name):
        glyph = font.read_glyph(name)
        return glyph, _shapes(glyph, implied_start=True)

    glyphs = dict(zip(names, run_tasks(read, names, jobs)))

    def task(name):
        warnings = []
        paths = _paths(name, glyphs, warnings)
        box = _bounds(paths)
        pen = _moments(paths)
        area = float(pen.area)
        record = {
            "glyph": name,
            "bounds": list(box) if box is not None else None,
            "area": area,
            "centroid": [pen.momentX / area, pen.momentY / area] if area else None,
            "momentXX": float(pen.momentXX),
            "momentXY": float(pen.momentXY),
            "momentYY": float(pen.momentYY),
            "openContours": sum(not closed for closed, _, _ in paths),
        }
        return record, warnings

    results = run_tasks(task, names, jobs, _bar(progress, len(names), "measuring"))
    return [r for r, _ in results], [w for _, ws in results for w in ws]
