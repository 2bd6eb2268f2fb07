"""The Python layer over the library's C functions.

Lifetimes follow the library's ownership rules: the library starts once per process; a
``Palette`` registers one palette and deletes it (with everything its slots hold) when closed
or when the library stops; an ``Equation`` is a palette and a slot index, never a pointer, since
making equations moves the slots; Python objects the library calls back or reads through (get
callbacks, subscriber data, bound buffers, operators) are kept alive for as long as it can.
"""

import contextlib
import sys

from ._loader import load_library, make_ffi

ffi, declarations = make_ffi()

# Value types read and written as integers, as doubles, as addresses; the rest as text.
_INTEGER_TYPES = {"char", "short", "int"}
_FLOAT_TYPES = {"float", "double"}


class EquationManagerError(Exception):
    """A library call refused or failed; ``function`` names the C function."""

    def __init__(self, function, message):
        super().__init__("%s: %s" % (function, message))
        self.function = function


class RefusedError(EquationManagerError):
    """The library answered null or -1."""


class NotFoundError(RefusedError, KeyError):
    """Nothing of that name or index."""

    def __str__(self):
        return Exception.__str__(self)


class CallbackError(EquationManagerError):
    """A Python callback raised while the library called it. The exception was held until the
    library call returned; ``errors`` lists (callback kind, exception) for each, the first is
    also the ``__cause__``."""

    def __init__(self, function, errors):
        kind, first = errors[0]
        more = " (and %d more)" % (len(errors) - 1) if len(errors) > 1 else ""
        super().__init__(function, "%s raised %s: %s%s" % (kind, type(first).__name__, first,
                                                          more))
        self.errors = errors


# Process state -----------------------------------------------------------------------------


class _State:
    lib = None
    library_path = None
    started = False
    stopped = False
    counted = False
    live = None  # addresses of blocks handed out by the counted allocator
    allocator = ()  # the two C callbacks of the allocator pair
    depth = 0  # library calls in progress (callbacks may call in again)
    pending = []  # (kind, exception) raised by callbacks, reported when the outer call returns
    palettes = {}  # palette user-data address -> Palette, in registration order
    keep = []  # callbacks and buffers the registries hold until the library stops
    subscriptions = {}  # subscriber user-data address -> _Subscription


def library():
    """The loaded shared library (cffi ABI mode); loads it on first use."""
    if _State.lib is None:
        _State.lib, _State.library_path = load_library(ffi)
    return _State.lib


def library_path():
    library()
    return _State.library_path


def _address(pointer):
    return int(ffi.cast("uintptr_t", pointer))


def _text(pointer):
    return None if pointer == ffi.NULL else ffi.string(pointer).decode("utf-8", "replace")


def _call(function, *args):
    """Calls a C function; a callback's exception is raised once the outermost call returns."""
    c_function = getattr(library(), function)
    args = [a.encode("utf-8") if isinstance(a, str) else a for a in args]
    _State.depth += 1
    try:
        result = c_function(*args)
    finally:
        _State.depth -= 1
    if _State.depth == 0 and _State.pending:
        errors, _State.pending = _State.pending, []
        raise CallbackError(function, errors) from errors[0][1]
    return result


def _checked(function, *args, what="refused"):
    result = _call(function, *args)
    if (isinstance(result, int) and result == -1) or (
            isinstance(result, ffi.CData) and result == ffi.NULL):
        raise RefusedError(function, what)
    return result


def _guarded(kind, func, default=None):
    """Runs a Python callback for the library: an exception never unwinds through C; it is
    kept and raised after the library call that led here returns."""

    def run(*args):
        try:
            return func(*args)
        except BaseException as error:  # noqa: B902 -- even KeyboardInterrupt must not cross C
            _State.pending.append((kind, error))
            return default

    return run


def _callback(ctype, kind, func, default=None):
    def on_error(exception_type, value, traceback):
        _State.pending.append((kind, value))

    return ffi.callback(ctype, _guarded(kind, func, default), onerror=on_error)


def _require_started(function):
    if not _State.started:
        raise EquationManagerError(function, "the library is not started (call start())"
                                   if not _State.stopped else "the library was stopped")


# Start and stop ----------------------------------------------------------------------------


def start(counted=False):
    """Starts the library, once per process. ``counted`` counts the allocator's live blocks
    (``live_blocks()``); otherwise the C runtime's malloc and free serve it directly."""
    if _State.started:
        return
    if _State.stopped:
        raise EquationManagerError("KVAEQM_Init", "the library starts once per process and "
                                   "was stopped")
    lib = library()
    c = ffi.dlopen(None) if sys.platform != "win32" else ffi.dlopen("msvcrt")
    if counted:
        live = _State.live = set()

        def allocate(size):
            block = c.malloc(size or 1)
            if block != ffi.NULL:
                live.add(_address(block))
            return block

        def release(block):
            live.discard(_address(block))
            c.free(block)

        pair = (ffi.callback("MemoryAllocFunc", allocate), ffi.callback("MemoryFreeFunc", release))
    else:
        pair = (ffi.cast("MemoryAllocFunc", ffi.addressof(c, "malloc")),
                ffi.cast("MemoryFreeFunc", ffi.addressof(c, "free")))
    _State.allocator = (c, pair)
    _State.counted = counted
    lib.KVAEQM_Init(pair[0], pair[1], ffi.NULL)
    if lib.KVAOP_GetNumTypes() <= 1:
        raise EquationManagerError("KVAEQM_Init", "the library did not start")
    _State.started = True


def stop():
    """Deletes every palette still open, then stops the library (final for the process). The
    allocator pair stays usable, so ``live_blocks()`` can still be asked."""
    if not _State.started:
        return
    failure = None
    for palette in list(_State.palettes.values()):
        try:
            palette.close()  # deleted even when a destructor raises
        except CallbackError as error:
            failure = failure or error
    _call("KVAEQM_Exit")
    _State.started = False
    _State.stopped = True
    _State.keep = []
    if failure is not None:
        raise failure


def is_started():
    return _State.started


def live_blocks():
    """The number of blocks the library holds from the counted allocator."""
    if _State.live is None:
        raise EquationManagerError("live_blocks", "the library was not started with counted=True")
    return len(_State.live)


@contextlib.contextmanager
def started(counted=False):
    """``with started():`` starts the library and stops it at the end."""
    start(counted)
    try:
        yield sys.modules[__name__.rpartition(".")[0]]
    finally:
        stop()


# Parameters and variables ------------------------------------------------------------------


class Parameter:
    """A parameter of an equation, or a result variable. It is found again on every use (by
    its equation and position), so it stays right when equations move; the one a callback is
    given is valid during the callback."""

    def __init__(self, locate):
        self._locate = locate

    @classmethod
    def _of(cls, locate):
        pointer = locate()
        type_id = pointer.typeId if pointer != ffi.NULL else 0
        kind = {1: LiteralParameter, 6: ReferenceParameter}.get(type_id, VariableParameter)
        return kind(locate)

    @property
    def _pointer(self):
        pointer = self._locate()
        if pointer == ffi.NULL:
            raise EquationManagerError("KVAEQ_GetParameterN", "the parameter is gone")
        return ffi.cast("Parameter *", pointer)

    @property
    def type_name(self):
        return _text(_call("KVAP_GetTypeName", self._pointer))

    @property
    def type_id(self):
        return _call("KVAP_GetTypeID", self._pointer)

    @property
    def value_type(self):
        return _text(_call("KVAP_GetDataTypeName", self._pointer))

    @value_type.setter
    def value_type(self, name):
        _call("KVAP_SetDataTypeName", self._pointer, name)

    @property
    def enabled(self):
        return bool(_call("KVAP_GetEnabled", self._pointer))

    @enabled.setter
    def enabled(self, enabled):
        _call("KVAP_SetEnabled", self._pointer, 1 if enabled else 0)

    def _string(self, as_value):
        out = ffi.new("char **")
        _call("KVAP_GetString", self._pointer, out, as_value)
        return _text(out[0])

    @property
    def text(self):
        """The value as text, in its value type's format."""
        return self._string(1)

    @text.setter
    def text(self, text):
        _call("KVAP_SetString", self._pointer, text, 1)

    def as_int(self):
        return _call("KVAP_GetInteger", self._pointer)

    def as_float(self):
        return _call("KVAP_GetDouble", self._pointer)

    @property
    def value(self):
        """Read through the value type: int, float, address (int) or text. Reading a variable
        refreshes it; reading a reference runs the equation it names."""
        value_type = self.value_type
        if value_type in _INTEGER_TYPES:
            return self.as_int()
        if value_type == "address":
            return _address(_call("KVAP_GetAddress", self._pointer))
        if value_type in _FLOAT_TYPES or not value_type:
            return self.as_float()
        return self.text

    @value.setter
    def value(self, value):
        if isinstance(value, str):
            self.text = value
        elif isinstance(value, int) and self.value_type in _INTEGER_TYPES:
            _call("KVAP_SetInteger", self._pointer, value)
        else:
            _call("KVAP_SetDouble", self._pointer, float(value))

    def __repr__(self):
        return "<%s %s %r>" % (type(self).__name__, self.type_name, self.text)


class LiteralParameter(Parameter):
    pass


class ReferenceParameter(Parameter):
    @property
    def reference_name(self):
        return _text(_call("KVAP_GetEquationReferenceName", self._pointer))

    @reference_name.setter
    def reference_name(self, name):
        _call("KVAP_SetEquationReferenceName", self._pointer, name)


class VariableParameter(Parameter):
    @property
    def _variable(self):
        return ffi.cast("Variable *", self._pointer)

    @property
    def name(self):
        return _text(_call("KVAP_GetVariableName", self._variable))

    @name.setter
    def name(self, name):
        _call("KVAP_SetVariableName", self._variable, name)

    @property
    def address(self):
        return _address(_call("KVAP_GetVariableAddress", self._variable))


def _buffer_element(buffer, index):
    """(cdata keeping the buffer exported, address of element index, value type)."""
    view = memoryview(buffer)
    code = view.format.lstrip("@=<>!")
    if code in "fd" and view.itemsize in (4, 8):
        value_type = "float" if view.itemsize == 4 else "double"
    elif code in "bhilqn" and view.itemsize in (1, 2, 4):
        value_type = {1: "char", 2: "short", 4: "int"}[view.itemsize]
    else:
        raise TypeError("a bound buffer holds doubles, floats or 8-, 16- or 32-bit signed "
                        "integers, not format %r" % view.format)
    if not view.c_contiguous:
        raise TypeError("a bound buffer must be contiguous")
    count = view.nbytes // view.itemsize
    if not 0 <= index < count:
        raise IndexError("element %d of a buffer of %d" % (index, count))
    data = ffi.from_buffer(buffer)  # holds the export: the buffer cannot be resized meanwhile
    return data, ffi.cast("char *", data) + index * view.itemsize, value_type


class Literal:
    """A literal parameter: ``Literal(2)`` an "int", ``Literal(0.5)`` a "double", or the value
    given as text in the named value type."""

    def __init__(self, value, value_type=None):
        if value_type is None:
            if isinstance(value, bool) or isinstance(value, int):
                value_type = "int"
            elif isinstance(value, float):
                value_type = "double"
            else:
                value_type = "string"
        if isinstance(value, bool):
            value = int(value)
        self.value_type = value_type
        self.text = repr(value) if isinstance(value, float) else str(value)


def File(path):
    """A file name for "AsciiFile": a "string" literal (at most 79 characters are kept)."""
    return Literal(str(path), "string")


class Bound:
    """A variable bound to element ``index`` of a Python-owned buffer (a numpy array or an
    ``array.array``): every read takes the element as it is now. The value type follows the
    element type ("double", "float", "int", "short", "char")."""

    def __init__(self, buffer, index=0, name="", parameter_type="Temporary"):
        self.buffer, self.index, self.name, self.parameter_type = buffer, index, name, \
            parameter_type


class Getter:
    """A variable refreshed by ``func(variable)`` before each read; a value it returns is
    stored in the variable (``None``: it stored one itself)."""

    def __init__(self, func, value_type="double", name="", parameter_type="Temporary"):
        self.func, self.value_type, self.name, self.parameter_type = func, value_type, name, \
            parameter_type


class AppVariable:
    """An "App Variable" parameter bound to the registered application variable ``name``."""

    def __init__(self, name):
        self.name = name


class Reference:
    """A reference to another equation by name; reading it runs that equation."""

    def __init__(self, equation_name):
        self.equation_name = equation_name


def _as_source(source):
    if isinstance(source, (Literal, Bound, Getter, AppVariable, Reference)):
        return source
    if isinstance(source, (int, float, str)):
        return Literal(source)
    raise TypeError("a parameter is a number, a text, or Literal, Bound, Getter, AppVariable "
                    "or Reference; not %r" % (source,))


def _variable_type_id(name):
    type_id = _call("KVAP_IDOfName", name)
    if type_id == 0 or not _call("KVAP_GetParameterTypeLValueEnabled", type_id):
        raise RefusedError("KVAP_IDOfName", "%r is not a variable parameter type" % name)
    return type_id


# Equations ---------------------------------------------------------------------------------


class Parameters:
    """The parameter list of an equation: indexable, assignable, sized."""

    def __init__(self, equation):
        self._equation = equation

    def __len__(self):
        return _call("KVAEQ_GetNumParameters", self._equation._pointer)

    def _locate(self, position):
        equation = self._equation
        return lambda: _call("KVAEQ_GetParameterN", equation._pointer, position)

    def __getitem__(self, position):
        if position < 0:
            position += len(self)
        if not 0 <= position < len(self):
            raise IndexError("parameter %d of %d" % (position, len(self)))
        return Parameter._of(self._locate(position))

    def __iter__(self):
        return (self[i] for i in range(len(self)))

    def __setitem__(self, position, source):
        if position < 0:
            position += len(self)
        if not 0 <= position < len(self):
            raise IndexError("parameter %d of %d" % (position, len(self)))
        self._equation._store(position, _as_source(source))


class Equation:
    """An equation: its palette and slot index (making equations moves slots, so no pointer is
    kept). It stays valid until deleted; moving it updates ``index``."""

    def __init__(self, palette, index):
        self.palette = palette
        self.index = index

    def __eq__(self, other):
        return isinstance(other, Equation) and (self.palette, self.index) == (other.palette,
                                                                              other.index)

    def __hash__(self):
        return hash((id(self.palette), self.index))

    def __repr__(self):
        try:
            return "<Equation %d %r>" % (self.index, self.name)
        except EquationManagerError:
            return "<Equation %d (gone)>" % self.index

    @property
    def _pointer(self):
        pointer = _call("KVAEP_GetEquation", self.palette._pointer, self.index)
        if pointer == ffi.NULL:
            raise NotFoundError("KVAEP_GetEquation", "no live equation at index %d" % self.index)
        return pointer

    @property
    def exists(self):
        return (self.palette.is_open and
                _call("KVAEP_GetEquation", self.palette._pointer, self.index) != ffi.NULL)

    @property
    def name(self):
        return _text(_call("KVAEQ_GetName", self._pointer))

    @name.setter
    def name(self, name):
        _call("KVAEQ_SetName", self._pointer, name)

    @property
    def operator(self):
        return _text(_call("KVAEQ_GetOperatorName", self._pointer))

    @operator.setter
    def operator(self, name):
        """Sets the operator by name; the parameter list is not resized."""
        _call("KVAEQ_SetOperatorName", self._pointer, name)

    @property
    def operator_id(self):
        return _call("KVAEQ_GetOperatorID", self._pointer)

    @property
    def trigger(self):
        return _text(_call("KVAEQ_GetTriggerName", self._pointer))

    @trigger.setter
    def trigger(self, name):
        _call("KVAEQ_SetTriggerName", self._pointer, name)

    @property
    def result(self):
        """The result variable."""
        return VariableParameter(lambda: _checked("KVAEQ_GetVariable", self._pointer))

    def set_result(self, name=None, value_type=None, parameter_type=None, initial=None):
        if parameter_type is not None:
            _variable_type_id(parameter_type)
            _call("KVAEP_SetLVariableTypeName", self.palette._pointer, self._pointer,
                  parameter_type)
        result = self.result
        if value_type is not None:
            result.value_type = value_type
        if name is not None:
            result.name = name
        if initial is not None:
            result.value = initial
        return self

    @property
    def parameters(self):
        return Parameters(self)

    @parameters.setter
    def parameters(self, sources):
        sources = [_as_source(source) for source in sources]
        _call("KVAEQ_SetNumParameters", self._pointer, len(sources))
        if len(self.parameters) != len(sources):
            raise RefusedError("KVAEQ_SetNumParameters", "could not make %d parameters"
                               % len(sources))
        for position, source in enumerate(sources):
            self._store(position, source)

    def _replace(self, position, type_id):
        old = _call("KVAEQ_GetParameterN", self._pointer, position)
        made = _call("KVAEQ_NewParameterN", self._pointer, position, type_id)
        if made == ffi.NULL:
            raise RefusedError("KVAEQ_NewParameterN", "could not make parameter %d" % position)
        if old != ffi.NULL:  # the equation does not release what it replaces
            self.palette._keep.pop(_address(old), None)
            _call("KVAP_Delete", old)
        return made

    def _store(self, position, source):
        pointer = _call("KVAEQ_GetParameterN", self._pointer, position)
        keep = None
        if isinstance(source, Literal):
            if pointer == ffi.NULL or pointer.typeId != 1:
                pointer = self._replace(position, 1)
            _call("KVAP_SetDataTypeName", pointer, source.value_type)
            _call("KVAP_SetString", pointer, source.text, 1)
        elif isinstance(source, Reference):
            pointer = self._replace(position, _call("KVAP_IDOfName", "Equation"))
            _call("KVAP_SetEquationReferenceName", pointer, source.equation_name)
        else:
            if isinstance(source, AppVariable):
                type_name, address = ffi.new("char **"), ffi.new("void **")
                _call("KVAEQM_GetAppVariableByName", source.name, type_name, address)
                if address[0] == ffi.NULL:
                    raise NotFoundError("KVAEQM_GetAppVariableByName",
                                        "no application variable %r" % source.name)
                value_type, bound, name = _text(type_name[0]), address[0], source.name
                parameter_type = "App Variable"
            elif isinstance(source, Bound):
                keep, bound, value_type = _buffer_element(source.buffer, source.index)
                name, parameter_type = source.name, source.parameter_type
            else:  # Getter
                value_type, bound, name = source.value_type, None, source.name
                parameter_type = source.parameter_type
            pointer = self._replace(position, _variable_type_id(parameter_type))
            variable = ffi.cast("Variable *", pointer)
            _call("KVAP_SetDataTypeName", pointer, value_type)
            _call("KVAP_SetVariableName", variable, name)
            if bound is not None:
                _call("KVAP_SetVariableAddress", variable, bound)
            if isinstance(source, Getter):
                func = source.func

                def refresh(parameter, user_data):
                    variable = VariableParameter(lambda: parameter)
                    value = func(variable)
                    if value is not None:
                        variable.value = value

                keep = _callback("VariableGetFunc", "get callback", refresh)
                _call("KVAP_SetVariableGetFunc", variable, keep)
        if keep is not None:
            self.palette._keep[_address(pointer)] = keep

    # Subscribers

    def subscribe(self, subscriber_type, user_data=None, notify=None):
        """Adds a subscriber of the type; ``notify(result, user_data)``, when given, replaces
        the type's. Returns its position."""
        subscription = _Subscription(subscriber_type, user_data, notify)
        try:
            position = _call("KVAEQ_RegisterSubscriber", self._pointer, subscriber_type.id,
                             subscription.notify if notify else ffi.NULL, subscription.handle)
        except BaseException:
            _State.subscriptions.pop(subscription.key, None)
            raise
        if position < 0:
            _State.subscriptions.pop(subscription.key, None)
            raise RefusedError("KVAEQ_RegisterSubscriber", "could not make the subscriber")
        return position

    @property
    def num_subscribers(self):
        return _call("KVAEQ_GetNumSubscribers", self._pointer)

    def unsubscribe_all(self):
        """Deletes every subscriber; their type's ``destroy`` runs."""
        _call("KVAEQ_UnregisterAllSubscribers", self._pointer)

    def refresh_subscribers(self):
        """Rebuilds the subscriber list by asking every subscriber type's interest."""
        _call("KVAEP_ReinitializeSubscriberList", self.palette._pointer, self._pointer)

    # Copying, moving, deleting

    def copy(self, index=-1):
        """Copies the equation (as "Copy of <name>", without subscribers) to the slot index
        (-1: the lowest free one); returns the copy."""
        copy = _checked("KVAEP_CopyEquation", self.palette._pointer, self._pointer, index)
        return Equation(self.palette, copy.index)

    def copy_to(self, other):
        """Copies this equation's contents, name included, over another of the palette."""
        _call("KVAEP_CopyEqToEq", self.palette._pointer, self._pointer, other._pointer)

    def move(self, index):
        moved = _checked("KVAEP_MoveEquation", self.palette._pointer, self._pointer, index)
        self.index = moved.index
        return self

    def move_up(self):
        moved = _checked("KVAEP_MoveEquationUpOne", self.palette._pointer, self._pointer)
        self.index = moved.index
        return self

    def move_down(self):
        moved = _checked("KVAEP_MoveEquationDownOne", self.palette._pointer, self._pointer)
        self.index = moved.index
        return self

    def delete(self):
        """Releases what the equation holds now (subscribers, whose destructors run, parameters,
        result variable), then frees its slot."""
        self.palette._close_playback(self)
        pointer = self._pointer
        _call("KVAEQ_UnregisterAllSubscribers", pointer)
        pointer = self._pointer  # a destructor may have edited the palette
        if pointer.subscribers != ffi.NULL:
            _call("KVAMEM_Free", pointer.subscribers)
            pointer.subscribers = ffi.NULL
            pointer.subscriberCapacity = 0
        for position in range(pointer.numParameters):
            self.palette._keep.pop(_address(pointer.parameters[position]), None)
        _call("KVAEQ_SetNumParameters", pointer, 0)
        _call("KVAP_FreeVariable", _call("KVAEQ_GetVariable", pointer))
        pointer.variable = ffi.NULL
        _call("KVAEP_DeleteEquation", self.palette._pointer, pointer)


# Palettes ----------------------------------------------------------------------------------


class Palette:
    """The equations of one host database, registered under ``user_data`` (any Python object;
    interest callbacks receive the Palette, whose ``user_data`` it is). Close it (or use it as
    a context manager) to delete it; ``stop()`` closes what is left."""

    def __init__(self, user_data=None):
        _require_started("KVAEQM_NewEquationPalette")
        self.user_data = user_data
        self._handle = ffi.new_handle(self)  # distinct and non-null for every palette
        self._keep = {}  # parameter address -> buffer export or get callback it reads through
        self._record = _checked("KVAEQM_NewEquationPalette", self._handle)
        _State.palettes[_address(self._handle)] = self

    def __repr__(self):
        return "<Palette %r%s>" % (self.user_data, "" if self.is_open else " (closed)")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def is_open(self):
        return self._record is not None

    @property
    def _pointer(self):
        if self._record is None:
            raise EquationManagerError("KVAEQM_GetEquationPalette", "the palette is closed")
        return self._record

    def new_equation(self, name=None, operator=None, trigger=None, parameters=None, result=None,
                     index=-1):
        """Makes an equation in slot ``index`` (-1: the lowest free one). ``parameters`` is a
        list of numbers, texts, Literal, Bound, Getter, AppVariable or Reference; without it the
        operator's count of literals is made. ``result`` is a dict of ``set_result``'s
        arguments."""
        slot = ffi.new("int32_t *", index)
        _checked("KVAEP_NewEquation", self._pointer, slot)
        equation = Equation(self, slot[0])
        if name is not None:
            equation.name = name
        if operator is not None:
            equation.operator = operator
            if equation.operator_id == 0:
                raise NotFoundError("KVAOP_IDOfName", "no operator %r" % operator)
        if trigger is not None:
            equation.trigger = trigger
        if result:
            equation.set_result(**result)
        if parameters is not None:
            equation.parameters = parameters
        elif operator is not None:
            _call("KVAEQ_SetNumParameters", equation._pointer,
                  _call("KVAOP_GetNumParameters", equation.operator_id))
        return equation

    def _equation_of(self, pointer):
        return None if pointer == ffi.NULL else Equation(self, pointer.index)

    def __getitem__(self, key):
        """``palette[index]`` or ``palette["name"]``."""
        if isinstance(key, str):
            found = self._equation_of(_call("KVAEP_FindEquationByName", self._pointer, key))
            if found is None:
                raise NotFoundError("KVAEP_FindEquationByName", "no equation named %r" % key)
            return found
        found = self._equation_of(_call("KVAEP_GetEquation", self._pointer, key))
        if found is None:
            raise NotFoundError("KVAEP_GetEquation", "no live equation at index %r" % key)
        return found

    def find(self, name, default=None):
        try:
            return self[name]
        except NotFoundError:
            return default

    def __contains__(self, name):
        return self.find(name) is not None

    def __iter__(self):
        """The live equations by ascending index, taken again at each step (so the loop's body
        may edit the palette)."""
        index = 0
        while self.is_open and index < _call("KVAEP_GetNumEquations", self._pointer):
            if _call("KVAEP_GetEquation", self._pointer, index) != ffi.NULL:
                yield Equation(self, index)
            index += 1

    def __len__(self):
        return sum(1 for _ in self)

    def iterate(self, func):
        """Walks the live equations through the library: ``func(equation)``; answering False
        stops the walk."""

        def step(user_data, equation, context):
            return 0 if func(Equation(self, equation.index)) is False else 1

        callback = _callback("EquationIterateFunc", "iterate callback", step, 0)
        if not _call("KVAEP_IterateEquations", self._handle, callback, ffi.NULL):
            raise RefusedError("KVAEP_IterateEquations", "no such palette")

    def copy_from(self, source):
        """Replaces this palette's equations by a packed copy of the source's."""
        _call("KVAEP_CopyEPalette", self._handle, source._handle)

    def clear(self):
        """Releases every equation (subscriber destructors run); the slots stay."""
        for equation in self:
            self._close_playback(equation)
        _call("KVAEP_ClearPalette", self._pointer)
        self._keep.clear()

    def refresh_subscribers(self):
        for equation in self:
            equation.refresh_subscribers()

    def value(self, name, kind=float):
        return get_value(name, kind, self)

    def set_value(self, name, value):
        set_value(name, value, self)

    def bind(self, name, buffer, index=0):
        """Binds every variable of that name in this palette to element ``index`` of buffer."""
        data, address, _ = _buffer_element(buffer, index)
        _call("KVAEQM_SetAddress", self._handle, name, address)
        self._keep[("bind", name)] = data

    def _close_playback(self, equation):
        # The library does not close a playback file an "AsciiFile" equation left open; the
        # equation closes it when it runs with its enable parameter 0.
        if equation.operator != "AsciiFile" or len(equation.parameters) != 4:
            return
        equation.parameters[0] = Literal(0)
        reference = _call("KVAP_New", _call("KVAP_IDOfName", "Equation"))
        if reference == ffi.NULL:
            return
        try:
            _call("KVAP_SetEquationReference", reference, equation._pointer)
            _call("KVAP_GetDouble", reference)
        finally:
            _call("KVAP_Delete", reference)

    def close(self):
        """Deletes the palette with everything its slots hold (subscriber destructors run)."""
        if self._record is None:
            return
        try:
            for equation in self:
                self._close_playback(equation)
        finally:
            record, self._record = self._record, None
            _State.palettes.pop(_address(self._handle), None)
            _call("KVAEQM_DeleteEquationPalette", self._handle)
            self._keep.clear()
            del record


def palettes():
    """The open palettes, in registration order."""
    return list(_State.palettes.values())


def _palette_of(user_data):
    return _State.palettes.get(_address(user_data))


def find_equation(name):
    """The first equation of that name, palettes in registration order."""
    pointer = _call("KVAEQM_FindEquationByName", name)
    if pointer != ffi.NULL:
        for palette in _State.palettes.values():
            slots = _address(palette._pointer.slots)
            if slots <= _address(pointer) < slots + palette._pointer.capacity * ffi.sizeof(
                    "Equation"):
                return Equation(palette, pointer.index)
    raise NotFoundError("KVAEQM_FindEquationByName", "no equation named %r" % name)


# Subscribers -------------------------------------------------------------------------------


class _Subscription:
    """The user data of one subscriber: alive until its destructor runs."""

    def __init__(self, subscriber_type, user_data, notify):
        self.type = subscriber_type
        self.user_data = user_data
        self.handle = ffi.new_handle(self)
        self.key = _address(self.handle)
        self.notify = None
        if notify is not None:
            self.notify = _callback(
                "SubscriberNotifyFunc", "subscriber", lambda result, _: notify(
                    VariableParameter(lambda: result), self.user_data))
        _State.subscriptions[self.key] = self


class SubscriberType:
    """A subscriber type: ``notify(result, user_data)`` is told of each new result,
    ``interest(equation, palette)`` is asked when subscriber lists are rebuilt and subscribes
    with ``equation.subscribe(this_type, user_data)``, ``destroy(user_data)`` runs when a
    subscriber is deleted. Registered until the library stops."""

    def __init__(self, name, notify=None, interest=None, destroy=None):
        _require_started("KVAS_RegisterSubscriberType")
        self.name = name

        def on_notify(result, user_data):
            subscription = _State.subscriptions.get(_address(user_data))
            notify(VariableParameter(lambda: result),
                   subscription.user_data if subscription else None)

        def on_interest(equation, palette_user_data):
            palette = _palette_of(palette_user_data)
            if palette is not None:
                interest(Equation(palette, equation.index), palette)

        def on_destroy(user_data):
            subscription = _State.subscriptions.pop(_address(user_data), None)
            if destroy is not None and subscription is not None:
                destroy(subscription.user_data)

        callbacks = (
            _callback("SubscriberDestructorFunc", "subscriber destructor", on_destroy),
            _callback("SubscriberNotifyFunc", "subscriber", on_notify) if notify else ffi.NULL,
            _callback("SubscriberInterestFunc", "interest callback", on_interest)
            if interest else ffi.NULL)
        _State.keep.append(callbacks)
        self.id = _checked("KVAS_RegisterSubscriberType", name, *callbacks)

    def __repr__(self):
        return "<SubscriberType %d %r>" % (self.id, self.name)


def refresh_subscribers():
    """Rebuilds the subscriber list of every live equation of every palette."""
    _call("KVAEQM_RefreshAllSubscribers")


# Operators, triggers, application variables, values by name --------------------------------


def register_operator(name, num_parameters, func):
    """A host operator: ``func(result, parameters)`` reads the parameters and writes the
    result variable, or returns the value to store in it. Returns its identifier."""
    _require_started("KVAOP_RegisterOperator")

    def run(result, count, parameters):
        args = [Parameter._of(lambda p=parameters[i]: p) for i in range(count)]
        variable = VariableParameter(lambda: result)
        value = func(variable, args)
        if value is not None:
            variable.value = value
        return 1

    callback = _callback("OperatorFunc", "operator %r" % name, run, 0)
    _State.keep.append(callback)
    _checked("KVAOP_RegisterOperator", num_parameters, name, callback)
    return _call("KVAOP_GetNumTypes") - 1


def operator_id(name):
    return _call("KVAOP_IDOfName", name)


def register_trigger(name):
    """Registers a trigger and returns its identifier."""
    _require_started("KVAT_RegisterTrigger")
    return _checked("KVAT_RegisterTrigger", name).triggerId


def trigger_id(name):
    return _call("KVAT_IDOfName", name)


def evaluate(trigger):
    """Runs every equation of the trigger, given by name or identifier."""
    _require_started("KVAEQM_Evaluate")
    if isinstance(trigger, str):
        _call("KVAEQM_EvaluateTriggerName", trigger)
    else:
        _call("KVAEQM_Evaluate", trigger)


def register_app_variable(name, buffer, index=0):
    """Registers an application variable held in element ``index`` of a Python buffer."""
    _require_started("KVAEQM_RegisterAppVariable")
    data, address, value_type = _buffer_element(buffer, index)
    _State.keep.append(data)
    _call("KVAEQM_RegisterAppVariable", name, value_type, address)


def app_variable(name):
    """(value type, address) of a registered application variable."""
    type_name, address = ffi.new("char **"), ffi.new("void **")
    _call("KVAEQM_GetAppVariableByName", name, type_name, address)
    if type_name[0] == ffi.NULL:
        raise NotFoundError("KVAEQM_GetAppVariableByName", "no application variable %r" % name)
    return _text(type_name[0]), _address(address[0])


def _database(palette):
    return ffi.NULL if palette is None else palette._handle


def get_value(name, kind=float, palette=None):
    """The first variable or parameter of that name (in ``palette``, or in every palette), read
    as ``float`` or ``int``; 0 when nothing bears the name."""
    function = "KVAEQM_GetValueInt" if kind is int else "KVAEQM_GetValueDouble"
    return _call(function, _database(palette), name)


def set_value(name, value, palette=None):
    """Writes every variable or parameter of that name (never bound memory)."""
    if isinstance(value, int) and not isinstance(value, bool):
        _call("KVAEQM_SetValueInt", _database(palette), name, value)
    else:
        _call("KVAEQM_SetValueDouble", _database(palette), name, float(value))
