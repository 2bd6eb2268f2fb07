"""One test per kind of object, each driving it through the Python layer and checking what the
library did with it."""

import array
import gc

import numpy
import pytest

import ztequationmanager as eqm


def test_palette_equations_made_found_iterated_copied_moved_deleted(palette):
    a = palette.new_equation("A", "+", "New Frame", [1.0, 2.0], {"name": "a"})
    b = palette.new_equation("B", "*", "New Frame", [eqm.Reference("A"), 10.0])
    assert (a.index, b.index) == (0, 1)
    assert palette["B"] == b and palette[0] == a and "A" in palette and "Z" not in palette
    with pytest.raises(eqm.NotFoundError, match="KVAEP_FindEquationByName"):
        palette["Z"]
    with pytest.raises(KeyError):
        palette[7]
    assert eqm.find_equation("B") == b
    # Enough equations to grow the slot array: every handle stays right, being an index.
    made = [palette.new_equation("E%d" % i, "Move Value", parameters=[float(i)])
            for i in range(30)]
    assert [e.name for e in palette][:3] == ["A", "B", "E0"] and len(palette) == 32
    assert made[0].parameters[0].value == 0.0 and b.operator == "*"
    copy = b.copy(40)
    assert (copy.index, copy.name, copy.num_subscribers) == (40, "Copy of B", 0)
    b.move(45)
    assert b.index == 45 and palette[45].name == "B" and palette.find("Copy of B") == copy
    b.move_up()
    assert b.index == 44
    eqm.evaluate("New Frame")
    assert palette.value("a") == 3.0 and b.result.value == 30.0
    walked = []
    palette.iterate(lambda e: walked.append(e.name) if len(walked) < 2 else False)
    assert walked == ["A", "E0"]  # B has moved away from slot 1
    for equation in made:
        equation.delete()
    assert not made[3].exists and len(palette) == 3
    other = eqm.Palette("copy target")
    other.new_equation("Gone")
    other.copy_from(palette)
    assert [e.name for e in other] == ["A", "Copy of B", "B"]
    other.close()
    assert not other.is_open
    with pytest.raises(eqm.EquationManagerError, match="closed"):
        other.new_equation()


def test_parameters_literals_bound_buffers_getters_app_variables_references(palette):
    held = numpy.array([2.0, 3.5])
    counts = array.array("i", [8])
    clock = numpy.array([3], dtype=numpy.int32)
    eqm.register_app_variable("test clock", clock)
    assert eqm.app_variable("test clock")[0] == "int"
    calls = []

    def refresh(variable):
        calls.append(variable.name)
        return 0.25 * len(calls)

    eq = palette.new_equation("Sum", "+", "Application", [
        eqm.Bound(held, 1, name="held"), eqm.Getter(refresh, name="refreshed")])
    ints = palette.new_equation("Ints", "| Bitwise", "Application", [
        eqm.Bound(counts, name="counts"), eqm.AppVariable("test clock")],
        {"value_type": "int", "name": "ints"})
    ref = palette.new_equation("Ref", "-", "Application", [eqm.Reference("Sum"), 1])
    kinds = [type(p).__name__ for p in eq.parameters] + [type(ref.parameters[0]).__name__]
    assert kinds == ["VariableParameter", "VariableParameter", "ReferenceParameter"]
    assert ref.parameters[1].value_type == "int" and ref.parameters[1].value == 1
    assert ints.parameters[1].type_name == "App Variable"

    gc.collect()  # the get callback lives as long as its parameter, not as the Getter that described it
    eqm.evaluate("Application")  # Sum runs itself and again through Ref's reference
    assert eq.result.value == 3.5 + 0.5 and ref.result.value == 3.5 + 0.5 - 1
    assert ints.result.value == 11 and calls == ["refreshed"] * 2
    held[1] = 10.0  # every read takes the buffer as it is now
    counts[0] = 100
    eqm.evaluate("Application")
    assert eq.result.value == 11.0 and ints.result.value == 103
    eqm.set_value("ints", 2**31 - 1, palette=palette)
    assert eqm.get_value("ints", int) == 2**31 - 1 and ints.result.text == "2147483647"
    with pytest.raises(BufferError):
        counts.append(1)  # the library reads through it: it cannot move
    eq.parameters[0] = 5
    assert eq.parameters[0].text == "5" and eq.parameters[0].value_type == "int"
    eq.parameters = [1.5, 2.5]
    eqm.evaluate("Application")
    assert eq.result.value == 4.0
    eq.result.value = 9.0
    palette.set_value("Sum", 1.0)  # the reference name is found by name too
    assert eqm.get_value("Sum", palette=palette) == 4.0  # read again: runs Sum
    with pytest.raises(eqm.NotFoundError, match="KVAEQM_GetAppVariableByName"):
        palette.new_equation(parameters=[eqm.AppVariable("nothing")])
    with pytest.raises(TypeError):
        palette.new_equation(parameters=[eqm.Bound(array.array("Q", [1]))])


def test_subscribers_interest_and_destructors(palette):
    told, destroyed = [], []
    watcher = eqm.SubscriberType(
        "Test Watcher", notify=lambda result, data: told.append((data, result.value)),
        interest=lambda eq, p: p is palette and eq.name.startswith("W") and eq.subscribe(
            watcher, eq.name.lower()),
        destroy=destroyed.append)
    w1 = palette.new_equation("W1", "+", "New Frame", [1.0, 1.0])
    palette.new_equation("X", "+", "New Frame", [1.0, 1.0])
    w2 = palette.new_equation("W2", "+", "New Frame", [2.0, 1.0])
    eqm.refresh_subscribers()
    own = []
    w2.subscribe(watcher, "own", notify=lambda result, data: own.append((data, result.as_int())))
    gc.collect()  # callbacks and user data live as long as the library may call with them
    assert (w1.num_subscribers, w2.num_subscribers, palette["X"].num_subscribers) == (1, 2, 0)
    eqm.evaluate("New Frame")
    assert told == [("w1", 2.0), ("w2", 3.0)] and own == [("own", 3)]
    w1.refresh_subscribers()  # a rebuild deletes the old subscriber first
    assert destroyed == ["w1"]
    w2.unsubscribe_all()
    assert sorted(destroyed) == ["own", "w1", "w2"]
    w1.delete()
    assert sorted(destroyed) == ["own", "w1", "w1", "w2"]


def test_host_operators_and_triggers(palette):
    def clamp_sum(result, parameters):
        return min(sum(p.value for p in parameters), 10.0)

    op = eqm.register_operator("Clamped Sum", 3, clamp_sum)
    assert eqm.operator_id("Clamped Sum") == op > 61
    trigger = eqm.register_trigger("Test Trigger")
    assert eqm.trigger_id("Test Trigger") == trigger > 4
    eq = palette.new_equation("C", "Clamped Sum", "Test Trigger")
    assert len(eq.parameters) == 3 and eq.parameters[2].value == 10.0  # the operator's count
    eqm.evaluate(trigger)
    assert eq.result.value == 10.0
    eq.parameters = [1.0, 2.0, 3.5]
    eqm.evaluate("Test Trigger")
    assert eq.result.value == 6.5
    with pytest.raises(eqm.NotFoundError, match="KVAOP_IDOfName"):
        palette.new_equation("Bad", "No Such Operator")
    with pytest.raises(eqm.RefusedError, match="not a variable parameter type"):
        eq.set_result(parameter_type="Literal")
