import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir))

# Run from the source tree without an install: the package beside these tests.
try:
    import ztequationmanager  # noqa: F401
except ImportError:
    sys.path.insert(0, os.path.join(SOURCE, "python"))

# Without $ZTEQM_LIBRARY, use the default build's library when there is one.
_built = os.path.join(SOURCE, "build", "default", "EquationManager", "libztequationmanager.so")
if not os.environ.get("ZTEQM_LIBRARY") and os.path.exists(_built):
    os.environ["ZTEQM_LIBRARY"] = _built

import ztequationmanager as eqm  # noqa: E402


@pytest.fixture(scope="session")
def library():
    """The library, started once for the whole session (it starts once per process)."""
    eqm.start(counted=True)
    yield eqm
    eqm.stop()


@pytest.fixture
def palette(library, request):
    with eqm.Palette(request.node.name) as made:
        yield made
