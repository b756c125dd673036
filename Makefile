# The two commands of the README: `make demo` and `make test`.  Each one does
# the whole set-up on a fresh machine: interpreter, virtual environment, build.
VENV := .venv
PY := $(VENV)/bin/python
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

test: build
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

bench: build
	$(PY) -m pip install -q --disable-pip-version-check -r bench/requirements.txt
	$(PY) bench/run.py

clean:
	rm -rf build $(VENV) $(SAN_VENV)
