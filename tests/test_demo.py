"""The demonstration draws every converted curve as well-formed SVG."""

import importlib.util
import pathlib
import re
from xml.etree import ElementTree

import pytest

DEMO = pathlib.Path(__file__).resolve().parent.parent / "scripts" / "demo.py"
SVG = "{http://www.w3.org/2000/svg}"


@pytest.mark.thread_unsafe(reason="prints and writes files")
def test_demo_pictures(tmp_path, capsys):
    spec = importlib.util.spec_from_file_location("demo", DEMO)
    demo = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(demo)
    drawn = demo.main(tmp_path)
    assert sorted(drawn) == sorted(tmp_path.glob("*.svg")) and len(drawn) == 4
    out = capsys.readouterr().out
    assert "Pictures of the conversions" in out
    # Each round trip ends within the two conversions' errors of where it began.
    trips = re.findall(r"(\d+) cubics -> (\d+) quadratics -> (\d+) curves \((\d+) cubic\), "
                       r"tolerance (\S+), largest distance (\S+)", out)
    assert "a random cubic: 1 cubics ->" in out and len(trips) == out.count("largest distance") >= 1
    for cubics, quadratics, curves, merged, tolerance, distance in trips:
        assert int(quadratics) >= int(cubics) and int(merged) <= int(curves) <= int(quadratics)
        assert 0 <= float(distance) <= 2 * float(tolerance)
    for path in drawn:
        root = ElementTree.parse(path).getroot()
        paths = root.iter(SVG + "path")
        kinds = [p.get("class") for p in paths]
        # one path per curve: each cubic and each of their splines
        assert kinds.count("cubic") == kinds.count("spline") >= 1 and len(kinds) == 2 * kinds.count("cubic")
        off_curve = [c for c in root.iter(SVG + "circle") if c.get("fill") == "white"]
        quads = sum(len(re.findall("Q", p.get("d"))) for p in root.iter(SVG + "path") if p.get("class") == "spline")
        assert quads == len(off_curve), path.name
