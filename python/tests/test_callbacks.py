"""Python callbacks inside library calls: editing palettes mid-walk, and exceptions."""

import pytest

import ztequationmanager as eqm


def test_callbacks_that_edit_palettes_during_walks(library):
    first, second = eqm.Palette("walked"), eqm.Palette("deleted mid-walk")
    ran = []
    for i in range(5):
        first.new_equation("A%d" % i, "+", "Walk", [float(i), 1.0])
    second.new_equation("B0", "+", "Walk", [1.0, 1.0])

    def on_result(result, name):
        ran.append(name)
        if name == "A1":
            # Grows the slot array (every equation moves), deletes one still to come, deletes
            # the next palette: the walk goes on by index and never reads a moved slot.
            for i in range(20):
                first.new_equation("N%d" % i, "+", "Walk", [1.0, 1.0])
            first["A3"].delete()
            second.close()

    tracker = eqm.SubscriberType("Walk Tracker", notify=on_result)
    for equation in first:
        equation.subscribe(tracker, equation.name)
    second["B0"].subscribe(tracker, "B0")
    eqm.evaluate("Walk")
    assert ran == ["A0", "A1", "A2", "A4"] and not second.is_open
    assert [first["N%d" % i].result.value for i in (0, 19)] == [2.0, 2.0]  # made, then run
    assert first["A4"].result.value == 5.0

    # The library's own walk, and a Python loop, with a callback that makes and deletes.
    seen = []

    def visit(equation):
        seen.append(equation.name)
        if equation.name == "A0":
            first.new_equation("Late", "+", "Walk", [0.0, 0.0])
            first["A2"].delete()
        return equation.name != "N5"

    first.iterate(visit)
    # "Late" took the lowest free slot, A3's, ahead of the walk; A2 went before it was reached.
    assert seen == ["A0", "A1", "Late", "A4"] + ["N%d" % i for i in range(6)]
    for equation in first:
        if equation.name.startswith("N"):
            equation.delete()
    assert [e.name for e in first] == ["A0", "A1", "Late", "A4"]
    first.close()
    assert first.close() is None  # closing twice is harmless


def test_an_exception_in_a_callback_is_raised_after_the_library_call_returns(library):
    told, destroyed = [], []

    def notify(result, name):
        told.append(name)
        if name == "bad":
            raise ValueError("subscriber failed on purpose")

    def destroy(name):
        destroyed.append(name)
        if name == "bad":
            raise RuntimeError("destructor failed on purpose")

    kind = eqm.SubscriberType("Failing", notify=notify, destroy=destroy)
    palette = eqm.Palette("failing")
    bad = palette.new_equation("Bad", "+", "Fail", [1.0, 1.0])
    good = palette.new_equation("Good", "+", "Fail", [2.0, 2.0])
    bad.subscribe(kind, "bad")
    bad.subscribe(kind, "after bad")
    good.subscribe(kind, "good")
    with pytest.raises(eqm.CallbackError) as error:
        eqm.evaluate("Fail")
    # Everything ran: the exception waited for the evaluation to end.
    assert told == ["bad", "after bad", "good"] and good.result.value == 4.0
    assert error.value.function == "KVAEQM_EvaluateTriggerName"
    assert isinstance(error.value.__cause__, ValueError) and "subscriber" in str(error.value)

    def failing_operator(result, parameters):
        raise ZeroDivisionError("operator failed on purpose")

    eqm.register_operator("Failing Operator", 1, failing_operator)
    broken = palette.new_equation("Broken", "Failing Operator", "Fail Twice", [1.0])
    calls = []
    palette.new_equation("Read", "+", "Fail Twice", [
        eqm.Getter(lambda v: calls.append(1) or 1 / 0), 1.0])
    with pytest.raises(eqm.CallbackError) as error:
        eqm.evaluate("Fail Twice")
    assert [type(e).__name__ for _, e in error.value.errors] == ["ZeroDivisionError"] * 2
    assert broken.result.value == 0.0 and calls == [1] and "and 1 more" in str(error.value)

    # The error is reported once: the next call starts clean.
    assert palette["Good"].result.value == 4.0
    # A destructor that raises while the palette is deleted: the palette is still deleted.
    with pytest.raises(eqm.CallbackError, match="destructor"):
        palette.close()
    assert not palette.is_open and sorted(destroyed) == ["after bad", "bad", "good"]
