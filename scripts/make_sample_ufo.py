"""Writes the sample UFO masters the repository ships: a few dozen glyphs of
both corpus masters, every file of each font kept, the glyph set and the
data that names glyphs cut down to the chosen glyphs.

    python scripts/make_sample_ufo.py CORPUS_UFO_DIR OUT_DIR
"""
import plistlib
import shutil
import sys
from pathlib import Path

GLYPHS = """
A B C D O Q R S a b e g n o s zero one two eight ampersand dollar at
period comma space Aacute aacute Adieresis eacute ecircumflex i dotlessi
acutecmb acutecmb.cap circumflexcmb dieresiscmb.cap dotaccentcmb gravecmb L Aogonek Eogonek Astroke Lslash that OO.sc
A.sc O.sc f f_f fi
""".split()


def cut(src: Path, dst: Path, keep: set) -> None:
    if dst.exists():
        shutil.rmtree(dst)
    shutil.copytree(src, dst, ignore=shutil.ignore_patterns("glyphs"))
    (dst / "glyphs").mkdir()
    with open(src / "glyphs" / "contents.plist", "rb") as f:
        contents = plistlib.load(f)
    kept = {name: file for name, file in contents.items() if name in keep}
    for file in kept.values():
        shutil.copy2(src / "glyphs" / file, dst / "glyphs" / file)
    with open(dst / "glyphs" / "contents.plist", "wb") as f:
        plistlib.dump(kept, f)
    groups = {}
    if (src / "groups.plist").exists():
        with open(src / "groups.plist", "rb") as f:
            groups = plistlib.load(f)
        groups = {k: [g for g in v if g in keep] for k, v in groups.items()}
        groups = {k: v for k, v in groups.items() if v}
        with open(dst / "groups.plist", "wb") as f:
            plistlib.dump(groups, f)
    if (src / "kerning.plist").exists():
        with open(src / "kerning.plist", "rb") as f:
            kerning = plistlib.load(f)
        ok = lambda n: n in keep or n in groups
        kerning = {a: {b: v for b, v in row.items() if ok(b)} for a, row in kerning.items() if ok(a)}
        kerning = {a: row for a, row in kerning.items() if row}
        with open(dst / "kerning.plist", "wb") as f:
            plistlib.dump(kerning, f)
    lib_path = dst / "lib.plist"
    if lib_path.exists():
        with open(lib_path, "rb") as f:
            lib = plistlib.load(f)
        for key in ("public.glyphOrder", "public.skipExportGlyphs"):
            if key in lib:
                lib[key] = [g for g in lib[key] if g in keep]
        if "public.postscriptNames" in lib:
            lib["public.postscriptNames"] = {k: v for k, v in lib["public.postscriptNames"].items() if k in keep}
        with open(lib_path, "wb") as f:
            plistlib.dump(lib, f)
    # The features name glyphs and classes of the whole font.
    fea = dst / "features.fea"
    if fea.exists():
        fea.write_text("# The sample's features are those of the whole font; not shipped.\n")


def main() -> None:
    src, out = Path(sys.argv[1]), Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    for ufo in sorted(src.glob("*.ufo")):
        cut(ufo, out / ufo.name, set(GLYPHS))
    licence = src.parent / "LICENSE.md"
    if licence.exists():
        shutil.copy2(licence, out / "LICENSE.md")


if __name__ == "__main__":
    main()
