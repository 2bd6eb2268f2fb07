"""ztequationmanager from Python: the equation manager library driven through cffi.

    import ztequationmanager as eqm

    with eqm.started():
        with eqm.Palette("scene") as palette:
            eq = palette.new_equation("Sum", "+", "New Frame", [1.5, 2.5])
            eqm.evaluate("New Frame")
            print(eq.result.value)          # 4.0

The C functions themselves are reachable as ``eqm.library().KVAEQM_Init`` and so on, typed by
``eqm.ffi`` from the library's own headers.
"""

from ._api import (AppVariable, Bound, CallbackError, Equation, EquationManagerError, File,
                   Getter, Literal, LiteralParameter, NotFoundError, Palette, Parameter,
                   Parameters, Reference, ReferenceParameter, RefusedError, SubscriberType,
                   VariableParameter, app_variable, declarations, evaluate, ffi, find_equation,
                   get_value, is_started, library, library_path, live_blocks, operator_id,
                   palettes, refresh_subscribers, register_app_variable, register_operator,
                   register_trigger, set_value, start, started, stop, trigger_id)
from ._loader import LibraryNotFoundError, library_candidates

__version__ = "0.1.0"

__all__ = [
    "AppVariable", "Bound", "CallbackError", "Equation", "EquationManagerError", "File",
    "Getter", "LibraryNotFoundError", "Literal", "LiteralParameter", "NotFoundError", "Palette",
    "Parameter", "Parameters", "Reference", "ReferenceParameter", "RefusedError",
    "SubscriberType", "VariableParameter", "app_variable", "declarations", "evaluate", "ffi",
    "find_equation", "get_value", "is_started", "library", "library_candidates",
    "library_path", "live_blocks", "operator_id", "palettes", "refresh_subscribers",
    "register_app_variable", "register_operator", "register_trigger", "set_value", "start",
    "started", "stop", "trigger_id",
]
