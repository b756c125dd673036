"""A small SVG writer: just what the demonstration and the benchmark draw."""

from xml.sax.saxutils import escape, quoteattr


def number(v):
    """A coordinate as short as it can be written without losing precision."""
    text = f"{v:.6g}" if abs(v) >= 1e-4 or v == 0 else f"{v:.4e}"
    return text.removesuffix(".0") if "e" not in text else text


class Drawing:
    """An SVG document of a fixed size in pixels, built element by element.

    Attribute names are given as keywords; an underscore stands for a hyphen
    (``stroke_width`` becomes ``stroke-width``), except after ``xlink``
    (``xlink_href`` becomes ``xlink:href``).  Numbers are written with
    `number`.
    """

    def __init__(self, width, height, title=None):
        self.width, self.height = width, height
        self._parts = []
        self._depth = 1
        if title:
            self._line(f"<title>{escape(title)}</title>")

    def _line(self, text):
        self._parts.append("  " * self._depth + text)

    @staticmethod
    def _attrs(attrs):
        out = []
        for key, value in attrs.items():
            if value is None:
                continue
            if isinstance(value, (int, float)) and not isinstance(value, bool):
                value = number(value)
            name = key.rstrip("_").replace("xlink_", "xlink:").replace("_", "-")
            out.append(f" {name}={quoteattr(str(value))}")
        return "".join(out)

    def element(self, tag, text=None, **attrs):
        if text is None:
            self._line(f"<{tag}{self._attrs(attrs)}/>")
        else:
            self._line(f"<{tag}{self._attrs(attrs)}>{escape(str(text))}</{tag}>")

    def begin(self, tag, **attrs):
        self._line(f"<{tag}{self._attrs(attrs)}>")
        self._depth += 1

    def end(self, tag):
        self._depth -= 1
        self._line(f"</{tag}>")

    def path(self, commands, **attrs):
        """A path from (command letter, point, point, ...) tuples."""
        d = " ".join(c[0] + " " + " ".join(f"{number(x)},{number(y)}" for x, y in c[1:]) for c in commands)
        self.element("path", d=d, **attrs)

    def polyline(self, points, **attrs):
        self.element("polyline", points=" ".join(f"{number(x)},{number(y)}" for x, y in points), **attrs)

    def tostring(self):
        head = (f'<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
                f'width="{number(self.width)}" height="{number(self.height)}" '
                f'viewBox="0 0 {number(self.width)} {number(self.height)}">')
        return "\n".join(['<?xml version="1.0" encoding="UTF-8"?>', head, *self._parts, "</svg>", ""])

    def write(self, path):
        with open(path, "w", encoding="utf-8") as f:
            f.write(self.tostring())


def bar_chart(path, title, bars, unit="x"):
    """Write a horizontal bar chart of (label, value) pairs, values >= 0."""
    label_w, bar_w, row_h, top = 150, 420, 28, 46
    d = Drawing(label_w + bar_w + 90, top + row_h * len(bars) + 20, title)
    d.element("text", title, x=10, y=24, font_family="sans-serif", font_size=15, font_weight="bold")
    peak = max((v for _, v in bars), default=0) or 1
    for i, (label, value) in enumerate(bars):
        y = top + i * row_h
        w = bar_w * value / peak
        d.element("text", label, x=label_w - 8, y=y + 17, text_anchor="end", font_family="sans-serif", font_size=13)
        d.element("rect", x=label_w, y=y + 3, width=max(w, 0.5), height=row_h - 8, fill="#3b6ea8")
        d.element("text", f"{value:,.1f}{unit}", x=label_w + w + 6, y=y + 17, font_family="sans-serif", font_size=13)
    d.write(path)
