"""The shipped stubs tell the runtime API: every public name, every signature.

Public at run time is what a module lists in ``__all__`` and what it defines
itself (functions and classes whose ``__module__`` is the module, and plain
constants); imported helpers such as ``math`` or ``namedtuple`` are module
attributes by design but not API.  Each module's stub lies beside it in the
installed package.
"""

import ast
import importlib
import importlib.metadata
import importlib.util
import inspect
import pathlib
import pkgutil
import subprocess
import sys
import types

import pytest

import vellary

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLE = pathlib.Path(__file__).resolve().parent / "typed_example.py"

# Public-looking runtime names that are deliberately not API: plain data
# imported from elsewhere, which the origin rule cannot tell apart.
NOT_API = {"vellary.misc.curvemath": {"pi"}}


def public_modules():
    names = ["vellary"] + [m.name for m in pkgutil.walk_packages(vellary.__path__, "vellary.")]
    return sorted(n for n in names if not any(part.startswith("_") for part in n.split(".")))


def stub_tree(module):
    path = pathlib.Path(module.__file__)
    leaf = "__init__" if path.stem == "__init__" else module.__name__.rpartition(".")[2]
    return ast.parse(path.with_name(leaf + ".pyi").read_text(encoding="utf-8"))


def stub_members(body):
    """Name -> node for what a stub body defines or explicitly re-exports."""
    out = {}
    for node in body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            out[node.name] = node
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            out[node.target.id] = node
        elif isinstance(node, ast.Assign):
            out.update((t.id, node) for t in node.targets if isinstance(t, ast.Name))
        elif isinstance(node, ast.ImportFrom):
            out.update((a.name, node) for a in node.names if a.asname == a.name)
    return out


def runtime_public(module):
    listed = set(getattr(module, "__all__", ()))
    names = set()
    for name, value in vars(module).items():
        if name.startswith("_") or isinstance(value, types.ModuleType):
            continue
        if name in listed or getattr(value, "__module__", None) in (None, module.__name__):
            names.add(name)
    return names - NOT_API.get(module.__name__, set())


def _literal(node):
    if isinstance(node, ast.Constant) and node.value is not Ellipsis:
        return True, node.value
    return False, None


def stub_parameters(fn):
    """(name, kind, has default, literal default or not) per stub parameter."""
    a, P = fn.args, inspect.Parameter
    positional = a.posonlyargs + a.args
    defaults = [None] * (len(positional) - len(a.defaults)) + a.defaults
    out = []
    for i, (arg, default) in enumerate(zip(positional, defaults)):
        kind = P.POSITIONAL_ONLY if i < len(a.posonlyargs) else P.POSITIONAL_OR_KEYWORD
        out.append((arg.arg, kind, default))
    if a.vararg:
        out.append((a.vararg.arg, P.VAR_POSITIONAL, None))
    out += [(arg.arg, P.KEYWORD_ONLY, default) for arg, default in zip(a.kwonlyargs, a.kw_defaults)]
    if a.kwarg:
        out.append((a.kwarg.arg, P.VAR_KEYWORD, None))
    return out


def compare_signature(where, fn, obj, problems):
    if isinstance(obj, (staticmethod, classmethod)):
        obj = obj.__func__
    elif isinstance(obj, property):
        obj = obj.fget
    try:
        runtime = list(inspect.signature(obj).parameters.values())
    except (TypeError, ValueError) as e:
        problems.append(f"{where}: no runtime signature ({e})")
        return
    stub = stub_parameters(fn)
    shape = [(name, kind, default is not None) for name, kind, default in stub]
    if shape != [(p.name, p.kind, p.default is not p.empty) for p in runtime]:
        problems.append(f"{where}: stub ({ast.unparse(fn.args)}) != runtime {inspect.signature(obj)}")
        return
    for (name, _, default), p in zip(stub, runtime):
        known, value = _literal(default)
        if known and (type(value) is not type(p.default) or value != p.default):
            problems.append(f"{where}: default of {name} is {p.default!r} at run time, {value!r} in the stub")


def is_classvar(node):
    target = node.annotation.value if isinstance(node.annotation, ast.Subscript) else node.annotation
    return isinstance(target, ast.Name) and target.id == "ClassVar"


def compare_class(where, node, cls, problems):
    members = stub_members(node.body)
    if hasattr(cls, "_fields"):  # a named tuple: fields and their defaults in order
        fields = [m.target.id for m in node.body if isinstance(m, ast.AnnAssign) and not is_classvar(m)]
        if tuple(fields) != cls._fields:
            problems.append(f"{where}: fields {fields} in the stub, {list(cls._fields)} at run time")
        stub_defaults = {m.target.id: _literal(m.value)[1] for m in node.body
                         if isinstance(m, ast.AnnAssign) and m.value is not None}
        if stub_defaults != cls._field_defaults:
            problems.append(f"{where}: field defaults {stub_defaults} in the stub, {cls._field_defaults} at run time")
    own = {name for name in vars(cls) if not name.startswith("_") and not name.endswith("_")}
    if hasattr(cls, "_fields"):
        own -= set(cls._fields)
    for name in sorted(own - set(members)):
        problems.append(f"{where}.{name}: missing from the stub")
    for name, member in members.items():
        value = inspect.getattr_static(cls, name, None)
        if isinstance(member, ast.FunctionDef):
            if value is None:
                problems.append(f"{where}.{name}: in the stub, not at run time")
            else:
                compare_signature(f"{where}.{name}", member, value, problems)
        elif isinstance(member, ast.AnnAssign) and is_classvar(member) and value is None:
            problems.append(f"{where}.{name}: class attribute in the stub, not at run time")


@pytest.mark.parametrize("name", public_modules())
def test_stub_matches_runtime(name):
    module = importlib.import_module(name)
    members = stub_members(stub_tree(module).body)
    problems = [f"{name}.{n}: missing from the stub" for n in sorted(runtime_public(module) - set(members))]
    for n, node in members.items():
        where = f"{name}.{n}"
        if n == "__all__":
            if ast.literal_eval(node.value) != getattr(module, "__all__", None):
                problems.append(f"{where}: differs from the runtime's")
            continue
        if n.startswith("_") and not isinstance(node, ast.FunctionDef):
            continue  # the stub's own aliases and protocols
        if not hasattr(module, n):
            problems.append(f"{where}: in the stub, not at run time")
        elif isinstance(node, ast.FunctionDef):
            compare_signature(where, node, getattr(module, n), problems)
        elif isinstance(node, ast.ClassDef):
            compare_class(where, node, getattr(module, n), problems)
    assert not problems, "\n".join(problems)


def test_package_metadata():
    meta = importlib.metadata.metadata("vellary")
    assert meta["Version"] == vellary.__version__ and meta["License-Expression"] == "MIT"
    assert (pathlib.Path(vellary.__file__).parent / "py.typed").is_file()


def _mypy():
    if importlib.util.find_spec("mypy") is not None:
        return [sys.executable, "-m", "mypy"]
    tool = ROOT / ".venv-typing" / "bin" / "mypy"  # made by `make test`
    return [str(tool)] if tool.exists() else None


@pytest.mark.thread_unsafe(reason="runs subprocesses")
def test_example_runs_and_type_checks_strictly(tmp_path):
    run = subprocess.run([sys.executable, str(EXAMPLE)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    mypy = _mypy()
    if mypy is None:
        pytest.skip("mypy is not installed (`make test` sets it up)")
    check = subprocess.run(
        mypy + ["--strict", "--python-version", "%d.%d" % sys.version_info[:2], "--python-executable", sys.executable,
                "--cache-dir", str(tmp_path / "cache"), "--no-error-summary", str(EXAMPLE)],
        capture_output=True, text=True, cwd=tmp_path)
    assert check.returncode == 0, check.stdout + check.stderr
