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


def test_stub_signatures_match_the_text_signatures():
    tree = ast.parse(STUBS.read_text(encoding="utf-8"))
    for node in (n for n in tree.body if isinstance(n, ast.ClassDef)):
        cls = getattr(_lib, node.name)
        for item in (i for i in node.body if isinstance(i, ast.FunctionDef) and not i.decorator_list):
            stub_parameters = [arg.arg for arg in item.args.args + item.args.kwonlyargs]
            target = cls if item.name == "__new__" else getattr(cls, item.name)
            real_parameters = list(inspect.signature(target).parameters)
            if item.name == "__new__":
                stub_parameters = stub_parameters[1:]
            assert stub_parameters == real_parameters, f"{node.name}.{item.name}"
