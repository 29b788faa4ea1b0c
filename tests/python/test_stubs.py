"""The type stubs describe the native module as it is: same classes, bases and members."""

import ast
import inspect
import pathlib

import vellumkit
from vellumkit import _lib

STUBS = pathlib.Path(vellumkit.__file__).with_name("_lib.pyi")


def stub_classes():
    tree = ast.parse(STUBS.read_text(encoding="utf-8"))
    classes = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            members = {item.name for item in node.body if isinstance(item, ast.FunctionDef)}
            classes[node.name] = ([ast.unparse(base) for base in node.bases], members - {"__new__"})
    return classes


def module_members(cls):
    return {name for name in vars(cls) if not name.startswith("__")}


def test_stubs_list_every_class_with_its_bases_and_members():
    stubs = stub_classes()
    assert list(stubs) == [name for name in vars(_lib) if not name.startswith("__")]
    for name, (bases, members) in stubs.items():
        cls = getattr(_lib, name)
        assert bases == [base.__name__ for base in cls.__bases__ if base is not object], name
        assert members == module_members(cls), name


def stub_parameters(function):
    """(name, kind, default) of each parameter, as the stub declares them; self and cls left out."""
    args = function.args
    positional = args.args[1:]
    defaults = [None] * (len(positional) - len(args.defaults)) + args.defaults
    parameters = [(a.arg, "positional", d) for a, d in zip(positional, defaults)]
    parameters += [(a.arg, "keyword", d) for a, d in zip(args.kwonlyargs, args.kw_defaults)]
    return [(name, kind, inspect.Parameter.empty if d is None else ast.literal_eval(d)) for name, kind, d in parameters]


def real_parameters(target):
    kinds = {inspect.Parameter.POSITIONAL_OR_KEYWORD: "positional", inspect.Parameter.KEYWORD_ONLY: "keyword"}
    parameters = inspect.signature(target).parameters.values()
    return [(p.name, kinds[p.kind], p.default) for p in parameters if p.kind != inspect.Parameter.POSITIONAL_ONLY]


def test_stub_signatures_match_the_text_signatures():
    tree = ast.parse(STUBS.read_text(encoding="utf-8"))
    for node in (n for n in tree.body if isinstance(n, ast.ClassDef)):
        cls = getattr(_lib, node.name)
        for item in (i for i in node.body if isinstance(i, ast.FunctionDef) and not i.decorator_list):
            target = cls if item.name == "__new__" else getattr(cls, item.name)
            assert stub_parameters(item) == real_parameters(target), f"{node.name}.{item.name}"
