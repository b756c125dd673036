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

%/.ready: requirements-dev.txt scripts/bootstrap-python.sh
	@python=$$(bash scripts/bootstrap-python.sh | tail -n 1) && \
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
# instead of passing unseen.
test-debug-malloc: build
	PYTHONMALLOC=debug $(PY) -m pytest -q tests

build-sanitize: $(SAN_VENV)/.ready
	$(SAN_PY) -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps \
	  -C build-dir=build/sanitize -C cmake.build-type=RelWithDebInfo \
	  -C "cmake.define.CMAKE_CXX_FLAGS=$(SAN_FLAGS)" \
	  -C "cmake.define.CMAKE_MODULE_LINKER_FLAGS=$(SAN_FLAGS)" .

test-sanitize: build-sanitize
	bash scripts/sanitized.sh $(SAN_PY) -q tests

bench: build .venv-peers/.ready
	$(PY) -m pip install -q --disable-pip-version-check -r bench/requirements.txt
	$(PY) bench/run.py

# svgpathtools and bezier, timed by bench/bench_curves.py in a process of
# their own; never a dependency of the package or of the tests.
.venv-peers/.ready: bench/requirements-peers.txt
	rm -rf .venv-peers && $(or $(PYTHON_PEERS),python3) -m venv .venv-peers
	.venv-peers/bin/python -m pip install -q --disable-pip-version-check -r bench/requirements-peers.txt
	.venv-peers/bin/python -m pip install -q --disable-pip-version-check --no-deps svgpathtools==1.8.0 bezier==2024.6.20
	touch $@

clean:
	rm -rf build $(VENV) $(VENV_GIL) $(VENV_TYPING) $(SAN_VENV) .venv-peers $(WHEELS)

# ---------------------------------------------------------------------------
# Wheels and the ordinary (GIL) build of CPython 3.13.  `make test-gil` runs
# the suite against the cp313 wheel installed into a fresh virtual
# environment, not against the source tree.
VENV_GIL := .venv-gil
PY_GIL := $(VENV_GIL)/bin/python
WHEELS := dist
WHEEL_VENV := build/wheel-venv-cp313
PIP_QUIET := -q --disable-pip-version-check

.PHONY: wheel wheel-gil wheels test-gil
$(VENV_GIL)/.ready: requirements-dev.txt scripts/bootstrap-python.sh
	@python=$$(bash scripts/bootstrap-python.sh --gil | tail -n 1) && \
	  rm -rf $(VENV_GIL) && "$$python" -m venv $(VENV_GIL)
	$(PY_GIL) -m pip install $(PIP_QUIET) -r requirements-dev.txt
	touch $@

wheel: $(VENV)/.ready
	rm -f $(WHEELS)/vellary-*-cp313t-*.whl
	$(PY) -m pip wheel $(PIP_QUIET) --no-build-isolation --no-deps -w $(WHEELS) .

wheel-gil: $(VENV_GIL)/.ready
	rm -f $(WHEELS)/vellary-*-cp313-cp313-*.whl
	$(PY_GIL) -m pip wheel $(PIP_QUIET) --no-build-isolation --no-deps -w $(WHEELS) .

wheels: wheel wheel-gil

test-gil: wheel-gil $(VENV_TYPING)/.ready
	rm -rf $(WHEEL_VENV)
	"$$($(PY_GIL) -c 'import sys; print(sys._base_executable)')" -m venv $(WHEEL_VENV)
	$(WHEEL_VENV)/bin/python -m pip install $(PIP_QUIET) -r requirements-dev.txt $(WHEELS)/vellary-*-cp313-cp313-*.whl
	$(WHEEL_VENV)/bin/pytest -q tests

# ---------------------------------------------------------------------------
# mypy for the stub check.  It does not install on the free-threaded
# interpreter (a dependency has no wheel for it and needs a Rust toolchain
# to build), so it gets its own environment on the machine's python3.

$(VENV_TYPING)/.ready: requirements-typing.txt
	rm -rf $(VENV_TYPING) && $(or $(PYTHON_TYPING),python3) -m venv $(VENV_TYPING)
	$(VENV_TYPING)/bin/python -m pip install $(PIP_QUIET) -r requirements-typing.txt
	touch $@
