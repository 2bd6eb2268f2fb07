#!/usr/bin/env python3
"""eqm-host driven as a user drives it, for what a byte comparison cannot show: a run stopped by
a signal, and the pictures of `graph` and `plot` read back.

usage: host_tools.py CASE SCENES_DIR WORK_DIR EQM_HOST...
EQM_HOST is a command: eqm-host, or its emulator and then eqm-host (Wine for a Windows build).
Exit status 0 passed, 1 failed, 77 skipped (a drawing program is missing)."""
import os
import pty
import select
import shutil
import signal
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

SKIPPED = 77


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def run(host, *arguments):
    return subprocess.run([*host, *arguments], capture_output=True, text=True, timeout=120)


def interrupted_run(host, scenes, work):
    """A long run with standard error on a terminal shows its progress; SIGINT stops it between
    frames, and the CSV it wrote holds whole rows for every 7th frame, then the last played.
    Through an emulator standard error is a pipe and the run is known to be under way once its
    CSV grows: Wine puts a console of its own between a program and a terminal, and redraws
    what the program writes there a character at a time between cursor movements."""
    csv = os.path.join(work, "interrupted.csv")
    if os.path.exists(csv):
        os.remove(csv)
    command = [*host, "run", os.path.join(scenes, "rig.json"), "--frames", "1000000", "--quiet",
               "--every", "7", "--csv", csv]
    on_terminal = len(host) == 1
    seen = b""
    deadline = time.monotonic() + 60
    if on_terminal:
        controller, terminal = pty.openpty()
        child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=terminal, text=True)
        os.close(terminal)
        try:
            while (b"of 1000000" not in seen and time.monotonic() < deadline
                   and child.poll() is None):
                ready, _, _ = select.select([controller], [], [], 0.5)
                if ready:
                    seen += os.read(controller, 4096)
        except OSError:
            pass  # the terminal closed: the run has ended
        if b"of 1000000" not in seen:
            child.kill()
            fail("no progress line on the terminal: %r" % seen[-300:])
    else:
        child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 text=True)
        while ((not os.path.exists(csv) or os.path.getsize(csv) < 100000)
               and time.monotonic() < deadline and child.poll() is None):
            time.sleep(0.1)
        if child.poll() is not None:
            fail("the run ended by itself with %d: %s" % (child.returncode, child.stderr.read()))
    child.send_signal(signal.SIGINT)
    child.wait(timeout=60)
    if on_terminal:
        try:
            while select.select([controller], [], [], 0.2)[0]:
                seen += os.read(controller, 4096)
        except OSError:
            pass  # the terminal closes with the child
        os.close(controller)
    else:
        seen = child.stderr.read().encode()
    if child.returncode != 128 + signal.SIGINT:
        fail("exit status %d after SIGINT, expected %d" % (child.returncode, 128 + signal.SIGINT))
    message = seen.decode(errors="replace")
    if "interrupted after frame" not in message:
        fail("no word of the interruption: %r" % message[-300:])
    played = int(message.split("interrupted after frame ")[1].split()[0])
    with open(csv, newline="") as text:
        content = text.read()
    if not content.endswith("\n"):
        fail("the CSV ends inside a row: %r" % content[-80:])
    lines = content.splitlines()
    header = lines[0].split(",")
    if header[:2] != ["frame", "time"] or len(header) != 8:
        fail("unexpected header %r" % lines[0])
    expected = list(range(0, played + 1, 7))
    if expected[-1] != played:
        expected.append(played)
    if len(lines) - 1 != len(expected) or played >= 1000000:
        fail("%d rows for %d frames played" % (len(lines) - 1, played))
    for frame, line in zip(expected, lines[1:]):
        fields = line.split(",")
        if len(fields) != len(header) or int(fields[0]) != frame:
            fail("the row of frame %d is cut or out of order: %r" % (frame, line))
        [float(field) for field in fields]
    if "notifications" not in child.stdout.read():
        fail("no notification counts after the interruption")
    print("stopped after frame %d; %d whole rows" % (played, len(lines) - 1))


def curves(svg):
    """The ids of gnuplot's plot groups in an SVG: one per curve."""
    root = ElementTree.parse(svg).getroot()
    if not root.tag.endswith("svg"):
        fail("%s is no SVG document (root %s)" % (svg, root.tag))
    ids = set()
    for element in root.iter():
        identity = element.get("id", "")
        if identity.startswith("gnuplot_plot_"):
            ids.add(identity)
    return ids, "".join(root.itertext())


def png_size(path):
    with open(path, "rb") as picture:
        head = picture.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        fail("%s is no PNG: %r" % (path, head))
    return struct.unpack(">II", head[16:24])


def plot(host, scenes, work):
    """One curve per watch, in SVG and in PNG, with the scene's title; --watch chooses them."""
    if shutil.which("gnuplot") is None:
        print("gnuplot is not installed")
        sys.exit(SKIPPED)
    rig = os.path.join(scenes, "rig.json")
    svg = os.path.join(work, "rig-plot.svg")
    done = run(host, "plot", rig, "-o", svg)
    if done.returncode != 0:
        fail("plot ended with %d: %s" % (done.returncode, done.stderr))
    ids, text = curves(svg)
    if len(ids) != 6:
        fail("%d curves for the rig's 6 watches: %s" % (len(ids), sorted(ids)))
    for label in ("An arm rig", "skeleton/elbow.bend", "skeleton:target", "frame"):
        if label not in text:
            fail("no %r in the SVG" % label)

    png = os.path.join(work, "rig-plot.png")
    done = run(host, "plot", rig, "--frames=48", "--watch", "skeleton/hand.height",
               "--watch", "controls:wave", "-o", png)
    if done.returncode != 0:
        fail("plot ended with %d: %s" % (done.returncode, done.stderr))
    width, height = png_size(png)
    if width != 960 or height != 90 + 170 * 2 or os.path.getsize(png) < 5000:
        fail("a %dx%d PNG of %d bytes for two panels" % (width, height, os.path.getsize(png)))
    chosen = os.path.join(work, "rig-two.svg")
    run(host, "plot", rig, "--watch", "skeleton/hand.height", "--watch", "controls:wave",
        "-o", chosen)
    if len(curves(chosen)[0]) != 2:
        fail("--watch twice gave %d curves" % len(curves(chosen)[0]))

    refused = run(host, "plot", rig, "--watch", "skeleton:hieght", "-o", svg)
    if refused.returncode != 1 or 'did you mean "height"' not in refused.stderr:
        fail("an unknown --watch: %d %s" % (refused.returncode, refused.stderr))


def graph_pictures(host, scenes, work):
    """Graphviz lays the DOT out as SVG and PNG, cycles and all."""
    if shutil.which("dot") is None:
        print("Graphviz's dot is not installed")
        sys.exit(SKIPPED)
    svg = os.path.join(work, "rig-graph.svg")
    done = run(host, "graph", os.path.join(scenes, "rig.json"), "-o", svg)
    if done.returncode != 0:
        fail("graph ended with %d: %s" % (done.returncode, done.stderr))
    text = "".join(ElementTree.parse(svg).getroot().itertext())
    for name in ("Sweep", "Elbow Bend", "hand.raised (int)", "controls", "skeleton", "drives"):
        if name not in text:
            fail("no %r in the graph's SVG" % name)
    png = os.path.join(work, "cycle-graph.png")
    cycle = os.path.join(os.path.dirname(__file__), "scenes", "reference_cycle.json")
    done = run(host, "graph", cycle, "--format", "png", "-o", png)
    if done.returncode != 0 or 'cycle: "Ping" -> "Pong" -> "Ping"' not in done.stderr:
        fail("graph of a cycle: %d %s" % (done.returncode, done.stderr))
    width, height = png_size(png)
    if width < 50 or height < 50:
        fail("a %dx%d graph" % (width, height))


CASES = {"interrupt": interrupted_run, "plot": plot, "graph": graph_pictures}

if __name__ == "__main__":
    case, scenes, work = sys.argv[1:4]
    host = sys.argv[4:]
    os.makedirs(work, exist_ok=True)
    CASES[case](host, scenes, work)
