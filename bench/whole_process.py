#!/usr/bin/env python3
"""Whole processes, side by side, in one run: isovar-plot from start to exit
against matplotlib and gdal_contour on the same model.

W1 is examples/large.isovar: a 200 x 200 grid with 10 levels. Each round runs,
one after another,
  - isovar-plot W1 --png (and, with --baseline, another isovar-plot build),
  - python3 with matplotlib: read the same file, contour, clabel, PNG,
  - gdal_contour: the same values as a raster, the same levels, GeoJSON
    (it draws nothing),
and keeps each one's wall time and CPU time (user + system of the child).
The medians are printed as a Markdown table, with the machine's load
average before and after, since other work on the machine inflates them.

--batch N adds the many-inputs measurement: N copies of W1 plotted by one
`isovar-plot ... --outdir DIR` against N single runs' median x N / cores.

Usage: bench/whole_process.py [--build DIR] [--rounds N] [--baseline PLOT]
                              [--batch N]
Needs python3-matplotlib (and python3-numpy) and gdal-bin (Debian packages).
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
W1 = os.path.join(ROOT, "examples", "large.isovar")

MPL_PROGRAM = r"""
import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

def section(lines, name):
    start = lines.index(name) + 1
    end = lines.index("*end", start)
    return lines[start:end]

lines = [l.split("#")[0].strip().lower() for l in open(sys.argv[1], encoding="cp932")]
lines = [l for l in lines if l]
x = np.array([float(v) for v in section(lines, "*x")])
y = np.array([float(v) for v in section(lines, "*y")])
z = np.full((len(y), len(x)), np.nan)
for record in section(lines, "*value"):
    i, j, v = record.replace(",", " ").split()
    z[int(j) - 1, int(i) - 1] = float(v)
levels = [float(l.split()[0]) for l in section(lines, "*isovar")]
fig = plt.figure(figsize=(6.65, 5.85), dpi=100)
ax = fig.add_subplot()
cs = ax.contour(x, y, z, levels=levels, cmap="coolwarm")
ax.clabel(cs, fmt="%.2f", fontsize=8)
fig.savefig(sys.argv[2])
"""


def read_grid(path):
    """x, y, values[j][i] and levels of a grid model file."""
    lines = []
    with open(path, encoding="cp932") as f:
        for line in f:
            line = line.split("#")[0].strip().lower()
            if line:
                lines.append(line)

    def section(name):
        start = lines.index(name) + 1
        return lines[start:lines.index("*end", start)]

    x = [float(v) for v in section("*x")]
    y = [float(v) for v in section("*y")]
    z = [[0.0] * len(x) for _ in y]
    for record in section("*value"):
        i, j, v = record.replace(",", " ").split()
        z[int(j) - 1][int(i) - 1] = float(v)
    levels = [float(l.split()[0]) for l in section("*isovar")]
    return x, y, z, levels


def write_ascii_grid(path, x, y, z):
    """The values as an ESRI ASCII grid of unit cells (GDAL's AAIGrid)."""
    with open(path, "w") as f:
        f.write(f"ncols {len(x)}\nnrows {len(y)}\nxllcorner 0\nyllcorner 0\ncellsize 1\n")
        for row in reversed(z):
            f.write(" ".join(f"{v:.6g}" for v in row) + "\n")


def timed(command, cwd):
    """Wall and CPU milliseconds of one run of command."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    wall = (time.perf_counter() - start) * 1000.0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000.0
    return wall, cpu


def load():
    return " ".join(f"{v:.2f}" for v in os.getloadavg())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--rounds", type=int, default=21)
    parser.add_argument("--baseline", help="another isovar-plot to measure alongside")
    parser.add_argument("--batch", type=int, default=0, help="also plot this many copies of W1 at once")
    args = parser.parse_args()

    plot = os.path.join(os.path.abspath(args.build), "bin", "isovar-plot")
    gdal = shutil.which("gdal_contour")
    with tempfile.TemporaryDirectory() as tmp:
        x, y, z, levels = read_grid(W1)
        grid = os.path.join(tmp, "w1.asc")
        write_ascii_grid(grid, x, y, z)
        mpl = os.path.join(tmp, "mpl_contour.py")
        with open(mpl, "w") as f:
            f.write(MPL_PROGRAM)

        # Each command and the file it writes. Every output is removed before
        # its run, outside the timing, so no process pays for freeing the
        # previous round's file (on a file system mounted with "discard" that
        # waits for the disk) and none finds its output in place.
        commands = {"isovar-plot W1 --png": [plot, W1, "--png", "w1.png"]}
        outputs = {"isovar-plot W1 --png": "w1.png"}
        if args.baseline:
            commands["baseline isovar-plot W1 --png"] = [args.baseline, W1, "--png", "w1-base.png"]
            outputs["baseline isovar-plot W1 --png"] = "w1-base.png"
        # Debian's python3 has python3-matplotlib; another python3 first on
        # the PATH may not.
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
        commands["matplotlib contour + clabel + PNG"] = [python, mpl, W1, "w1-mpl.png"]
        outputs["matplotlib contour + clabel + PNG"] = "w1-mpl.png"
        if gdal:
            geojson = os.path.join(tmp, "w1-gdal.geojson")
            fixed = [arg for level in levels for arg in ("-fl", repr(level))]
            commands["gdal_contour to GeoJSON"] = [gdal, "-q", "-f", "GeoJSON", "-a", "level", *fixed, grid, geojson]
            outputs["gdal_contour to GeoJSON"] = geojson  # it also refuses an existing output

        times = {name: ([], []) for name in commands}
        load_before = load()
        for _ in range(args.rounds):
            for name, command in commands.items():
                output = os.path.join(tmp, outputs[name])
                if os.path.exists(output):
                    os.remove(output)
                wall, cpu = timed(command, tmp)
                times[name][0].append(wall)
                times[name][1].append(cpu)
        load_after = load()

        print(f"Whole processes, medians of {args.rounds} rounds run alternately; "
              f"load average {load_before} before, {load_after} after; {os.cpu_count()} cores.\n")
        print("| process | wall ms | CPU ms |")
        print("| --- | ---: | ---: |")
        medians = {}
        for name, (walls, cpus) in times.items():
            medians[name] = (statistics.median(walls), statistics.median(cpus))
            print(f"| {name} | {medians[name][0]:.1f} | {medians[name][1]:.1f} |")
        ours = medians["isovar-plot W1 --png"]
        for name, (wall, cpu) in medians.items():
            if name.startswith("matplotlib") or name.startswith("gdal"):
                print(f"\nisovar-plot / {name.split()[0]}: {ours[0] / wall:.3f} of the wall time, "
                      f"{ours[1] / cpu:.3f} of the CPU time")

        if args.batch > 0:
            inputs = os.path.join(tmp, "inputs")
            os.mkdir(inputs)
            names = []
            for k in range(args.batch):
                name = os.path.join(inputs, f"w1-{k:04d}.iso")
                os.symlink(W1, name)
                names.append(name)
            cores = len(os.sched_getaffinity(0))
            batch_times = []
            for _ in range(3):
                out = os.path.join(tmp, "out")
                shutil.rmtree(out, ignore_errors=True)
                batch_times.append(timed([plot, *names, "--outdir", out], tmp))
            wall = statistics.median(t[0] for t in batch_times)
            bound = 1.2 * args.batch * ours[0] / cores
            print(f"\n{args.batch} copies of W1 to PNG with --outdir on {cores} cores: {wall:.0f} ms wall "
                  f"(median of 3); 1.2 x {args.batch} x {ours[0]:.1f} ms / {cores} = {bound:.0f} ms; "
                  f"load average {load()} after.")


if __name__ == "__main__":
    main()
