"""The declarations the package reads from the headers match the C compiler and the library."""

import os
import re
import shutil
import subprocess

import pytest

import ztequationmanager as eqm
from ztequationmanager._headers import read_declarations

from conftest import SOURCE

ffi = eqm.ffi


def records():
    _, structs, unions = ffi.list_types()
    return [("struct " + name) for name in structs] + [("union " + name) for name in unions]


def test_every_record_has_the_c_compilers_size_and_field_offsets(tmp_path):
    compiler = shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if compiler is None:
        pytest.skip("no C compiler to compare with")
    expected, lines = [], []
    for record in records():
        expected.append("%s %d" % (record, ffi.sizeof(record)))
        lines.append('printf("%s %%zu\\n", sizeof(%s));' % (record, record))
        for name, field in ffi.typeof(record).fields:
            expected.append("%s.%s %d" % (record, name, field.offset))
            lines.append('printf("%s.%s %%zu\\n", offsetof(%s, %s));' % (record, name, record,
                                                                        name))
    assert len(records()) >= 15, records()
    source = tmp_path / "layout.c"
    source.write_text("#include <stddef.h>\n#include <stdio.h>\n#include \"ztequationmanager.h\"\n"
                      "int main(void) {\n" + "\n".join(lines) + "\nreturn 0;\n}\n")
    include = os.path.dirname(eqm.declarations.files[0])
    program = tmp_path / "layout"
    subprocess.run([compiler, "-std=c99", "-I", include, str(source), "-o", str(program)],
                   check=True)
    printed = subprocess.run([str(program)], check=True, capture_output=True,
                             text=True).stdout.split("\n")
    assert printed[:-1] == expected


def test_every_exported_function_is_declared_and_resolves(library):
    exports_map = os.path.join(SOURCE, "EquationManager", "exports.map")
    if not os.path.exists(exports_map):
        pytest.skip("not run from the source tree")
    with open(exports_map) as handle:
        text = re.sub(r"/\*.*?\*/", "", handle.read(), flags=re.S)
    exported = set(re.findall(r"\b(\w+)\s*;", text)) - {"local"}
    assert len(exported) == 192
    assert set(eqm.declarations.functions) == exported
    lib = eqm.library()
    missing = [name for name in sorted(exported) if not hasattr(lib, name)]
    assert missing == []


def test_the_reader_follows_changed_export_macros(tmp_path):
    """Export decorations, calling conventions and generated headers may change; the
    declarations read must not."""
    include = os.path.dirname(eqm.declarations.files[0])
    for name in os.listdir(include):
        shutil.copy(os.path.join(include, name), tmp_path)
    types_h = (tmp_path / "types.h").read_text()
    # The whole platform block, nested conditionals included, up to the C++ guards.
    types_h = re.sub(r"#if defined\(_WIN32\).*?#endif\n(?=\s*#ifdef __cplusplus)", """\
#if defined(_WIN32)
#  if defined(ZTEQM_BUILDING)
#    define ZTEQM_API __declspec(dllexport)
#  else
#    define ZTEQM_API __declspec(dllimport)
#  endif
#  define ZTEQM_CALL __cdecl
#elif defined(__GNUC__) && !defined(ZTEQM_STATIC)
#  define ZTEQM_API __attribute__((visibility("default")))
#  define ZTEQM_CALL
#else
#  define ZTEQM_API
#  define ZTEQM_CALL
#endif
#define ZTEQM_DEPRECATED(message) __attribute__((deprecated(message)))
""", types_h, flags=re.S)
    (tmp_path / "types.h").write_text(types_h)
    (tmp_path / "version.h").write_text('#define ZTEQM_VERSION_MAJOR 0\n'
                                        '#define ZTEQM_VERSION_STRING "0.1.0"\n')
    top = (tmp_path / "ztequationmanager.h").read_text()
    (tmp_path / "ztequationmanager.h").write_text(top.replace('#include "value.h"',
                                                              '#include "value.h"\n'
                                                              '#include "version.h"'))
    manager = (tmp_path / "manager.h").read_text()
    manager = manager.replace("ZTEQM_API void KVAEQM_Exit(void);",
                              "ZTEQM_DEPRECATED(\"stop\") ZTEQM_API void ZTEQM_CALL "
                              "KVAEQM_Exit(void);")
    (tmp_path / "manager.h").write_text(manager)
    changed = read_declarations(str(tmp_path))
    assert changed.functions == eqm.declarations.functions
    assert changed.text == eqm.declarations.text
    assert changed.constants["ZTEQM_VERSION_MAJOR"] == 0


def test_a_library_that_cannot_be_loaded_names_every_place_tried(tmp_path):
    missing = str(tmp_path / "libztequationmanager.so.9")
    with pytest.raises(eqm.LibraryNotFoundError) as error:
        from ztequationmanager._loader import load_library
        load_library(ffi, {"ZTEQM_LIBRARY": missing})
    assert missing in str(error.value) and "$ZTEQM_LIBRARY" in str(error.value)
    places = [how for _, how in eqm.library_candidates({})]
    assert places[0] == "beside the package" and places[-1] == "system library path"
