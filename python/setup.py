"""Installs the package with a copy of the library's public headers, which it reads at import
time (cffi ABI mode: no compiler is needed to install or to use it).

The headers are taken from the source tree (../EquationManager/include/ztequationmanager) or,
when $ZTEQM_INCLUDE_DIR names a directory, from there. Setting $ZTEQM_BUNDLE_LIBRARY to a built
libztequationmanager.so* places that copy beside the package, where it is found first after
$ZTEQM_LIBRARY.
"""

import glob
import os
import shutil

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))


class build_py_with_headers(build_py):
    def run(self):
        super().run()
        source = os.environ.get("ZTEQM_INCLUDE_DIR") or os.path.join(
            HERE, os.pardir, "EquationManager", "include", "ztequationmanager")
        target = os.path.join(self.build_lib, "ztequationmanager", "include")
        headers = sorted(glob.glob(os.path.join(source, "*.h")))
        if headers:
            os.makedirs(target, exist_ok=True)
            for header in headers:
                shutil.copy(header, target)
        elif not glob.glob(os.path.join(HERE, "ztequationmanager", "include", "*.h")):
            raise SystemExit("ztequationmanager: no public headers in %s (set ZTEQM_INCLUDE_DIR)"
                             % os.path.normpath(source))
        bundled = os.environ.get("ZTEQM_BUNDLE_LIBRARY")
        if bundled:
            shutil.copy(bundled, os.path.join(self.build_lib, "ztequationmanager"))


setup(cmdclass={"build_py": build_py_with_headers})
