"""Real glyph outlines as the demonstration, the benchmarks and the tests
take them: cubic runs to convert, closed contours to draw.

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


def closed_contour(contour):
    """One closed contour as (start, segments): its first on-curve point, and
    from there round to it again each segment as the tuple of its points
    after its start (one for a line, three for a cubic).  None for an anchor
    (a "move" point) or a contour of off-curve points only."""
    if contour[0][2] == "move":
        return None
    first = next((i for i, p in enumerate(contour) if p[2] != "offcurve"), None)
    if first is None:
        return None
    pts = contour[first:] + contour[:first]
    segments, pending = [], []
    for x, y, kind in pts[1:] + pts[:1]:
        pending.append((x, y))
        if kind != "offcurve":
            segments.append(tuple(pending))
            pending = []
    return (pts[0][0], pts[0][1]), segments


def cubic_runs(path, master="SourceSans_ExtraLight.ufo"):
    """(glyph name, runs of its contours) for every glyph of one master."""
    with open(path) as f:
        glyphs = json.load(f)["masters"][master]
    return [(name, [run for contour in glyphs[name] for run in contour_cubic_runs(contour)])
            for name in sorted(glyphs)]
