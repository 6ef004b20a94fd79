"""Argument binding and conversion of the three functions: every TypeError text, the note that
names the parameter, and which error wins when several arguments are bad."""
import pathlib

import numpy
import pytest

NOTICE = "the suggest mode is not available in this build of vesk_analyzer"


class Text(str):
    pass


class Index:
    def __index__(self):
        return 5


class Real:
    def __float__(self):
        return 0.5


def numpy_like(name, namespace):
    """A type that passes the numpy-bool test by its module and name alone."""
    return type(name, (), {"__module__": "numpy", **namespace})()


def boom(self):
    raise ValueError("boom")


class NoNotes(Exception):
    def add_note(self, note):
        raise RuntimeError("notes refused")


def refuse_notes(self):
    raise NoNotes("no notes")


# (call, exception type, message, note or None)
BINDING_CASES = [
    ("analyze_path()", TypeError, "analyze_path() missing 1 required positional argument: 'path'", None),
    ("analyze_path(pack_dir='p')", TypeError, "analyze_path() missing 1 required positional argument: 'path'", None),
    ("analyze_path('a', 'b', 'c', 'd')", TypeError,
     "analyze_path() takes from 1 to 3 positional arguments but 4 were given", None),
    ("analyze_path('a', path='b')", TypeError, "analyze_path() got multiple values for argument 'path'", None),
    ("analyze_path('a', 'b', pack_dir='c')", TypeError,
     "analyze_path() got multiple values for argument 'pack_dir'", None),
    ("analyze_path(root='a')", TypeError, "analyze_path() got an unexpected keyword argument 'root'", None),
    ("analyze_path('a', root='a', path='b')", TypeError,
     "analyze_path() got an unexpected keyword argument 'root'", None),
    ("analyze_path(**{'\\udc80': 1})", TypeError,
     "analyze_path() got an unexpected keyword argument '\udc80'", None),
    ("autowrap_path('a', 'b')", TypeError, "autowrap_path() takes 1 positional arguments but 2 were given", None),
    ("autowrap_path()", TypeError, "autowrap_path() missing 1 required positional argument: '_path'", None),
    ("autowrap_path('a', _path='b')", TypeError, "autowrap_path() got multiple values for argument '_path'", None),
    ("suggest_yaml_diff('p', 'm')", TypeError,
     "suggest_yaml_diff() missing 1 required positional argument: 'calls_json'", None),
    ("suggest_yaml_diff('p')", TypeError,
     "suggest_yaml_diff() missing 2 required positional arguments: 'model_dir' and 'calls_json'", None),
    ("suggest_yaml_diff()", TypeError,
     "suggest_yaml_diff() missing 3 required positional arguments: 'pack_dir', 'model_dir', and 'calls_json'", None),
    ("suggest_yaml_diff(1, 2, 3, 4, 5, 6, 7, 8)", TypeError,
     "suggest_yaml_diff() takes from 3 to 7 positional arguments but 8 were given", None),
    ("suggest_yaml_diff('p', 'm', '[]', top_k=1, top_k_=2)", TypeError,
     "suggest_yaml_diff() got an unexpected keyword argument 'top_k_'", None),
]

CONVERSION_CASES = [
    ("analyze_path(None)", TypeError, "'None' is not an instance of 'str'", "path"),
    ("analyze_path(pathlib.Path('x'))", TypeError, "'PosixPath' object is not an instance of 'str'", "path"),
    ("analyze_path('x', 1)", TypeError, "'int' object is not an instance of 'str'", "pack_dir"),
    ("analyze_path('x', None, b'p')", TypeError, "'bytes' object is not an instance of 'str'", "pattern_dir"),
    ("analyze_path(1, 2)", TypeError, "'int' object is not an instance of 'str'", "path"),
    ("analyze_path('\\ud800')", UnicodeEncodeError, None, "path"),
    ("autowrap_path(1)", TypeError, "'int' object is not an instance of 'str'", "_path"),
    ("autowrap_path(None)", TypeError, "'None' is not an instance of 'str'", "_path"),
    ("suggest_yaml_diff(None, 'm', '[]')", TypeError, "'None' is not an instance of 'str'", "pack_dir"),
    ("suggest_yaml_diff('p', None, '[]')", TypeError, "'None' is not an instance of 'str'", "model_dir"),
    ("suggest_yaml_diff('p', 'm', b'[]')", TypeError, "'bytes' object is not an instance of 'str'", "calls_json"),
    ("suggest_yaml_diff('p', 'm', '[]', 1)", TypeError, "'int' object is not an instance of 'bool'", "quantized"),
    ("suggest_yaml_diff('p', 'm', '[]', None)", TypeError, "'None' is not an instance of 'bool'", "quantized"),
    ("suggest_yaml_diff('p', 'm', '[]', numpy.int8(1))", TypeError,
     "'int8' object is not an instance of 'bool'", "quantized"),
    ("suggest_yaml_diff('p', 'm', '[]', numpy_like('bool_', {}))", TypeError,
     "object of type 'bool_' does not define a '__bool__' conversion", "quantized"),
    ("suggest_yaml_diff('p', 'm', '[]', numpy_like('bool', {'__bool__': lambda self: 1}))", TypeError,
     "'int' object is not an instance of 'bool'", "quantized"),
    ("suggest_yaml_diff('p', 'm', '[]', numpy_like('bool_', {'__bool__': boom}))", ValueError, "boom", "quantized"),
    # A note that cannot be attached is dropped; the conversion's own exception stands.
    ("suggest_yaml_diff('p', 'm', '[]', numpy_like('bool_', {'__bool__': refuse_notes}))", NoNotes, "no notes", None),
    ("suggest_yaml_diff('p', 'm', '[]', min_score='high')", TypeError, None, "min_score"),
    ("suggest_yaml_diff('p', 'm', '[]', min_score=None)", TypeError, None, "min_score"),
    ("suggest_yaml_diff('p', 'm', '[]', top_k=-1)", OverflowError, None, "top_k"),
    ("suggest_yaml_diff('p', 'm', '[]', top_k=2**64)", OverflowError, None, "top_k"),
    ("suggest_yaml_diff('p', 'm', '[]', top_k=5.0)", TypeError, None, "top_k"),
    ("suggest_yaml_diff('p', 'm', '[]', min_agree='3')", TypeError, None, "min_agree"),
    ("suggest_yaml_diff('p', 'm', '[]', min_agree=None)", TypeError, None, "min_agree"),
    # All arguments are converted before calls_json is read.
    ("suggest_yaml_diff('p', 'm', 'not json', quantized=1)", TypeError,
     "'int' object is not an instance of 'bool'", "quantized"),
]


def run(vesk, call):
    return eval(call, {"pathlib": pathlib, "numpy": numpy, "numpy_like": numpy_like, "boom": boom, "refuse_notes": refuse_notes,
                       "analyze_path": vesk.analyze_path, "autowrap_path": vesk.autowrap_path,
                       "suggest_yaml_diff": vesk.suggest_yaml_diff})


@pytest.mark.parametrize("call, kind, message, note", BINDING_CASES + CONVERSION_CASES)
def test_argument_errors(vesk, call, kind, message, note):
    with pytest.raises(BaseException) as raised:
        run(vesk, call)
    assert type(raised.value) is kind
    if message is not None:
        assert raised.value.args == (message,)
    notes = getattr(raised.value, "__notes__", [])
    assert notes == ([f"while processing '{note}'"] if note else [])


def test_accepted_forms(vesk, tmp_path):
    root = str(tmp_path)
    empty = vesk.analyze_path(root)
    # None and omission are the same; keywords bind in any order; str subclasses are str.
    assert vesk.analyze_path(root, None, None) == empty
    assert vesk.analyze_path(pack_dir=None, path=root) == empty
    assert vesk.analyze_path(Text(root), pattern_dir=Text(root)) == empty
    assert vesk.autowrap_path(Text("x")) == 0
    for extra in [dict(quantized=True), dict(quantized=numpy.bool_(False)), dict(quantized=numpy.True_),
                  dict(min_score=-1.0, top_k=Index(), min_agree=2**64 - 1), dict(min_score=Real(), top_k=True),
                  dict(model_dir=Text("m"))]:
        args = {"pack_dir": str(tmp_path / "none"), "model_dir": "m", "calls_json": Text("[]"), **extra}
        with pytest.raises(RuntimeError) as raised:
            vesk.suggest_yaml_diff(**args)
        assert raised.value.args == (NOTICE,)
