# The two commands of the README: `make demo` and `make test`.  Each one does
# the whole set-up on a fresh machine: interpreter, virtual environment, build.
VENV := .venv
PY := $(VENV)/bin/python

.PHONY: all build demo test bench clean
all: build

$(VENV)/.ready: requirements-dev.txt scripts/bootstrap-python.sh
	@python=$$(bash scripts/bootstrap-python.sh | tail -n 1) && \
	  rm -rf $(VENV) && "$$python" -m venv $(VENV)
	$(PY) -m pip install -q --disable-pip-version-check -r requirements-dev.txt
	touch $@

build: $(VENV)/.ready
	$(PY) -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps .

demo: build
	$(PY) scripts/demo.py

test: build
	$(PY) -m pytest -q tests

bench: build
	$(PY) -m pip install -q --disable-pip-version-check -r bench/requirements.txt
	$(PY) bench/run.py

clean:
	rm -rf build $(VENV)
