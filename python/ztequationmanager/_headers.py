"""Reads the library's public C headers into declarations that cffi accepts.

The headers are the one description of the interface, so the package reads them rather than
repeating them. A small preprocessor follows ``#include "..."``, keeps the branches of
``#if``/``#ifdef`` that apply to this platform, substitutes integer macros (``ZTEQM_NAME_SIZE``)
and drops every other macro where it is used: export and calling-convention decorations
(``ZTEQM_API`` and whatever joins it), the C++ linkage wrappers, string constants. What is left
is plain C declarations: typedefs, records and function prototypes.
"""

import os
import re
import sys

_DIRECTIVE = re.compile(r"^\s*#\s*(\w+)\s*(.*)$")
_DEFINE = re.compile(r"^(\w+)(\([^)]*\))?\s*(.*)$")
_IDENTIFIER = re.compile(r"\b[A-Za-z_]\w*\b")
_INTEGER_EXPRESSION = re.compile(r"^[\d\s()+\-*/<>|&~^]+$")


class HeaderError(Exception):
    """The headers could not be read into declarations."""


def _strip_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: " " + "\n" * m.group(0).count("\n"), text, flags=re.S)
    text = re.sub(r"//[^\n]*", "", text)
    return text.replace("\\\n", " ")


def _predefined():
    macros = {}
    if sys.platform == "win32":
        macros["_WIN32"] = (None, "1")
    return macros


def _integer(body):
    body = re.sub(r"\b(\d+)[uUlL]*\b", r"\1", body.strip())
    if body and _INTEGER_EXPRESSION.match(body):
        try:
            value = eval(body.replace("/", "//"), {"__builtins__": {}})  # digits and operators only
        except Exception:
            return None
        if isinstance(value, int):
            return value
    return None


class _Preprocessor:
    def __init__(self, include_dir):
        self.include_dir = include_dir
        self.macros = _predefined()  # name -> (parameters or None, body)
        self.seen = set()
        self.lines = []
        self.files = []

    def condition(self, expression):
        def defined(match):
            return "1" if (match.group(1) or match.group(2)) in self.macros else "0"

        expression = re.sub(r"defined\s*\(\s*(\w+)\s*\)|defined\s+(\w+)", defined, expression)
        expression = self.substitute(expression, for_condition=True)
        expression = expression.replace("&&", " and ").replace("||", " or ")
        expression = re.sub(r"!(?!=)", " not ", expression)
        try:
            return bool(eval(expression, {"__builtins__": {}}))
        except Exception as error:
            raise HeaderError("cannot evaluate #if %s: %s" % (expression, error)) from None

    def substitute(self, text, for_condition=False):
        """Integer macros become their value; every other macro (and its arguments) goes."""

        def function_like(match):
            parameters = self.macros.get(match.group(1), (None,))[0]
            return "" if parameters is not None else match.group(0)

        text = re.sub(r"\b(\w+)\s*\([^()]*\)", function_like, text)

        def replace(match):
            name = match.group(0)
            if name in ("and", "or", "not"):
                return name
            if name not in self.macros:
                return "0" if for_condition else name
            value = _integer(self.expand(name))
            if value is not None:
                return str(value)
            return "0" if for_condition else ""

        return _IDENTIFIER.sub(replace, text)

    def expand(self, name, depth=0):
        body = self.macros[name][1]
        if depth > 20:
            return body
        return _IDENTIFIER.sub(
            lambda m: self.expand(m.group(0), depth + 1) if m.group(0) in self.macros else m.group(0),
            body)

    def read(self, name):
        path = os.path.join(self.include_dir, name)
        if name in self.seen or not os.path.isfile(path):
            return
        self.seen.add(name)
        self.files.append(path)
        with open(path, encoding="utf-8") as handle:
            text = _strip_comments(handle.read())
        stack = []  # [active, a branch was taken] per open conditional
        for line in text.splitlines():
            active = all(entry[0] for entry in stack)
            match = _DIRECTIVE.match(line)
            if not match:
                if active:
                    self.lines.append(line)
                continue
            directive, rest = match.group(1), match.group(2).strip()
            if directive in ("if", "ifdef", "ifndef"):
                if not active:
                    stack.append([False, True])
                    continue
                if directive == "ifdef":
                    value = rest.split()[0] in self.macros
                elif directive == "ifndef":
                    value = rest.split()[0] not in self.macros
                else:
                    value = self.condition(rest)
                stack.append([value, value])
            elif directive == "elif":
                entry = stack[-1]
                if entry[1] or not all(e[0] for e in stack[:-1]):
                    entry[0] = False
                else:
                    entry[0] = entry[1] = self.condition(rest)
            elif directive == "else":
                entry = stack[-1]
                entry[0] = not entry[1] and all(e[0] for e in stack[:-1])
                entry[1] = True
            elif directive == "endif":
                stack.pop()
            elif not active:
                continue
            elif directive == "define":
                definition = _DEFINE.match(rest)
                if definition:
                    self.macros[definition.group(1)] = (definition.group(2), definition.group(3))
            elif directive == "undef":
                self.macros.pop(rest.split()[0], None)
            elif directive == "include":
                quoted = re.match(r'"([^"]+)"', rest)
                if quoted:  # <stdint.h> and other system headers: cffi knows their types
                    self.read(quoted.group(1))
        if stack:
            raise HeaderError("unterminated #if in " + path)


class Declarations:
    """The C declarations of the headers, and what was learnt on the way."""

    def __init__(self, text, functions, constants, files):
        self.text = text  # plain C declarations for cffi's cdef
        self.functions = functions  # names of the declared functions, in header order
        self.constants = constants  # integer macros, such as ZTEQM_NAME_SIZE
        self.files = files  # the headers read


def read_declarations(include_dir, top="ztequationmanager.h"):
    if not os.path.isfile(os.path.join(include_dir, top)):
        raise HeaderError("no %s in %s" % (top, include_dir))
    reader = _Preprocessor(include_dir)
    reader.read(top)
    text = reader.substitute("\n".join(reader.lines))
    text = "\n".join(" ".join(line.split()) for line in text.splitlines())
    text = re.sub(r"\n{3,}", "\n\n", text).strip() + "\n"
    constants = {}
    for name in reader.macros:
        if reader.macros[name][0] is None:
            value = _integer(reader.expand(name))
            if value is not None:
                constants[name] = value
    functions = []
    for statement in re.sub(r"\{[^{}]*\}", "{}", text).split(";"):
        statement = " ".join(statement.split())
        if not statement or statement.startswith(("typedef", "struct", "union", "enum")):
            continue
        name = re.search(r"(\w+)\s*\(", statement)
        if name:
            functions.append(name.group(1))
    return Declarations(text, functions, constants, reader.files)
