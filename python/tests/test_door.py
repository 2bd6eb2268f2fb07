"""Whole sessions in a process of their own (the library starts once per process): the door
scene rebuilt in Python, and stopping with everything still open."""

import os
import subprocess
import sys
import textwrap

import ztequationmanager as eqm

from conftest import SOURCE


def run_python(args):
    environment = dict(os.environ)
    package_root = os.path.dirname(os.path.dirname(os.path.abspath(eqm.__file__)))
    environment["PYTHONPATH"] = os.pathsep.join(
        [package_root] + ([environment["PYTHONPATH"]] if environment.get("PYTHONPATH") else []))
    return subprocess.run([sys.executable] + args, capture_output=True, text=True,
                          env=environment, cwd=SOURCE, timeout=120)


def test_the_door_scene_built_in_python_prints_the_hosts_table_and_leaves_no_block():
    done = run_python([os.path.join(SOURCE, "python", "examples", "door.py"), "--check-blocks"])
    assert done.returncode == 0, done.stderr
    with open(os.path.join(SOURCE, "examples", "scenes", "door.expected")) as expected:
        assert done.stdout == expected.read()
    assert done.stderr == "live blocks after stop: 0\n"


def test_stop_releases_what_is_still_open_and_is_final():
    script = textwrap.dedent("""
        import array
        import ztequationmanager as eqm

        destroyed = []
        eqm.start(counted=True)
        kind = eqm.SubscriberType("Kept", notify=lambda r, d: None, destroy=destroyed.append)
        memory = array.array("d", [1.0])
        for name in ("one", "two"):
            palette = eqm.Palette(name)
            for i in range(12):
                eq = palette.new_equation("E%d" % i, "+", "New Frame",
                                          [eqm.Bound(memory), eqm.Reference("E0")])
                eq.subscribe(kind, (name, i))
            palette["E3"].copy(20)
            palette["E5"].delete()
        eqm.evaluate("New Frame")
        assert eqm.live_blocks() > 0
        eqm.stop()
        print(eqm.live_blocks(), len(destroyed), eqm.palettes())
        for attempt in (lambda: eqm.start(), lambda: eqm.Palette("late")):
            try:
                attempt()
            except eqm.EquationManagerError as error:
                print(error)
        """)
    done = run_python(["-c", script])
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == [
        "0 24 []",
        "KVAEQM_Init: the library starts once per process and was stopped",
        "KVAEQM_NewEquationPalette: the library was stopped"]
