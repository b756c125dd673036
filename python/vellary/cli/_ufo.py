"""Reading and writing UFO font sources (formats 2 and 3, `.glif` formats 1
and 2) with the standard library only.

A glyph is kept as the bytes of its file plus the parsed contours, each with
the byte span of its element.  Writing a glyph back replaces only the spans
of the contours that changed, so components, anchors, guidelines, notes,
images, identifiers and the glyph lib stay byte for byte as they were, and
so do the points of a rewritten contour that did not change.
"""

import collections
import math
import os
import plistlib
import re
import shutil
import tempfile
from xml.parsers import expat

POINT_TYPES = ("move", "line", "offcurve", "curve", "qcurve")
ON_CURVE = frozenset(POINT_TYPES) - {"offcurve"}
GLIF_FORMATS = ("1", "2")
UFO_FORMATS = (2, 3)

# A start tag or an empty-element tag, attribute values quoted either way; the
# parser has already checked the file, so this only finds where a tag ends.
_TAG = re.compile(rb"""<[^\s/>]+(?:\s+[^\s=/>]+\s*=\s*(?:"[^"]*"|'[^']*'))*\s*/?>""")
_END_TAG = re.compile(rb"</[^>]*>")
_TYPE_ATTR = re.compile(rb"""(\stype\s*=\s*)(["'])[^"']*\2""")


class UfoError(Exception):
    """A user's font source that cannot be read or written: the message is
    one line that names the file (and the glyph and line where known)."""

    def __init__(self, path, message, line=None, glyph=None):
        where = f"{path}:{line}" if line else f"{path}"
        what = f"glyph {glyph!r}: {message}" if glyph is not None else message
        super().__init__(f"{where}: {what}")


def number(text, path, line, glyph, what):
    """A coordinate or transform value as UFO writes it: an integer or a
    finite decimal number."""
    try:
        return int(text)
    except ValueError:
        pass
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not math.isfinite(value):
        raise UfoError(path, f"{what} {text!r} is not a number", line, glyph)
    return value


def format_number(v):
    """The shortest text that reads back as the same value; integral values
    without a fraction, as font editors write them."""
    if isinstance(v, int):
        return str(v)
    if v.is_integer() and abs(v) < 2**53:
        return str(int(v))
    return repr(v)


class Point:
    """A point of a contour.  `raw` holds the bytes of the element it was
    read from (None for a point made by a conversion); only its type may
    change, which rewrites just that attribute."""

    __slots__ = ("x", "y", "type", "raw", "_raw_type", "line")

    def __init__(self, x, y, type="offcurve", raw=None, line=None):
        self.x, self.y, self.type, self.raw, self.line = x, y, type, raw, line
        self._raw_type = type

    @property
    def retyped(self):
        return self.type != self._raw_type

    @property
    def xy(self):
        return (self.x, self.y)

    def tobytes(self):
        if self.raw is not None:
            if self.type == self._raw_type:
                return self.raw
            if self._raw_type != "offcurve" and self.type != "offcurve":
                return _TYPE_ATTR.sub(lambda m: m.group(1) + b'"' + self.type.encode() + b'"', self.raw, count=1)
        attrs = f'x="{format_number(self.x)}" y="{format_number(self.y)}"'
        if self.type != "offcurve":
            # an on-curve point made by a conversion joins two curves smoothly
            attrs += f' type="{self.type}" smooth="yes"'
        return f"<point {attrs}/>".encode()


class Contour:
    """The points of one `<contour>` element and where it lies in the file:
    `start` and `end` bound the element, `inner` the text between its tags,
    `spans` each point's element."""

    __slots__ = ("points", "start", "end", "start_tag", "inner", "spans", "line")

    def __init__(self, start, start_tag, line):
        self.points, self.spans = [], []
        self.start, self.start_tag, self.line = start, start_tag, line
        self.end = self.inner = None

    def rewrite(self, data, points):
        """The element's new bytes with `points`, laid out as the original
        element was (its tags and the whitespace around its points)."""
        (i0, i1), spans = self.inner, self.spans
        head, tail = data[i0:spans[0][0]], data[spans[-1][1]:i1]
        gaps = collections.Counter(data[a[1]:b[0]] for a, b in zip(spans, spans[1:]))
        between = gaps.most_common(1)[0][0] if gaps else head
        return (data[self.start:i0] + head + between.join(p.tobytes() for p in points) + tail
                + data[i1:self.end])


class Component:
    __slots__ = ("base", "transform", "line")

    def __init__(self, base, transform, line):
        self.base, self.transform, self.line = base, transform, line


class Glyph:
    """A parsed `.glif` file: its bytes, contours and components."""

    __slots__ = ("name", "path", "data", "contours", "components")

    def __init__(self, name, path, data):
        self.name, self.path, self.data = name, path, data
        self.contours, self.components = [], []

    def tobytes(self, new_contours):
        """The file with each contour whose entry in `new_contours` is not
        None replaced by that list of points."""
        out, pos = [], 0
        for contour, points in zip(self.contours, new_contours):
            if points is None:
                continue
            out.append(self.data[pos:contour.start])
            out.append(contour.rewrite(self.data, points))
            pos = contour.end
        out.append(self.data[pos:])
        return b"".join(out)


_TRANSFORM = (("xScale", 1), ("xyScale", 0), ("yxScale", 0), ("yScale", 1), ("xOffset", 0), ("yOffset", 0))


def parse_glif(data, path, name):
    """Parse the bytes of a `.glif` file.  Raises UfoError for XML that is not
    well-formed and for what the format does not define."""
    glyph = Glyph(name, path, data)
    parser = expat.ParserCreate()
    stack = []
    contour = None

    def fail(message):
        raise UfoError(path, message, parser.CurrentLineNumber, name)

    match = _TAG.match
    kinds = POINT_TYPES

    def start(tag, attrs):
        nonlocal contour
        if tag == "point" and contour is not None and stack[-1] == "contour":
            # the bulk of a file: keep this path short
            stack.append(tag)
            kind = attrs.get("type", "offcurve")
            if kind not in kinds:
                fail(f"unknown point type {kind!r}")
            line = parser.CurrentLineNumber
            try:
                x, y = int(attrs["x"]), int(attrs["y"])
            except KeyError:
                fail("a point without x or y")
            except ValueError:
                x = number(attrs["x"], path, line, name, "x")
                y = number(attrs["y"], path, line, name, "y")
            at = parser.CurrentByteIndex
            raw = match(data, at).group()
            contour.points.append(Point(x, y, kind, raw, line))
            contour.spans.append((at, at + len(raw)))
            return
        parent = stack[-1] if stack else None
        stack.append(tag)
        if parent is None:
            if tag != "glyph":
                fail(f"the root element is <{tag}>, not <glyph>")
            if attrs.get("format", "1") not in GLIF_FORMATS:
                fail(f"unsupported glif format {attrs.get('format')!r}")
            return
        if parent == "glyph" and tag == "outline":
            return
        if parent == "outline" and tag == "contour":
            at = parser.CurrentByteIndex
            tag_bytes = _TAG.match(data, at).group()
            contour = Contour(at, tag_bytes, parser.CurrentLineNumber)
            if tag_bytes.endswith(b"/>"):
                contour.end = at + len(tag_bytes)
            contour.inner = (at + len(tag_bytes), None)
            glyph.contours.append(contour)
        elif parent == "outline" and tag == "component":
            line = parser.CurrentLineNumber
            if "base" not in attrs:
                fail("a component without a base glyph")
            transform = tuple(number(attrs[k], path, line, name, k) if k in attrs else d for k, d in _TRANSFORM)
            glyph.components.append(Component(attrs["base"], transform, line))
        elif parent in ("outline", "contour"):
            fail(f"unexpected <{tag}> in <{parent}>")

    def end(tag):
        nonlocal contour
        stack.pop()
        if tag == "point" and contour is not None and len(stack) == 3:
            raw = contour.points[-1].raw
            if not raw.endswith(b"/>"):  # <point ...></point>
                begin = contour.spans[-1][0]
                stop = _END_TAG.match(data, parser.CurrentByteIndex).end()
                contour.points[-1].raw = data[begin:stop]
                contour.spans[-1] = (begin, stop)
        if tag == "contour" and stack and stack[-1] == "outline":
            if contour.end is None:
                at = parser.CurrentByteIndex
                contour.end = _END_TAG.match(data, at).end()
                contour.inner = (contour.inner[0], at)
            contour = None

    parser.StartElementHandler = start
    parser.EndElementHandler = end
    try:
        parser.Parse(data, True)
    except expat.ExpatError as e:
        raise UfoError(path, f"not well-formed XML ({expat.ErrorString(e.code)})", e.lineno, name) from None
    return glyph


def read_plist(path, required=True):
    """The value of a property list file; None for a missing optional one."""
    try:
        with open(path, "rb") as f:
            return plistlib.load(f)
    except FileNotFoundError:
        if required:
            raise UfoError(path, "missing") from None
        return None
    except (plistlib.InvalidFileException, expat.ExpatError, ValueError, TypeError) as e:
        line = getattr(e, "lineno", None)
        raise UfoError(path, f"not a valid property list ({e})" if not line else
                       f"not a valid property list ({expat.ErrorString(e.code)})", line) from None
    except OSError as e:
        raise UfoError(path, e.strerror or str(e)) from None


class Font:
    """A UFO on disk: its format, its lib and the files of its default layer.
    Glyphs are read on demand, so that threads can read them at once."""

    def __init__(self, path):
        self.path = os.path.normpath(path)
        if not os.path.isdir(self.path):
            raise UfoError(self.path, "no such UFO folder" if not os.path.exists(self.path) else "not a folder")
        meta = read_plist(os.path.join(self.path, "metainfo.plist"))
        version = meta.get("formatVersion") if isinstance(meta, dict) else None
        if version not in UFO_FORMATS:
            raise UfoError(os.path.join(self.path, "metainfo.plist"), f"unsupported UFO format version {version!r}")
        self.format = version
        self.glyphs_dir = os.path.join(self.path, "glyphs")
        if version >= 3:
            layers = read_plist(os.path.join(self.path, "layercontents.plist"))
            if not isinstance(layers, list) or not all(isinstance(x, list) and len(x) == 2 for x in layers):
                raise UfoError(os.path.join(self.path, "layercontents.plist"), "not a list of layer names and folders")
            if "glyphs" not in [folder for _, folder in layers]:
                raise UfoError(os.path.join(self.path, "layercontents.plist"), "no default layer (folder 'glyphs')")
        contents_path = os.path.join(self.glyphs_dir, "contents.plist")
        contents = read_plist(contents_path)
        if not isinstance(contents, dict) or not all(isinstance(v, str) for v in contents.values()):
            raise UfoError(contents_path, "not a dictionary of glyph names and file names")
        for name, file in contents.items():
            if os.path.basename(file) != file or file in ("", ".", ".."):
                raise UfoError(contents_path, f"file name {file!r} of glyph {name!r} is not a plain file name")
        self.contents = contents
        self.lib_path = os.path.join(self.path, "lib.plist")
        lib = read_plist(self.lib_path, required=False)
        if lib is not None and not isinstance(lib, dict):
            raise UfoError(self.lib_path, "not a dictionary")
        self.lib = lib if lib is not None else {}

    @property
    def name(self):
        return os.path.basename(self.path)

    def glyph_path(self, name):
        return os.path.join(self.glyphs_dir, self.contents[name])

    def read_glyph(self, name):
        path = self.glyph_path(name)
        try:
            with open(path, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            raise UfoError(path, "missing (listed in contents.plist)", glyph=name) from None
        except OSError as e:
            raise UfoError(path, e.strerror or str(e), glyph=name) from None
        return parse_glif(data, path, name)


def lib_with(path, key, value, remove=()):
    """The bytes of the lib property list at `path` with `key` set to
    `value` and the keys `remove` deleted.  The new entry is spliced into
    the original text where that is enough, so the rest stays as it was;
    otherwise the whole list is written anew."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        data = None
    lib = plistlib.loads(data) if data is not None else {}
    expected = {k: v for k, v in lib.items() if k not in remove and k != key}
    expected[key] = value
    if data is not None and key not in lib and not any(k in lib for k in remove):
        entry = plistlib.dumps({key: value})
        entry = entry[entry.index(b"<dict>") + len(b"<dict>"):entry.rindex(b"</dict>")].strip(b"\n")
        at = data.rfind(b"</dict>")
        if at >= 0:
            spliced = data[:at] + entry + b"\n" + data[at:]
            try:
                if plistlib.loads(spliced) == expected:
                    return spliced
            except Exception:
                pass
    return plistlib.dumps(expected, sort_keys=False)


def write_fonts(jobs, progress=None):
    """Write each font of `jobs`, a list of (source Font, output path, {file
    name in glyphs/: bytes}, lib bytes), as a copy of the source with those
    files replaced.  Each is built in a temporary folder beside its output
    and renamed into place at the end, replacing an older output.
    `progress` is called for each file written."""
    for font, out, glyph_files, lib_bytes in jobs:
        parent = os.path.dirname(out) or "."
        try:
            os.makedirs(parent, exist_ok=True)
            tmp = tempfile.mkdtemp(prefix="." + os.path.basename(out) + ".", suffix=".tmp", dir=parent)
        except OSError as e:
            raise UfoError(getattr(e, "filename", None) or parent, e.strerror or str(e)) from None
        old = None
        try:
            work = os.path.join(tmp, "font")
            _copy_tree(font.path, work, {os.path.join(font.glyphs_dir, f): d for f, d in glyph_files.items()}
                       | {font.lib_path: lib_bytes}, progress)
            if os.path.lexists(out):
                old = os.path.join(tmp, "old")
                os.rename(out, old)
            os.rename(work, out)
        except OSError as e:
            if old is not None and not os.path.lexists(out):
                os.rename(old, out)
            raise UfoError(getattr(e, "filename", None) or out, e.strerror or str(e)) from None
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


def _copy_tree(src, dst, replaced, progress=None):
    """Copy the folder `src` to `dst`, writing the bytes of `replaced` (path
    in src: bytes) instead of those files, and creating those missing."""
    os.mkdir(dst)
    pending = dict(replaced)
    for entry in os.scandir(src):
        target = os.path.join(dst, entry.name)
        data = pending.pop(entry.path, None)
        if data is not None:
            with open(target, "wb") as f:
                f.write(data)
        elif entry.is_dir(follow_symlinks=False):
            _copy_tree(entry.path, target, {k: v for k, v in pending.items() if k.startswith(entry.path + os.sep)},
                       progress)
            pending = {k: v for k, v in pending.items() if not k.startswith(entry.path + os.sep)}
        elif entry.is_symlink():
            os.symlink(os.readlink(entry.path), target)
        else:
            shutil.copyfile(entry.path, target)
        if progress is not None and not entry.is_dir(follow_symlinks=False):
            progress()
    for path, data in pending.items():
        if os.path.dirname(path) == src:
            with open(os.path.join(dst, os.path.basename(path)), "wb") as f:
                f.write(data)
