#!/usr/bin/env python3
"""Prints CPython's `ast` of Python files in the canonical tree form that `pydump` prints for
our own parser, so the two can be compared line by line.

    /root/.pyenv/versions/3.13.0/bin/python3 tools/cpython_dump.py FILE...

Per file: a line "=== PATH", then the tree, or one line "ERROR <message>" when `ast.parse`
rejects the file. Only `ast.parse` decides (warnings silenced): later compile stages such as
"'return' outside function" are not parse errors.

The form: one node per line, indented one space per level, "FIELD HEAD" where HEAD is the node's
canonical name and its scalar attributes; a list field prints "FIELD [N]" and its items below it
with the field "-"; an absent child prints "FIELD None". Positions are not printed. Where our tree
and CPython's are shaped differently the form follows CPython, except that call arguments (and
class bases) are one list in source order, which CPython's positions give back:
  - `elif`/`else` clauses print as CPython's nested `orelse`;
  - string, bytes and number literals print as "Const <type> <value>": texts as their UTF-8
    bytes (lone surrogates in their 3-byte form) escaped, integers in decimal, floats and
    imaginary parts as the hex of their IEEE bits;
  - f-strings print as CPython's JoinedStr: adjacent literal pieces joined, empty ones dropped,
    the `=` debug text as literal text, and the implied `!r` of a debug field made explicit;
  - parameters print as one node each, with their default beside them.
"""
import ast
import struct
import sys
import warnings

_PLAIN = frozenset(range(0x20, 0x7F)) - {ord('"'), ord("\\")}


def quote(data):
    """Escapes bytes (or a str, as its UTF-8) into the printable form both dumpers share."""
    if isinstance(data, str):
        data = data.encode("utf-8", "surrogatepass")
    return '"' + "".join(chr(b) if b in _PLAIN else "\\x%02x" % b for b in data) + '"'


def float_bits(value):
    return "0x%016x" % struct.unpack("<Q", struct.pack("<d", value))[0]


def _position(node):
    return (node.lineno, node.col_offset)


class Dumper:
    def __init__(self):
        self.lines = []

    def emit(self, depth, field, head):
        self.lines.append(" " * depth + field + " " + head)

    # -- generic helpers -------------------------------------------------------------------
    def child(self, depth, field, node, fn):
        if node is None:
            self.emit(depth, field, "None")
        else:
            fn(depth, field, node)

    def items(self, depth, field, nodes, fn):
        self.emit(depth, field, "[%d]" % len(nodes))
        for node in nodes:
            fn(depth + 1, "-", node)

    def expr_child(self, depth, field, node):
        self.child(depth, field, node, self.expr)

    def exprs(self, depth, field, nodes):
        self.items(depth, field, nodes, self.expr)

    def body(self, depth, field, stmts):
        self.items(depth, field, stmts, self.stmt)

    # -- statements --------------------------------------------------------------------------
    def module(self, tree):
        self.lines.append("Module")
        self.body(1, "body", tree.body)

    def stmt(self, d, f, s):
        t = type(s).__name__
        c = d + 1
        if t in ("FunctionDef", "AsyncFunctionDef"):
            self.emit(d, f, "%s name=%s" % (t, quote(s.name)))
            self.exprs(c, "decorators", s.decorator_list)
            self.items(c, "type_params", s.type_params, self.type_param)
            self.arguments(c, "args", s.args)
            self.expr_child(c, "returns", s.returns)
            self.body(c, "body", s.body)
        elif t == "ClassDef":
            self.emit(d, f, "ClassDef name=%s" % quote(s.name))
            self.exprs(c, "decorators", s.decorator_list)
            self.items(c, "type_params", s.type_params, self.type_param)
            self.call_arguments(c, s.bases, s.keywords)
            self.body(c, "body", s.body)
        elif t == "Return":
            self.emit(d, f, "Return")
            self.expr_child(c, "value", s.value)
        elif t == "Delete":
            self.emit(d, f, "Delete")
            self.exprs(c, "targets", s.targets)
        elif t == "Assign":
            self.emit(d, f, "Assign")
            self.exprs(c, "targets", s.targets)
            self.expr_child(c, "value", s.value)
        elif t == "AugAssign":
            self.emit(d, f, "AugAssign op=%s" % type(s.op).__name__)
            self.expr_child(c, "target", s.target)
            self.expr_child(c, "value", s.value)
        elif t == "AnnAssign":
            self.emit(d, f, "AnnAssign simple=%d" % s.simple)
            self.expr_child(c, "target", s.target)
            self.expr_child(c, "annotation", s.annotation)
            self.expr_child(c, "value", s.value)
        elif t == "TypeAlias":
            self.emit(d, f, "TypeAlias")
            self.expr_child(c, "name", s.name)
            self.items(c, "type_params", s.type_params, self.type_param)
            self.expr_child(c, "value", s.value)
        elif t in ("For", "AsyncFor"):
            self.emit(d, f, t)
            self.expr_child(c, "target", s.target)
            self.expr_child(c, "iter", s.iter)
            self.body(c, "body", s.body)
            self.body(c, "orelse", s.orelse)
        elif t == "While":
            self.emit(d, f, "While")
            self.expr_child(c, "test", s.test)
            self.body(c, "body", s.body)
            self.body(c, "orelse", s.orelse)
        elif t == "If":
            self.emit(d, f, "If")
            self.expr_child(c, "test", s.test)
            self.body(c, "body", s.body)
            self.body(c, "orelse", s.orelse)
        elif t in ("With", "AsyncWith"):
            self.emit(d, f, t)
            self.items(c, "items", s.items, self.with_item)
            self.body(c, "body", s.body)
        elif t == "Match":
            self.emit(d, f, "Match")
            self.expr_child(c, "subject", s.subject)
            self.items(c, "cases", s.cases, self.match_case)
        elif t == "Raise":
            self.emit(d, f, "Raise")
            self.expr_child(c, "exc", s.exc)
            self.expr_child(c, "cause", s.cause)
        elif t in ("Try", "TryStar"):
            self.emit(d, f, t)
            self.body(c, "body", s.body)
            self.items(c, "handlers", s.handlers, self.handler)
            self.body(c, "orelse", s.orelse)
            self.body(c, "finalbody", s.finalbody)
        elif t == "Assert":
            self.emit(d, f, "Assert")
            self.expr_child(c, "test", s.test)
            self.expr_child(c, "msg", s.msg)
        elif t == "Import":
            self.emit(d, f, "Import")
            self.items(c, "names", s.names, self.alias)
        elif t == "ImportFrom":
            self.emit(d, f, "ImportFrom module=%s level=%d" % (quote(s.module or ""), s.level))
            self.items(c, "names", s.names, self.alias)
        elif t in ("Global", "Nonlocal"):
            self.emit(d, f, "%s names=%s" % (t, ",".join(quote(n) for n in s.names)))
        elif t == "Expr":
            self.emit(d, f, "Expr")
            self.expr_child(c, "value", s.value)
        elif t in ("Pass", "Break", "Continue"):
            self.emit(d, f, t)
        else:
            raise ValueError("unknown statement " + t)

    def with_item(self, d, f, item):
        self.emit(d, f, "WithItem")
        self.expr_child(d + 1, "context_expr", item.context_expr)
        self.expr_child(d + 1, "optional_vars", item.optional_vars)

    def handler(self, d, f, h):
        self.emit(d, f, "ExceptHandler name=%s" % quote(h.name or ""))
        self.expr_child(d + 1, "type", h.type)
        self.body(d + 1, "body", h.body)

    def match_case(self, d, f, case):
        self.emit(d, f, "MatchCase")
        self.pattern(d + 1, "pattern", case.pattern)
        self.expr_child(d + 1, "guard", case.guard)
        self.body(d + 1, "body", case.body)

    def alias(self, d, f, a):
        self.emit(d, f, "Alias name=%s asname=%s" % (quote(a.name), quote(a.asname or "")))

    def type_param(self, d, f, p):
        t = type(p).__name__
        self.emit(d, f, "%s name=%s" % (t, quote(p.name)))
        self.expr_child(d + 1, "bound", getattr(p, "bound", None))
        self.expr_child(d + 1, "default", getattr(p, "default_value", None))

    def arguments(self, d, f, a):
        self.emit(d, f, "Arguments")
        c = d + 1
        positional = a.posonlyargs + a.args
        defaults = [None] * (len(positional) - len(a.defaults)) + list(a.defaults)
        with_defaults = list(zip(positional, defaults))
        self.items(c, "posonly", with_defaults[: len(a.posonlyargs)], self.param)
        self.items(c, "args", with_defaults[len(a.posonlyargs):], self.param)
        self.child(c, "vararg", a.vararg and (a.vararg, None), self.param)
        self.items(c, "kwonly", list(zip(a.kwonlyargs, a.kw_defaults)), self.param)
        self.child(c, "kwarg", a.kwarg and (a.kwarg, None), self.param)

    def param(self, d, f, arg_default):
        arg, default = arg_default
        self.emit(d, f, "Param name=%s" % quote(arg.arg))
        self.expr_child(d + 1, "annotation", arg.annotation)
        self.expr_child(d + 1, "default", default)

    def call_arguments(self, d, args, keywords):
        ordered = sorted(args + keywords, key=_position)
        self.emit(d, "arguments", "[%d]" % len(ordered))
        for a in ordered:
            if isinstance(a, ast.keyword):
                if a.arg is None:
                    self.emit(d + 1, "-", "Arg doublestarred")
                else:
                    self.emit(d + 1, "-", "Arg keyword name=%s" % quote(a.arg))
                self.expr_child(d + 2, "value", a.value)
            else:
                self.emit(d + 1, "-", "Arg starred" if isinstance(a, ast.Starred) else "Arg positional")
                self.expr_child(d + 2, "value", a)

    # -- expressions -------------------------------------------------------------------------
    def expr(self, d, f, e):
        t = type(e).__name__
        c = d + 1
        if t == "BoolOp":
            self.emit(d, f, "BoolOp op=%s" % type(e.op).__name__)
            self.exprs(c, "values", e.values)
        elif t == "NamedExpr":
            self.emit(d, f, "NamedExpr")
            self.expr_child(c, "target", e.target)
            self.expr_child(c, "value", e.value)
        elif t == "BinOp":
            self.emit(d, f, "BinOp op=%s" % type(e.op).__name__)
            self.expr_child(c, "left", e.left)
            self.expr_child(c, "right", e.right)
        elif t == "UnaryOp":
            self.emit(d, f, "UnaryOp op=%s" % type(e.op).__name__)
            self.expr_child(c, "operand", e.operand)
        elif t == "Lambda":
            self.emit(d, f, "Lambda")
            self.arguments(c, "args", e.args)
            self.expr_child(c, "body", e.body)
        elif t == "IfExp":
            self.emit(d, f, "IfExp")
            self.expr_child(c, "body", e.body)
            self.expr_child(c, "test", e.test)
            self.expr_child(c, "orelse", e.orelse)
        elif t == "Dict":
            self.emit(d, f, "Dict")
            self.emit(c, "items", "[%d]" % len(e.keys))
            for key, value in zip(e.keys, e.values):
                self.emit(c + 1, "-", "DictItem")
                self.expr_child(c + 2, "key", key)
                self.expr_child(c + 2, "value", value)
        elif t == "Set":
            self.emit(d, f, "Set")
            self.exprs(c, "elts", e.elts)
        elif t in ("ListComp", "SetComp", "GeneratorExp"):
            self.emit(d, f, t)
            self.expr_child(c, "elt", e.elt)
            self.items(c, "generators", e.generators, self.comprehension)
        elif t == "DictComp":
            self.emit(d, f, "DictComp")
            self.expr_child(c, "key", e.key)
            self.expr_child(c, "value", e.value)
            self.items(c, "generators", e.generators, self.comprehension)
        elif t in ("Await", "Yield", "YieldFrom"):
            self.emit(d, f, t)
            self.expr_child(c, "value", e.value)
        elif t == "Compare":
            self.emit(d, f, "Compare ops=%s" % ",".join(type(op).__name__ for op in e.ops))
            self.expr_child(c, "left", e.left)
            self.exprs(c, "comparators", e.comparators)
        elif t == "Call":
            self.emit(d, f, "Call")
            self.expr_child(c, "func", e.func)
            self.call_arguments(c, e.args, e.keywords)
        elif t == "JoinedStr":
            self.joined(d, f, e)
        elif t == "Constant":
            self.emit(d, f, self.constant(e.value))
        elif t == "Attribute":
            self.emit(d, f, "Attribute attr=%s ctx=%s" % (quote(e.attr), type(e.ctx).__name__))
            self.expr_child(c, "value", e.value)
        elif t == "Subscript":
            self.emit(d, f, "Subscript ctx=%s" % type(e.ctx).__name__)
            self.expr_child(c, "value", e.value)
            self.expr_child(c, "slice", e.slice)
        elif t == "Starred":
            self.emit(d, f, "Starred ctx=%s" % type(e.ctx).__name__)
            self.expr_child(c, "value", e.value)
        elif t == "Name":
            self.emit(d, f, "Name id=%s ctx=%s" % (quote(e.id), type(e.ctx).__name__))
        elif t in ("List", "Tuple"):
            self.emit(d, f, "%s ctx=%s" % (t, type(e.ctx).__name__))
            self.exprs(c, "elts", e.elts)
        elif t == "Slice":
            self.emit(d, f, "Slice")
            self.expr_child(c, "lower", e.lower)
            self.expr_child(c, "upper", e.upper)
            self.expr_child(c, "step", e.step)
        else:
            raise ValueError("unknown expression " + t)

    def comprehension(self, d, f, g):
        self.emit(d, f, "Comprehension async=%d" % g.is_async)
        self.expr_child(d + 1, "target", g.target)
        self.expr_child(d + 1, "iter", g.iter)
        self.exprs(d + 1, "ifs", g.ifs)

    @staticmethod
    def constant(value):
        if value is None or value is Ellipsis or isinstance(value, bool):
            return "Const %r" % (value,)
        if isinstance(value, str):
            return "Const str " + quote(value)
        if isinstance(value, bytes):
            return "Const bytes " + quote(value)
        if isinstance(value, int):
            return "Const int %d" % value
        if isinstance(value, float):
            return "Const float " + float_bits(value)
        if isinstance(value, complex):
            return "Const complex " + float_bits(value.imag)
        raise ValueError("unknown constant %r" % (value,))

    def joined(self, d, f, e):
        self.emit(d, f, "JoinedStr")
        self.emit(d + 1, "values", "[%d]" % len(e.values))
        for v in e.values:
            if isinstance(v, ast.Constant):
                self.emit(d + 2, "-", self.constant(v.value))
            else:
                self.emit(d + 2, "-", "FormattedValue conversion=%d" % v.conversion)
                self.expr_child(d + 3, "value", v.value)
                self.child(d + 3, "format_spec", v.format_spec, self.joined)

    # -- patterns ----------------------------------------------------------------------------
    def pattern(self, d, f, p):
        t = type(p).__name__
        c = d + 1
        if t == "MatchValue":
            self.emit(d, f, "MatchValue")
            self.expr_child(c, "value", p.value)
        elif t == "MatchSingleton":
            self.emit(d, f, "MatchSingleton %r" % (p.value,))
        elif t == "MatchSequence":
            self.emit(d, f, "MatchSequence")
            self.items(c, "patterns", p.patterns, self.pattern)
        elif t == "MatchMapping":
            self.emit(d, f, "MatchMapping rest=%s" % quote(p.rest or ""))
            self.exprs(c, "keys", p.keys)
            self.items(c, "patterns", p.patterns, self.pattern)
        elif t == "MatchClass":
            self.emit(d, f, "MatchClass")
            self.expr_child(c, "cls", p.cls)
            self.items(c, "patterns", p.patterns, self.pattern)
            self.emit(c, "keywords", "[%d]" % len(p.kwd_attrs))
            for attr, sub in zip(p.kwd_attrs, p.kwd_patterns):
                self.emit(c + 1, "-", "KeywordPattern attr=%s" % quote(attr))
                self.pattern(c + 2, "pattern", sub)
        elif t == "MatchStar":
            self.emit(d, f, "MatchStar name=%s" % quote(p.name or ""))
        elif t == "MatchAs":
            self.emit(d, f, "MatchAs name=%s" % quote(p.name or ""))
            self.child(c, "pattern", p.pattern, self.pattern)
        elif t == "MatchOr":
            self.emit(d, f, "MatchOr")
            self.items(c, "patterns", p.patterns, self.pattern)
        else:
            raise ValueError("unknown pattern " + t)


def dump_source(source):
    """The canonical dump of one module's UTF-8 text (bytes), or "ERROR <message>".

    The text is handed over as str, as our parser reads it: UTF-8 whatever a coding cookie
    says, a leading BOM skipped (CPython rejects U+FEFF inside a str source)."""
    source = source.decode("utf-8")
    if source.startswith("\ufeff"):
        source = source[1:]
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            tree = ast.parse(source)
    except (SyntaxError, ValueError) as error:  # ValueError: NUL bytes in older versions
        return "ERROR %s" % getattr(error, "msg", error)
    except (MemoryError, RecursionError):
        return "ERROR too deeply nested"
    dumper = Dumper()
    # The dump recurses once per tree level; CPython's parser admits trees deeper than the
    # default limit of 1000 (Python-level recursion costs no C stack in 3.12 and later).
    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(max(limit, 100000))
    try:
        dumper.module(tree)
    finally:
        sys.setrecursionlimit(limit)
    return "\n".join(dumper.lines)


def main(paths):
    for path in paths:
        with open(path, "rb") as f:
            source = f.read()
        sys.stdout.write("=== %s\n%s\n" % (path, dump_source(source)))


if __name__ == "__main__":
    main(sys.argv[1:])
