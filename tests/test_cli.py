"""The `vellary` command on the sample masters: conversions that keep
everything but the contours, compatibly and identically for any number of
threads, and a one-line error with nothing written for each bad input."""

import json
import math
import pathlib
import plistlib
import re
import shutil
import subprocess
import sys

import pytest

from vellary.cli import main
from vellary.cli._ufo import Font, parse_glif

pytestmark = pytest.mark.thread_unsafe(reason="writes fonts and reads the process's output")

SAMPLE = pathlib.Path(__file__).resolve().parent / "data" / "ufo"
MASTERS = [str(SAMPLE / "SourceSans3-ExtraLight.ufo"), str(SAMPLE / "SourceSans3-Black.ufo")]
CONTOUR = re.compile(rb"<contour\b.*?</contour>", re.S)


def run(*args):
    return main([str(a) for a in args])


@pytest.fixture(scope="module")
def demoted(tmp_path_factory):
    out = tmp_path_factory.mktemp("demoted")
    assert run("demote", *MASTERS, "-o", out, "-q", "-j", "1") == 0
    return out


@pytest.fixture(scope="module")
def promoted(demoted, tmp_path_factory):
    out = tmp_path_factory.mktemp("promoted")
    for master in MASTERS:
        assert run("promote", demoted / pathlib.Path(master).name, "-o", out, "-q") == 0
    return out


def files(root):
    return {p.relative_to(root): p.read_bytes() for p in sorted(pathlib.Path(root).rglob("*")) if p.is_file()}


def glyphs(ufo):
    font = Font(str(ufo))
    return {name: font.read_glyph(name) for name in font.contents}


def test_everything_but_the_contours_is_kept(demoted):
    for master in MASTERS:
        before, after = files(master), files(demoted / pathlib.Path(master).name)
        assert before.keys() == after.keys()
        for path, data in before.items():
            if path.name == "lib.plist":
                # the mark spliced in before the end: the rest of the text as it was
                assert after[path].startswith(data[:data.rfind(b"</dict>")]), path
                lib = plistlib.loads(after[path])
                assert lib.pop("com.github.vellary.demote")["maxError"] == 1.0
                assert lib == plistlib.loads(data)
            elif CONTOUR.search(data):
                assert CONTOUR.sub(b"", after[path]) == CONTOUR.sub(b"", data), path
                assert len(CONTOUR.findall(after[path])) == len(CONTOUR.findall(data)), path
                assert b'type="curve"' not in after[path]
            else:
                assert after[path] == data, path


def test_compatible_masters_get_the_same_segments(demoted):
    a, b = (glyphs(m) for m in MASTERS)
    qa, qb = (glyphs(demoted / pathlib.Path(m).name) for m in MASTERS)
    different = set()
    for name in a:
        types = [[[p.type for p in c.points] for c in g[name].contours] for g in (a, b, qa, qb)]
        if types[0] == types[1]:
            assert types[2] == types[3], name
        else:
            different.add(name)
    assert different == {"that", "OO.sc"}  # as the corpus describes its masters


def test_output_is_the_same_for_any_number_of_threads(demoted, tmp_path):
    assert run("demote", *MASTERS, "-o", tmp_path, "-q", "-j", "4") == 0
    assert files(tmp_path) == files(demoted)


def _samples(contours, per_segment):
    """Points along each contour (UFO point lists), the implied on-curve
    points of quadratic splines included."""
    out = []
    for c in contours:
        pts = [(p.x, p.y, p.type) for p in c.points]
        first = next(k for k, p in enumerate(pts) if p[2] != "offcurve")
        pts = pts[first:] + pts[:first + 1]
        prev, offs = pts[0][:2], []
        for x, y, kind in pts[1:]:
            if kind == "offcurve":
                offs.append((x, y))
                continue
            if kind == "curve":
                segs = [[prev, *offs, (x, y)]]
            else:
                ons = [prev] + [((a[0] + b[0]) / 2, (a[1] + b[1]) / 2) for a, b in zip(offs, offs[1:])] + [(x, y)]
                segs = [[ons[i], offs[i], ons[i + 1]] for i in range(len(offs))] or [[prev, (x, y)]]
            for seg in segs:
                n = len(seg) - 1
                for k in range(per_segment):
                    t = k / per_segment
                    out.append(tuple(sum(math.comb(n, i) * (1 - t) ** (n - i) * t ** i * p[j]
                                         for i, p in enumerate(seg)) for j in (0, 1)))
            prev, offs = (x, y), []
    return out


def _distance_to_polyline(p, line):
    best = math.inf
    for (ax, ay), (bx, by) in zip(line, line[1:] + line[:1]):
        dx, dy = bx - ax, by - ay
        t = 0.0 if dx == dy == 0 else max(0.0, min(1.0, ((p[0] - ax) * dx + (p[1] - ay) * dy) / (dx * dx + dy * dy)))
        best = min(best, math.hypot(p[0] - ax - t * dx, p[1] - ay - t * dy))
    return best


@pytest.mark.parametrize("name", ["S", "g", "at", "ampersand"])
def test_demote_then_promote_stays_within_both_errors(promoted, name):
    for master in MASTERS:
        original = glyphs(master)[name].contours
        back = glyphs(promoted / pathlib.Path(master).name)[name].contours
        assert len(back) == len(original)
        for c0, c1 in zip(original, back):
            # same contour, same start, drawn the same way
            assert (c0.points[0].x, c0.points[0].y) == (c1.points[0].x, c1.points[0].y)
            line = _samples([c0], 24)
            assert max(_distance_to_polyline(p, line) for p in _samples([c1], 5)) <= 1.5 + 0.05


def test_measure_sees_the_same_glyphs_after_conversion(demoted, tmp_path):
    reports = []
    for ufo, extra in [(MASTERS[1], []), (demoted / "SourceSans3-Black.ufo", [])]:
        out = tmp_path / f"{len(reports)}.json"
        assert run("measure", ufo, "--json", out, "-q", *extra) == 0
        reports.append({g["glyph"]: g for g in json.loads(out.read_text())["glyphs"]})
    reversed_dir = tmp_path / "reversed"
    assert run("demote", *MASTERS, "-o", reversed_dir, "-q", "--reverse-direction") == 0
    assert run("measure", reversed_dir / "SourceSans3-Black.ufo", "--json", tmp_path / "r.json", "-q") == 0
    reports.append({g["glyph"]: g for g in json.loads((tmp_path / "r.json").read_text())["glyphs"]})
    cubic, quadratic, backwards = reports
    assert cubic["space"]["bounds"] is None and cubic["space"]["area"] == 0
    # a composite measures its components: Aacute is A and an accent above it
    assert cubic["Aacute"]["area"] > cubic["A"]["area"] > 0
    assert cubic["Aacute"]["bounds"][:3] == cubic["A"]["bounds"][:3]
    for name, m in cubic.items():
        if m["bounds"] is None:
            continue
        for other, sign in ((quadratic[name], 1), (backwards[name], -1)):
            assert all(abs(a - b) <= 1.0 for a, b in zip(m["bounds"], other["bounds"])), name
            assert other["area"] == pytest.approx(sign * m["area"], rel=5e-3, abs=5), name
            assert other["centroid"] == pytest.approx(m["centroid"], abs=1.0), name


def test_a_converted_font_is_converted_again_only_when_forced(demoted, tmp_path, capsys):
    again = [demoted / pathlib.Path(m).name for m in MASTERS]
    assert run("demote", *again, "-o", tmp_path / "x") == 1
    err = capsys.readouterr().err
    assert "already converted" in err and "--force" in err and not (tmp_path / "x").exists()
    assert run("demote", *again, "-o", tmp_path / "x", "--force", "-q") == 0


def _broken_copy(tmp_path, edit):
    """Both masters copied into tmp_path/in, the ExtraLight one edited."""
    paths = []
    for master in MASTERS:
        dst = tmp_path / "in" / pathlib.Path(master).name
        shutil.copytree(master, dst)
        paths.append(dst)
    edit(paths[0])
    return paths


def _edit_glif(name, old, new):
    def edit(ufo):
        path = ufo / "glyphs" / name
        path.write_bytes(path.read_bytes().replace(old, new, 1))
    return edit


def _drop_glyph(ufo):
    path = ufo / "glyphs" / "contents.plist"
    contents = plistlib.loads(path.read_bytes())
    del contents["zero"]
    path.write_bytes(plistlib.dumps(contents))


BAD_INPUTS = {
    "not-well-formed": (_edit_glif("S_.glif", b"</contour>", b"</contur>"),
                        r"S_\.glif:\d+: glyph 'S': not well-formed XML \(mismatched tag\)"),
    "unknown-point-type": (_edit_glif("o.glif", b'type="curve"', b'type="cruve"'),
                           r"o\.glif:\d+: glyph 'o': unknown point type 'cruve'"),
    "three-controls": (_edit_glif("o.glif", b"<point", b'<point x="1" y="2"/><point', ),
                       r"o\.glif:\d+: glyph 'o': a curve point after 3 off-curve points"),
    "not-a-number": (_edit_glif("e.glif", b'<point x="', b'<point x="1e999'), r"e\.glif:\d+: glyph 'e': x '1e999\d*' is not a number"),
    "missing-glyph": (_drop_glyph, r"ExtraLight\.ufo: glyph 'zero' is missing, which SourceSans3-Black\.ufo has"),
    "bad-plist": (lambda ufo: (ufo / "glyphs" / "contents.plist").write_text("<plist><dict>"),
                  r"contents\.plist:\d+: not a valid property list"),
    "no-metainfo": (lambda ufo: (ufo / "metainfo.plist").unlink(), r"metainfo\.plist: missing"),
    "missing-glif": (lambda ufo: (ufo / "glyphs" / "n.glif").unlink(), r"n\.glif: glyph 'n': missing"),
    "not-a-ufo": (lambda ufo: shutil.rmtree(ufo), r"ExtraLight\.ufo: no such UFO folder"),
}


@pytest.mark.parametrize("case", BAD_INPUTS)
def test_bad_input_is_one_line_and_writes_nothing(tmp_path, capsys, case):
    edit, message = BAD_INPUTS[case]
    paths = _broken_copy(tmp_path, edit)
    assert run("demote", *paths, "-o", tmp_path / "out") == 1
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and err.startswith("vellary: error: ") and "Traceback" not in err
    assert re.search(message, err), err
    assert not (tmp_path / "out").exists() or not any((tmp_path / "out").iterdir())


def test_output_folder_must_not_be_the_input(tmp_path, capsys):
    paths = _broken_copy(tmp_path, lambda ufo: None)
    before = files(tmp_path)
    for out in (tmp_path / "in", paths[0], paths[0] / "glyphs"):
        assert run("demote", *paths, "-o", out) == 1
        assert "the output folder" in capsys.readouterr().err
    assert files(tmp_path) == before


def test_glif_details_survive_a_rewrite(tmp_path):
    """Leading off-curve points, open contours, quadratic and off-curve-only
    contours, point attributes and the long form of empty elements."""
    glif = b"""<?xml version="1.0" encoding="UTF-8"?>
<glyph name="x" format="2">
  <outline>
    <contour identifier="c1">
      <point x="10" y="100"/><point x="0" y="50"></point>
      <point x="50" y="0" type="curve" name="bottom" smooth="yes"/>
      <point x="90" y="0"/>
      <point x="100" y="50"/>
      <point x="100" y="100" type='curve'/>
    </contour>
    <component base="o" xOffset="5"/>
    <contour><point x="0" y="0" type="move"/><point x="10" y="0" type="line"/>
      <point x="20" y="20"/><point x="30" y="30"/><point x="40" y="0" type="curve"/></contour>
    <contour><point x="0" y="0"/><point x="0" y="10"/><point x="10" y="10"/><point x="10" y="0"/></contour>
  </outline>
</glyph>
"""
    ufo = _broken_copy(tmp_path, lambda ufo: None)[1]
    (ufo / "glyphs" / "o.glif").write_bytes(glif)
    assert run("demote", ufo, "-o", tmp_path / "q", "-q", "--reverse-direction") == 0
    assert run("promote", tmp_path / "q" / ufo.name, "-o", tmp_path / "c", "-q", "--reverse-direction") == 0
    for folder in ("q", "c"):
        data = (tmp_path / folder / ufo.name / "glyphs" / "o.glif").read_bytes()
        g = parse_glif(data, "o.glif", "o")
        assert [len(c.points) > 0 for c in g.contours] == [True] * 3
        assert b'<contour identifier="c1">' in data and b'name="bottom" smooth="yes"' in data
        assert b'<component base="o" xOffset="5"/>' in data
        # a quadratic contour without on-curve points, kept as it was
        assert [p.type for p in g.contours[2].points] == ["offcurve"] * 4
        # an open contour reversed starts at its other end
        assert g.contours[1].points[0].type == "move" and g.contours[1].points[0].xy == {"q": (40, 0), "c": (0, 0)}[folder]
    back = parse_glif((tmp_path / "c" / ufo.name / "glyphs" / "o.glif").read_bytes(), "o.glif", "o")
    open_contour = [(p.x, p.y, p.type) for p in back.contours[1].points]
    assert open_contour[:2] == [(0, 0, "move"), (10, 0, "line")] and open_contour[-1][:2] == (40, 0)
    # the closed contour keeps its first on-curve point after its two leading off-curve points
    assert [p.type for p in back.contours[0].points][:3] == ["offcurve", "offcurve", "qcurve"]


def test_command_line(tmp_path, capsys):
    assert run("demote", "--help") == 0 and "examples:" in capsys.readouterr().out
    assert run("demote", *MASTERS) == 2  # no -o
    assert run("demote", *MASTERS, "-o", tmp_path, "--max-err", "0") == 2
    assert "must be a positive number" in capsys.readouterr().err
    assert run("measure", MASTERS[0]) == 0
    table = capsys.readouterr().out.splitlines()
    assert table[0].split()[:2] == ["glyph", "xMin"] and len(table) == 51
    done = subprocess.run([sys.executable, "-m", "vellary", "promote", MASTERS[0], "-o", tmp_path],
                          capture_output=True, text=True)
    # not a terminal: no progress bar; the summary on standard output
    assert done.returncode == 0 and done.stderr == "" and "quadratic segments -> 0 curves" in done.stdout


def test_demo_converts_whole_fonts_and_draws_them(tmp_path, capsys):
    import importlib.util
    from xml.etree import ElementTree

    spec = importlib.util.spec_from_file_location("demo", SAMPLE.parent.parent.parent / "scripts" / "demo.py")
    demo = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(demo)
    sheet = demo.whole_font(tmp_path, SAMPLE)
    assert "50 glyphs in 2 fonts: 100 glyph files" in capsys.readouterr().out
    glyph_paths = [p for p in ElementTree.parse(sheet).getroot().iter("{http://www.w3.org/2000/svg}path")]
    assert len(glyph_paths) == 4 * len(demo.SHEET_GLYPHS)
    assert sorted(p.name for p in (tmp_path / "fonts").iterdir()) == sorted(pathlib.Path(m).name for m in MASTERS)
