"""The door of examples/scenes/door.json, built in Python: DriveDOF swings it open 12.5 degrees a
frame until Clamp holds it at its stop. Prints the table `eqm-host run` prints for that scene.

    python examples/door.py [--check-blocks]

With --check-blocks the library's allocator is counted, and the blocks still live after
stop() are reported on standard error.
"""

import sys

import ztequationmanager as eqm

try:
    import numpy

    def host_memory(value, value_type):
        return numpy.array([value], dtype=numpy.int32 if value_type == "int" else numpy.float64)
except ImportError:  # the package needs no numpy: array.array serves as host memory too
    import array

    def host_memory(value, value_type):
        return array.array("i" if value_type == "int" else "d", [value])


class Attribute:
    """A scene attribute: one number in host memory that variables are bound to."""

    def __init__(self, value, value_type="double"):
        self.value_type = value_type
        self.memory = host_memory(value, value_type)

    @property
    def is_integer(self):
        return self.value_type == "int"

    def get(self):
        return float(self.memory[0])


class Host:
    """What a modelling application brings: its databases, the subscriber types that push
    results into the scene and count notifications, and the frame clock."""

    def __init__(self):
        self.clock = {"frame": host_memory(0, "int"), "time": host_memory(0.0, "double"),
                      "fps": host_memory(24.0, "double")}
        for name, memory in self.clock.items():
            eqm.register_app_variable(name, memory)
        self.records = {}  # (palette, equation index) -> record
        self.writer = eqm.SubscriberType("Scene Writer", notify=self.write_into_scene,
                                         interest=self.subscribe_writer)
        self.recorder = eqm.SubscriberType("Recorder", notify=self.count, interest=self.subscribe_recorder,
                                           destroy=self.release_listener)
        self.listeners = 0

    @staticmethod
    def write_into_scene(result, attribute):
        attribute.memory[0] = result.as_int() if attribute.is_integer else result.as_float()

    def subscribe_writer(self, equation, palette):
        record = self.records.get((palette, equation.index))
        if record is not None and record["drives"] is not None:
            equation.subscribe(self.writer, record["drives"])

    @staticmethod
    def count(result, record):
        record["notifications"] += 1

    def subscribe_recorder(self, equation, palette):
        record = self.records.get((palette, equation.index))
        if record is not None:
            self.listeners += 1
            equation.subscribe(self.recorder, record)

    def release_listener(self, record):
        self.listeners -= 1

    def add(self, palette, database, name, operator, trigger, parameters, result, drives=None):
        equation = palette.new_equation(name, operator, trigger, parameters, result)
        self.records[(palette, equation.index)] = {
            "label": database + "/" + name, "drives": drives, "notifications": 0}
        return equation


def build_door(host):
    door = {"angle": Attribute(35.0), "speed": Attribute(12.5), "stop": Attribute(90.0),
            "open": Attribute(0, "int")}

    def attribute(name):
        return eqm.Bound(door[name].memory, name="door." + name, parameter_type="Node Attribute")

    house = eqm.Palette("house")
    host.add(house, "house", "Door Closed", "Move Value", "Initialization", [0.0],
             {"name": "closed angle"}, drives=door["angle"])
    host.add(house, "house", "Door Swing", "DriveDOF", "New Frame",
             [1, 1, attribute("angle"), attribute("speed"), 0.0, attribute("stop")],
             {"name": "swing"}, drives=door["angle"])
    host.add(house, "house", "Door Stop", "Clamp", "New Frame",
             [attribute("angle"), 0.0, attribute("stop")], {"name": "angle"},
             drives=door["angle"])
    host.add(house, "house", "Door Open", ">=", "New Frame",
             [attribute("angle"), attribute("stop")], {"name": "open", "value_type": "int"},
             drives=door["open"])
    # Every equation exists: let the subscriber types' interest callbacks subscribe.
    eqm.refresh_subscribers()
    watches = [("house/door.angle", door["angle"].get, False),
               ("house/door.open", door["open"].get, True),
               ("house:swing", lambda: house.value("swing"), False)]
    return house, watches


def play(host, title, watches, frames, fps, out):
    widths = [max(10, len(label)) for label, _, _ in watches]
    out.write(title + "\n\nframe    time")
    for (label, _, _), width in zip(watches, widths):
        out.write("  " + label.rjust(width))
    out.write("\n")

    def row(frame):
        out.write("%5d %7.3f" % (frame, host.clock["time"][0]))
        for (_, read, integer), width in zip(watches, widths):
            out.write("  " + (("%.0f" if integer else "%.3f") % read()).rjust(width))
        out.write("\n")

    host.clock["fps"][0] = fps
    eqm.evaluate("Initialization")
    row(0)
    new_frame = eqm.trigger_id("New Frame")
    for frame in range(1, frames + 1):
        host.clock["frame"][0] = frame
        host.clock["time"][0] = frame / fps
        eqm.evaluate(new_frame)
        row(frame)

    out.write("\nnotifications\n")
    width = max(len(record["label"]) for record in host.records.values())
    for _, record in sorted(host.records.items(), key=lambda item: item[0][1]):
        out.write("  %s%8d\n" % (record["label"].ljust(width), record["notifications"]))


def main(argv):
    check_blocks = "--check-blocks" in argv
    eqm.start(counted=check_blocks)
    try:
        host = Host()
        house, watches = build_door(host)
        play(host, "A door swung open by DriveDOF, 12.5 degrees a frame, until it meets its "
             "stop at 90", watches, frames=10, fps=24.0, out=sys.stdout)
        house.close()
        if host.listeners != 0:
            raise SystemExit("door: %d recorder listeners were never released" % host.listeners)
    finally:
        eqm.stop()
    if check_blocks:
        sys.stderr.write("live blocks after stop: %d\n" % eqm.live_blocks())


if __name__ == "__main__":
    main(sys.argv[1:])
