# %% [markdown]
# # Wind played back from a file, plotted
#
# The playback scene of `examples/scenes/playback.json`, built in Python: two "AsciiFile"
# equations read the wind recorded on set (`examples/scenes/data/wind.txt`), a line a frame,
# into the fan's speed and heading, and `>` flags the flag as fluttering above 3 m/s. The
# script plays the scene, prints the table `eqm-host run` prints for the first frames, and
# plots every channel with matplotlib.
#
#     python examples/playback.py [--frames N] [--plot wind.png]
#
# Each `# %%` cell runs on its own in an editor that knows the notebook-style cell markers.

# %%
import argparse
import io
import os
import sys

import numpy

import ztequationmanager as eqm

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from door import Attribute, Host, play  # noqa: E402  the same host stand-in as the door

HERE = os.path.dirname(os.path.abspath(__file__))
WIND = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir, "examples", "scenes", "data",
                                     "wind.txt"))
TITLE = "Wind recorded on set, played back a line a frame with AsciiFile; the file loops"

arguments = argparse.ArgumentParser(description=__doc__)
arguments.add_argument("--frames", type=int, default=40)
arguments.add_argument("--plot", default="wind.png", help="image file to write")
options = arguments.parse_args([] if "ipykernel" in sys.modules else sys.argv[1:])

# %% Start the library and build the studio.
eqm.start()
host = Host()
fan = {"speed": Attribute(0.0), "heading": Attribute(0.0)}
flutter = Attribute(0, "int")
# The library keeps a file name in 79 characters: hand it the shorter of the two forms.
wind = min(WIND, os.path.relpath(WIND), key=len)


def playback(column):
    # enable, file, column, and the literal where the equation keeps its open file
    return [1, eqm.File(wind), column, eqm.Literal("0", "address")]


studio = eqm.Palette("studio")
host.add(studio, "studio", "Wind Speed", "AsciiFile", "New Frame", playback(2),
         {"name": "wind speed"}, drives=fan["speed"])
host.add(studio, "studio", "Wind Heading", "AsciiFile", "New Frame", playback(3),
         {"name": "heading"}, drives=fan["heading"])
host.add(studio, "studio", "Flag Flutter", ">", "New Frame",
         [eqm.Bound(fan["speed"].memory, name="fan.speed", parameter_type="Node Attribute"),
          3.0], {"name": "flutter", "value_type": "int"}, drives=flutter)
eqm.refresh_subscribers()

# %% Play, sampling every channel each frame.
channels = {"fan.speed": fan["speed"].get, "fan.heading": fan["heading"].get,
            "flag.flutter": flutter.get}
samples = {name: [] for name in channels}


def sampled(name, read):
    def sample():
        value = read()
        samples[name].append(value)
        return value
    return sample


watches = [("studio/" + name, sampled(name, read), name == "flag.flutter")
           for name, read in channels.items()]
table = io.StringIO()
play(host, TITLE, watches, frames=options.frames, fps=4.0, out=table)
lines = table.getvalue().splitlines()
print("\n".join(lines[:14]))  # the title, the header and the first ten frames

# %% Release the studio (its playback files are closed) and stop the library.
studio.close()
eqm.stop()

# %% Plot the channels against time.
import matplotlib  # noqa: E402

if "ipykernel" not in sys.modules:
    matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

time = numpy.arange(options.frames + 1) / 4.0
figure, (speed_axis, heading_axis) = plt.subplots(2, 1, sharex=True, figsize=(8, 5))
speed_axis.step(time, samples["fan.speed"], where="post", label="fan.speed (m/s)")
speed_axis.fill_between(time, 0, numpy.max(samples["fan.speed"]) * numpy.array(
    samples["flag.flutter"]), step="post", alpha=0.2, label="flag.flutter")
speed_axis.axhline(3.0, linestyle=":", color="grey")
speed_axis.legend(loc="upper right")
heading_axis.step(time, samples["fan.heading"], where="post", color="tab:orange")
heading_axis.set_ylabel("fan.heading (degrees)")
heading_axis.set_xlabel("time (s)")
figure.suptitle("Wind played back by AsciiFile")
figure.savefig(options.plot)
print("plotted", options.frames, "frames into", options.plot)
