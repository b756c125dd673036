"""Time the feature-file lexer: native against the models, in tokens per second.

The input is real: every feature file of tests/data/fea (the include tree of
an open-source font family) joined end to end, repeated to about 1 MB, and
that text repeated 8 times (about 8 MB), so both hold exactly the same mix of
tokens and the 8 MB text exactly 8 times as many.  The native time per token
on the two shows whether the cost grows linearly with the text.  Last,
IncludingLexer follows the include statements of the tree itself, reading
its files as a parser would.
"""

import collections
import os
import sys

import _peers
from vellary.feaLib.location import FeatureLibLocation

RUNS = 7
RUNS_LARGE = 5
SMALL_BYTES = 1 << 20
LARGE_FACTOR = 8
# The models take seconds per pass over the large text; beyond this many
# seconds in all, they are timed on the small text only.
LARGE_BUDGET = 75.0

DATA = os.path.join(_peers.REPO, "tests", "data", "fea")
TOP = os.path.join(DATA, "Roman", "Instances", "Regular", "font.ufo", "features.fea")
# Only carried into the locations: Lexer never opens it.
FILENAME = "features.fea"


# -- input --------------------------------------------------------------------

def feature_files():
    paths = []
    for root, dirs, files in os.walk(DATA):
        dirs.sort()
        paths.extend(os.path.join(root, f) for f in sorted(files) if f.endswith(".fea"))
    return paths


def unit_text(paths):
    """All the files' texts, read as IncludingLexer reads them.  Each ends in
    a line break, so that no file's last token or comment runs into the next
    file's first."""
    texts = []
    for path in paths:
        with open(path, encoding="utf-8-sig") as f:
            text = f.read()
        texts.append(text if text.endswith("\n") else text + "\n")
    return "".join(texts)


# -- checks -------------------------------------------------------------------

def tokens(lexer):
    """(type, value, (file, line, column)) of every token."""
    out = []
    for kind, value, location in lexer:
        assert type(location) is FeatureLibLocation, type(location)
        out.append((kind, value, tuple(location)))
    return out


def check(contenders, text):
    """Every peer must give native's token stream, exactly, before it is
    timed: on the text, and through the include tree.  Returns the native
    streams."""
    want = tokens(contenders["native"].Lexer(text, FILENAME))
    want_tree = tokens(contenders["native"].IncludingLexer(TOP))
    for label, module in contenders.items():
        if label == "native":
            continue
        got = tokens(module.Lexer(text, FILENAME))
        assert _peers.identical(want, got), f"Lexer: {label} differs from native"
        got = tokens(module.IncludingLexer(TOP))
        assert _peers.identical(want_tree, got), f"IncludingLexer: {label} differs from native"
    return want, want_tree


# -- benchmark ----------------------------------------------------------------

def lexing(module):
    """make(text, loops): the text lexed by module.Lexer, `loops` times over."""
    def make(text, loops, lexer_class=module.Lexer, drain=collections.deque):
        def work():
            for _ in range(loops):
                # A deque that keeps nothing takes each token and drops it: no
                # Python-level loop adds its own cost per token.
                drain(lexer_class(text, FILENAME), maxlen=0)
        return work
    return make


def tree_lexing(module):
    """make(TOP, loops): the include tree from TOP lexed by
    module.IncludingLexer, `loops` times over."""
    def make(_, loops, lexer_class=module.IncludingLexer, drain=collections.deque):
        def work():
            for _ in range(loops):
                drain(lexer_class(TOP), maxlen=0)
        return work
    return make


def time_lexing(contenders, text, count, runs, seconds):
    """Seconds per token of each contender, medians of interleaved runs.  With
    `seconds`, a contender repeats its pass to last about that long; without,
    each makes one pass (on a large text, probing would cost a pass more)."""
    return _peers.per_unit({label: lexing(m) for label, m in contenders.items()}, text, seconds, runs, count)


def rate_line(name, per_token, models):
    return (f"  {name:17s} native {1e-6 / per_token['native']:6.2f} M tokens/s "
            f"({per_token['native'] * 1e9:6.1f} ns/token)"
            + _peers.ratios(per_token, [label for label in models if label in per_token], "5.2f"))


def main():
    from vellary.feaLib import lexer as native

    models = _peers.models("lexer")
    contenders = {"native": native, **models}

    paths = feature_files()
    unit = unit_text(paths)
    small = unit * -(-SMALL_BYTES // len(unit))
    large = small * LARGE_FACTOR

    stream, tree_stream = check(contenders, small)
    count = len(stream)
    tree_files = len({location[0] for _, _, location in tree_stream})
    mix = collections.Counter(kind for kind, _, _ in stream)
    print(f"lexer: the {len(paths)} feature files of tests/data/fea ({len(unit)} characters) "
          f"joined and repeated {len(small) // len(unit)} times: {len(small) / 1e6:.2f} MB, "
          f"{count} tokens; that text {LARGE_FACTOR} times: {len(large) / 1e6:.2f} MB, "
          f"{count * LARGE_FACTOR} tokens")
    print("  token mix: " + ", ".join(f"{kind} {n / count:.1%}" for kind, n in mix.most_common()))
    print(f"  token streams of native and {' and '.join(models)} identical on the "
          f"{len(small) / 1e6:.2f} MB text and through the include tree")
    print(f"  median of {RUNS} interleaved runs ({RUNS_LARGE} on the large text); "
          "ratio = model time / native time = native tokens/s / model tokens/s")

    small_times = time_lexing(contenders, small, count, RUNS, 0.3)
    print(rate_line(f"Lexer {len(small) / 1e6:.0f} MB", small_times, models))

    # A pass of every contender over the large text, for each run and the
    # warm-up, estimated from the small text.
    projected = sum(small_times.values()) * count * LARGE_FACTOR * (RUNS_LARGE + 1)
    large_contenders = contenders if projected <= LARGE_BUDGET else {"native": native}
    large_times = time_lexing(large_contenders, large, count * LARGE_FACTOR, RUNS_LARGE, None)
    print(rate_line(f"Lexer {len(large) / 1e6:.0f} MB", large_times, models))
    if len(large_contenders) < len(contenders):
        print(f"  (models timed on the small text only: on the large one they would take "
              f"about {projected:.0f} s)")

    print(f"  linearity: time per token on {len(large) / 1e6:.0f} MB / on {len(small) / 1e6:.0f} MB "
          "(1.00 = cost linear in the text)   "
          + "   ".join(f"{label} {large_times[label] / small_times[label]:.2f}" for label in large_times))

    # Reading the files is part of the work: that is what a parser pays.
    per_tree = _peers.per_unit({label: tree_lexing(m) for label, m in contenders.items()}, TOP, 0.1, RUNS, 1)
    print(f"  IncludingLexer    include tree of {tree_files} files, {len(tree_stream)} tokens: "
          f"native {per_tree['native'] * 1e3:.2f} ms "
          f"({len(tree_stream) / per_tree['native'] / 1e6:.2f} M tokens/s)"
          + _peers.ratios(per_tree, models, "5.2f"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
