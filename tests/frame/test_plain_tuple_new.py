"""The recogniser of classes whose __new__ only packs its values into a tuple."""
import collections

import pytest

from vellary import _probe

Point = collections.namedtuple("Point", "file line column")


class Sub(Point):
    pass


def changed_new():
    cls = collections.namedtuple("Changed", "file line column")
    ns = {"_tuple_new": tuple.__new__}
    exec("def __new__(_cls, file, line, column): return _tuple_new(_cls, (column, line, file))", ns)
    cls.__new__ = staticmethod(ns["__new__"])
    return cls


def changed_make():
    cls = collections.namedtuple("Made", "file line column")
    cls._make = classmethod(lambda cls, it: None)
    return cls


def with_init():
    cls = collections.namedtuple("Init", "file line column")
    cls.__init__ = lambda self, *a: None
    return cls


@pytest.mark.parametrize("cls, fields, plain", [
    (Point, 3, True),
    (collections.namedtuple("Other", "a b c"), 3, True),  # field names are not in the code
    (collections.namedtuple("Two", "a b"), 2, True),
    (collections.namedtuple("Two", "a b"), 3, False),
    (Point, 2, False),
    (collections.namedtuple("Defaults", "a b c", defaults=(1,)), 3, False),
    (Sub, 3, False),
    (changed_new(), 3, False),
    (with_init(), 3, False),
    (tuple, 3, False),
    (int, 1, False),
])
def test_recognised_classes(cls, fields, plain):
    assert _probe.plain_tuple_new(cls, fields) is plain


def test_changed_make_is_not_the_concern():
    # _make is not what calling the class runs: the class still packs.
    assert _probe.plain_tuple_new(changed_make(), 3) is True
