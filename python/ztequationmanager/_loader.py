"""Finds the public headers and the shared library, and binds one to the other with cffi."""

import ctypes.util
import glob
import os
import sys

import cffi

from ._headers import read_declarations

PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))
LIBRARY_VARIABLE = "ZTEQM_LIBRARY"
HEADERS_VARIABLE = "ZTEQM_INCLUDE_DIR"


class LibraryNotFoundError(OSError):
    """No copy of the shared library could be loaded; the message lists every place tried."""


def header_dir():
    """The headers the package reads: $ZTEQM_INCLUDE_DIR, the copy installed with the package,
    or, when running from the source tree, the tree's own."""
    candidates = []
    if os.environ.get(HEADERS_VARIABLE):
        candidates.append(os.environ[HEADERS_VARIABLE])
    candidates.append(os.path.join(PACKAGE_DIR, "include"))
    candidates.append(os.path.join(PACKAGE_DIR, os.pardir, os.pardir, "EquationManager",
                                   "include", "ztequationmanager"))
    for candidate in candidates:
        if os.path.isfile(os.path.join(candidate, "ztequationmanager.h")):
            return os.path.normpath(candidate)
    raise ImportError("ztequationmanager: no public headers (ztequationmanager.h) in " +
                      ", ".join(os.path.normpath(c) for c in candidates))


def _beside_package():
    patterns = ("libztequationmanager.so*", "libztequationmanager*.dylib",
                "ztequationmanager.dll", "libztequationmanager*.dll")
    found = []
    for pattern in patterns:
        found.extend(sorted(glob.glob(os.path.join(PACKAGE_DIR, pattern)), key=len))
    return found


def library_candidates(environ=None):
    """Where the library is looked for, in order: (place, how it was found)."""
    environ = os.environ if environ is None else environ
    if environ.get(LIBRARY_VARIABLE):
        # An explicit choice is not silently replaced by another copy.
        return [(environ[LIBRARY_VARIABLE], "$" + LIBRARY_VARIABLE)]
    candidates = [(path, "beside the package") for path in _beside_package()]
    if not candidates:
        candidates.append((os.path.join(PACKAGE_DIR, "libztequationmanager.so*"),
                           "beside the package"))
    system = ctypes.util.find_library("ztequationmanager")
    if system:
        candidates.append((system, "system library path"))
    plain = {"win32": "ztequationmanager.dll", "darwin": "libztequationmanager.dylib"}
    candidates.append((plain.get(sys.platform, "libztequationmanager.so"), "system library path"))
    return candidates


def load_library(ffi, environ=None):
    tried = []
    for place, how in library_candidates(environ):
        if "*" in place:
            tried.append("%s (%s): no such file" % (place, how))
            continue
        try:
            return ffi.dlopen(place), place
        except OSError as error:
            tried.append("%s (%s): %s" % (place, how, error))
    raise LibraryNotFoundError(
        "ztequationmanager: cannot load the shared library; set $%s to its path, place it "
        "beside the package, or install it on the system library path. Tried:\n  %s"
        % (LIBRARY_VARIABLE, "\n  ".join(tried)))


def make_ffi():
    declarations = read_declarations(header_dir())
    ffi = cffi.FFI()
    ffi.cdef(declarations.text)
    ffi.cdef("void *malloc(size_t size); void free(void *block);")
    return ffi, declarations
