"""Cubic runs of real glyph outlines: what the demonstration and the
benchmark convert.

An outline file holds masters of glyphs, each glyph a list of contours, each
contour a list of ``[x, y, type]`` points in UFO order (types ``move``,
``line``, ``curve``, ``qcurve``, ``offcurve``).
"""

import json


def contour_cubic_runs(contour):
    """The runs of consecutive cubic segments of one closed contour, each a
    list of four-point cubics, each cubic starting where the previous ended."""
    starts = [k for k, p in enumerate(contour) if p[2] != "offcurve"]
    if not starts:
        return []
    k = starts[0]
    start, pending, run, runs = tuple(contour[k][:2]), [], [], []
    for x, y, kind in contour[k + 1:] + contour[:k + 1]:
        if kind == "offcurve":
            pending.append((x, y))
            continue
        if kind == "curve" and len(pending) == 2:
            run.append([start, *pending, (x, y)])
        elif run:
            runs.append(run)
            run = []
        pending, start = [], (x, y)
    if run:
        runs.append(run)
    return runs


def cubic_runs(path, master="SourceSans_ExtraLight.ufo"):
    """(glyph name, runs of its contours) for every glyph of one master."""
    with open(path) as f:
        glyphs = json.load(f)["masters"][master]
    return [(name, [run for contour in glyphs[name] for run in contour_cubic_runs(contour)])
            for name in sorted(glyphs)]
