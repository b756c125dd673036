#!/usr/bin/env bash
# Finds a CPython of the wanted version and build, or builds one from the
# distribution's source package into a per-user cache, and prints the
# interpreter's path as the last line of its output.
#
#   bootstrap-python.sh          free-threaded 3.13: $PYTHON, python3.13t on PATH
#   bootstrap-python.sh --gil    ordinary 3.13:      $PYTHON_WITH_GIL, python3.13 on PATH
#   bootstrap-python.sh --3.14   free-threaded 3.14: $PYTHON314, python3.14t on PATH
#
# (Not $PYTHON_GIL: CPython itself reads that variable, as 0 or 1, and
# refuses to start with any other value.)
#
# The machine's own apt configuration is only read, never changed: the source
# package is fetched through a private list.
set -euo pipefail

cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/vellary"

case "${PYTHON_GIL-0}" in
    0|1) ;;
    *) echo "bootstrap: PYTHON_GIL is CPython's own switch and must be 0 or 1;" \
            "name the ordinary interpreter in PYTHON_WITH_GIL instead" >&2
       exit 1 ;;
esac

version=3.13
pinned=
suite=trixie  # the distribution suite whose source package is built
case "${1:-}" in
    --gil)
        build=ordinary
        name=python3.13
        candidates=("${PYTHON_WITH_GIL:-}" "$(command -v python3.13 2>/dev/null || true)")
        configure_flags=()
        expect_disabled=0 ;;
    --3.14)
        version=3.14
        suite=sid
        # The archive's mirrors have been seen to list a release in the suite
        # while serving only an older one: that one, pinned by its checksum,
        # is the fallback.
        pinned=3.14.7
        pinned_sha256=3b48dac8fb59f62eaa67ac83c1eb12bda1b7a08406dd286e252c11a66be27f81
        build=free-threaded
        name=python3.14t
        candidates=("${PYTHON314:-}" "$(command -v python3.14t 2>/dev/null || true)")
        configure_flags=(--disable-gil)
        expect_disabled=1 ;;
    *)
        build=free-threaded
        name=python3.13t
        candidates=("${PYTHON:-}" "$(command -v python3.13t 2>/dev/null || true)")
        configure_flags=(--disable-gil)
        expect_disabled=1 ;;
esac
prefix="$cache_root/$name"
candidates+=("$prefix/bin/$name")

# A candidate counts only if it runs and is the wanted version and build; a
# launcher that cannot start an interpreter (a version-manager shim, say) is
# passed over silently.  The build is judged without the caller's PYTHON_GIL,
# which can turn the GIL of a free-threaded interpreter back on.
is_wanted() {
    [ -n "$1" ] && [ -x "$1" ] || return 1
    env -u PYTHON_GIL "$1" - "$expect_disabled" "$version" <<'PY' >/dev/null 2>&1
import sys, sysconfig
free_threaded = sys.argv[1] == "1"
assert "%d.%d" % sys.version_info[:2] == sys.argv[2]
assert (sysconfig.get_config_var("Py_GIL_DISABLED") == 1) == free_threaded
assert sys._is_gil_enabled() != free_threaded
PY
}

find_one() {
    for candidate in "${candidates[@]}"; do
        if is_wanted "$candidate"; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

find_one && exit 0

# One build per prefix at a time: a second caller waits and then finds it.
mkdir -p "$cache_root"
exec 9>"$cache_root/.$name.lock"
flock 9
find_one && exit 0

echo "bootstrap: no $build CPython $version found; building one into $prefix" >&2

mirror() {
    # The first Debian archive the machine already uses (deb822 or one-line format).
    local uri
    uri=$( (cat /etc/apt/sources.list.d/*.sources 2>/dev/null || true) \
           | sed -n 's/^URIs:[[:space:]]*//p' | tr ' ' '\n' | grep -E '/debian/?$' | head -n 1)
    if [ -z "$uri" ]; then
        uri=$( (cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true) \
               | awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i !~ /^\[/) { print $i; break } }' \
               | grep -E '/debian/?$' | head -n 1)
    fi
    [ -n "$uri" ] || { echo "bootstrap: no Debian archive in the apt configuration" >&2; exit 1; }
    echo "$uri"
}

need_dev_packages() {
    local missing=()
    for p in libffi-dev zlib1g-dev libssl-dev libbz2-dev liblzma-dev libsqlite3-dev libreadline-dev uuid-dev xz-utils; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "bootstrap: installing ${missing[*]}" >&2
        apt-get update -qq >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
    fi
}

need_dev_packages
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/parts" "$scratch/lists/partial" "$scratch/src"
cat > "$scratch/parts/src.sources" <<SRC
Types: deb-src
URIs: $(mirror)
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$scratch/parts"
          -o "Dir::State::Lists=$scratch/lists")
apt-get "${apt_opts[@]}" update -qq >&2
if ! (cd "$scratch/src" && apt-get "${apt_opts[@]}" source --download-only "python$version" >&2); then
    [ -n "$pinned" ] || exit 1
    echo "bootstrap: falling back to python${version}_$pinned" >&2
    orig="python${version}_$pinned.orig.tar.xz"
    curl -fsSL -o "$scratch/src/$orig" "$(mirror)/pool/main/p/python$version/$orig"
    echo "$pinned_sha256  $scratch/src/$orig" | sha256sum -c --quiet - >&2
fi
tarball=$(ls "$scratch"/src/python"$version"_*.orig.tar.xz | head -n 1)
tar -C "$scratch/src" -xJf "$tarball"
srcdir=$(find "$scratch/src" -maxdepth 1 -type d -name "Python-$version*" | head -n 1)
(
    cd "$srcdir"
    ./configure "${configure_flags[@]}" --enable-shared --prefix="$prefix" \
        LDFLAGS="-Wl,-rpath,$prefix/lib" >"$scratch/configure.log" 2>&1 \
        || { tail -n 40 "$scratch/configure.log" >&2; exit 1; }
    make -j"$(nproc)" >"$scratch/make.log" 2>&1 || { tail -n 60 "$scratch/make.log" >&2; exit 1; }
    make install >"$scratch/install.log" 2>&1 || { tail -n 40 "$scratch/install.log" >&2; exit 1; }
)
is_wanted "$prefix/bin/$name" || { echo "bootstrap: the built interpreter is not the $build $version" >&2; exit 1; }
echo "$prefix/bin/$name"
