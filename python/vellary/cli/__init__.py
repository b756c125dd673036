"""The `vellary` command: whole UFO fonts through the native converters.

    vellary demote MASTER.ufo [MASTER.ufo ...] -o OUTDIR
    vellary promote SOURCE.ufo -o OUTDIR
    vellary measure SOURCE.ufo [--json FILE]

Exit status: 0 on success, 1 when an input cannot be read or converted or
an output cannot be written (one line on standard error names the file), 2
for a command line that does not parse, 130 when interrupted.
"""

import argparse
import json
import math
import os
import sys

from ._jobs import default_jobs
from ._ufo import UfoError

__all__ = ["main"]

EXIT_ERROR = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130

_DEMOTE_EXAMPLES = """\
examples:
  vellary demote Light.ufo Bold.ufo -o build/quadratic
      both masters to quadratic splines within 1 unit, compatibly
  vellary demote Light.ufo Bold.ufo -o build/tt --max-err 0.5 --reverse-direction --jobs 8
      within half a unit, contours reversed as TrueType draws them
"""
_PROMOTE_EXAMPLES = """\
examples:
  vellary promote Font-TT.ufo -o build/cubic
      quadratic splines merged into cubic (and quadratic) curves within 0.5 units
  vellary promote Font-TT.ufo -o build/cubic --all-cubic --max-err 1
"""
_MEASURE_EXAMPLES = """\
examples:
  vellary measure Font.ufo
      a table of every glyph's bounds, area and centroid
  vellary measure Font.ufo --json stats.json
      every figure, second moments of area included, as JSON
"""


def _positive(text):
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not (math.isfinite(value) and value > 0):
        raise argparse.ArgumentTypeError(f"must be a positive number, not {text}")
    return value


def _job_count(text):
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {value}")
    return value


def _parser():
    parser = argparse.ArgumentParser(
        prog="vellary", description="Convert and measure whole UFO font sources with vellary's native modules.")
    from .. import __version__
    parser.add_argument("--version", action="version", version=f"vellary {__version__}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    def common(p, jobs=True):
        if jobs:
            p.add_argument("-j", "--jobs", type=_job_count, default=None, metavar="N",
                           help=f"threads that convert glyphs (default: every core, here {default_jobs()})")
        loud = p.add_mutually_exclusive_group()
        loud.add_argument("-q", "--quiet", action="store_true", help="print nothing but errors")
        loud.add_argument("-v", "--verbose", action="store_true",
                          help="name every glyph reported and time each stage")
        p.add_argument("--no-progress", dest="progress", action="store_false",
                       help="no progress bar (there is none anyway when standard error is not a terminal)")

    fmt = argparse.RawDescriptionHelpFormatter
    d = commands.add_parser(
        "demote", help="cubic curves to quadratic splines, compatibly across masters", epilog=_DEMOTE_EXAMPLES,
        formatter_class=fmt, description=(
            "Convert every cubic curve of the default layer of each master to a quadratic spline within the "
            "maximum error.  A glyph whose contours have the same structure in every master gets the same "
            "number of quadratic segments per curve in all of them; a glyph that differs is converted master "
            "by master and reported.  The converted masters are written into OUTDIR under their own names; "
            "everything but the converted contours is copied unchanged."))
    d.add_argument("masters", nargs="+", metavar="MASTER.ufo", help="the masters of one design space")
    d.add_argument("-o", "--output", required=True, metavar="OUTDIR", help="folder to write the converted fonts into")
    d.add_argument("--max-err", type=_positive, default=1.0, metavar="UNITS",
                   help="largest distance allowed between a cubic and its spline, in font units (default: 1.0)")
    d.add_argument("--reverse-direction", action="store_true",
                   help="reverse every contour, as TrueType outlines run the other way round")
    d.add_argument("--allow-missing", action="store_true",
                   help="convert glyphs that some masters lack on their own instead of stopping")
    d.add_argument("--force", action="store_true", help="convert a font that this tool has converted before")
    common(d)

    p = commands.add_parser(
        "promote", help="quadratic splines to cubic curves", epilog=_PROMOTE_EXAMPLES, formatter_class=fmt,
        description=("Merge the quadratic splines of the default layer into as few cubic (and quadratic) curves "
                     "as the maximum error allows, and write the font into OUTDIR under its own name."))
    p.add_argument("source", metavar="SOURCE.ufo")
    p.add_argument("-o", "--output", required=True, metavar="OUTDIR", help="folder to write the converted font into")
    p.add_argument("--max-err", type=_positive, default=0.5, metavar="UNITS",
                   help="largest distance allowed from the quadratic splines, in font units (default: 0.5)")
    p.add_argument("--all-cubic", action="store_true", help="only cubic curves, no quadratic ones")
    p.add_argument("--reverse-direction", action="store_true", help="reverse every contour")
    p.add_argument("--force", action="store_true", help="convert a font that this tool has converted before")
    common(p)

    m = commands.add_parser(
        "measure", help="bounds, area, centroid and second moments of every glyph", epilog=_MEASURE_EXAMPLES,
        formatter_class=fmt, description=(
            "Measure every glyph of the default layer, components included: its bounding box, its signed area "
            "(positive for counter-clockwise outer contours), the centroid and the second moments of area "
            "(integrals of x*x, x*y and y*y over the area).  Open contours count in the bounds only."))
    m.add_argument("source", metavar="SOURCE.ufo")
    m.add_argument("--json", metavar="FILE", help="write every figure as JSON to FILE ('-' for standard output)")
    common(m)
    return parser


class _Reporter:
    def __init__(self, args):
        self.quiet, self.verbose = args.quiet, args.verbose
        self.show_progress = args.progress and not args.quiet and sys.stderr.isatty()
        self._bar = None

    def progress(self, total, label):
        """A new bar (closing the one before); its update method, or None."""
        if not self.show_progress:
            return None
        from tqdm import tqdm

        self.close()
        unit = " files" if label == "writing" else " glyphs"
        self._bar = tqdm(total=total, desc=label, unit=unit, file=sys.stderr, leave=False, dynamic_ncols=True)
        return self._bar.update

    def close(self):
        if self._bar is not None:
            self._bar.close()
            self._bar = None

    def say(self, text=""):
        if not self.quiet:
            print(text)

    def warn(self, text):
        if not self.quiet:
            print(f"vellary: warning: {text}", file=sys.stderr)


def _list(names, verbose, limit=8):
    if verbose or len(names) <= limit:
        return ", ".join(names)
    return ", ".join(names[:limit]) + f" and {len(names) - limit} more"


def _summary(r, stats, direction):
    kind_before, kind_after = ("cubic curves", "quadratic segments") if direction == "demote" else (
        "quadratic segments", "curves")
    r.say(f"{stats.glyphs} glyphs in {len(stats.fonts)} font{'s' * (len(stats.fonts) > 1)}: "
          f"{stats.files} glyph files, {stats.rewritten} rewritten")
    after = f"{stats.segments} {kind_after}"
    if direction == "promote":
        after += f" ({stats.cubics} cubic)"
    r.say(f"{stats.curves} {kind_before} -> {after}; points {stats.points_before} -> {stats.points_after}")
    if direction == "demote" and stats.curves:
        r.say(f"largest error {stats.max_error:.4g} units (measured at the quarter points of each segment)")
    for out in stats.outputs:
        r.say(f"written: {out}")
    r.say(f"{stats.wall:.2f} s on {stats.jobs} thread{'s' * (stats.jobs > 1)}")
    if r.verbose:
        r.say(f"  CPU time: reading {stats.read:.3f} s, converting {stats.convert:.3f} s, "
              f"checking {stats.check:.3f} s, encoding {stats.encode:.3f} s; writing {stats.write:.3f} s")


def _demote(args, r):
    from ._jobs import demote

    try:
        stats = demote(args.masters, args.output, args.max_err, args.jobs, args.reverse_direction, args.force,
                       args.allow_missing, r.progress)
    finally:
        r.close()
    if stats.incompatible:
        r.warn(f"{len(stats.incompatible)} glyphs differ in contour structure between the masters and were "
               f"converted master by master: {_list(stats.incompatible, r.verbose)}")
    if stats.sparse:
        r.warn(f"{len(stats.sparse)} glyphs are missing from some masters and were converted where they are: "
               f"{_list(stats.sparse, r.verbose)}")
    _summary(r, stats, "demote")
    return 0


def _promote(args, r):
    from ._jobs import promote

    try:
        stats = promote(args.source, args.output, args.max_err, args.all_cubic, args.jobs, args.reverse_direction,
                        args.force, r.progress)
    finally:
        r.close()
    _summary(r, stats, "promote")
    return 0


def _fmt(v):
    return "-" if v is None else f"{v:.6g}"


def _measure(args, r):
    from ._jobs import measure

    try:
        records, warnings = measure(args.source, args.jobs, r.progress)
    finally:
        r.close()
    for w in warnings:
        r.warn(w)
    if args.json:
        text = json.dumps({"font": args.source, "glyphs": records}, indent=1) + "\n"
        if args.json == "-":
            sys.stdout.write(text)
            return 0
        try:
            with open(args.json, "w", encoding="utf-8") as f:
                f.write(text)
        except OSError as e:
            raise UfoError(args.json, e.strerror or str(e)) from None
        r.say(f"{len(records)} glyphs measured: {args.json}")
        return 0
    head = ("glyph", "xMin", "yMin", "xMax", "yMax", "area", "centroidX", "centroidY", "Ixx", "Ixy", "Iyy")
    rows = [head]
    for rec in records:
        box = rec["bounds"] or [None] * 4
        c = rec["centroid"] or [None, None]
        rows.append((rec["glyph"], *map(_fmt, box), _fmt(rec["area"]), *map(_fmt, c),
                     _fmt(rec["momentXX"]), _fmt(rec["momentXY"]), _fmt(rec["momentYY"])))
    widths = [max(len(row[i]) for row in rows) for i in range(len(head))]
    for row in rows:
        print("  ".join(cell.ljust(w) if i == 0 else cell.rjust(w) for i, (cell, w) in enumerate(zip(row, widths))))
    return 0


def main(argv=None):
    """Run the command line `argv` (default: the process's arguments) and
    return the exit status."""
    try:
        args = _parser().parse_args(argv)
    except SystemExit as e:  # --help, --version, or a command line that does not parse
        return e.code
    r = _Reporter(args)
    run = {"demote": _demote, "promote": _promote, "measure": _measure}[args.command]
    try:
        return run(args, r)
    except UfoError as e:
        print(f"vellary: error: {e}", file=sys.stderr)
        return EXIT_ERROR
    except KeyboardInterrupt:
        print("vellary: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    except BrokenPipeError:
        # the reader of standard output went away: nothing left to say
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_ERROR
