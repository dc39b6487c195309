#!/usr/bin/python3
"""The Python package beside contourpy and matplotlib, in one process:

  - Grid(x, y, z, levels).lines() on a 2000 x 2000 field with 11 levels
    (the field of bench/compare_large.py, made by isovar-gen), arrays in and
    arrays out, beside contourpy's serial generator made and asked for the
    lines of the same 11 levels;
  - the same with threads=1 (the tiles traced one after the other);
  - two such calls with threads=1 on two threads, beside the same two one
    after the other;
  - W1 (examples/large.isovar: 200 x 200, 10 levels) drawn by m.plot() and
    written by m.save(PNG), beside matplotlib's contour + clabel + savefig
    into a PNG of the same size (665 x 585).

Prints the medians of the rounds and the ratios.

Usage: bench/python_bench.py [BUILD_DIR] [ROUNDS]   (default: build 7)
Needs Debian's python3 with python3-numpy, python3-contourpy and
python3-matplotlib, and a build with the Python package (ISOVAR_PYTHON).
"""
import io
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

N = 2000
HERE = os.path.dirname(os.path.abspath(__file__))


def timed(f, rounds, cpu=None):
    """The median wall time of f in ms; with cpu a list, the median process
    CPU time is appended to it (above the wall time: threads ran at once)."""
    times, cpus = [], []
    for _ in range(rounds):
        start, start_cpu = time.perf_counter(), time.process_time()
        f()
        times.append((time.perf_counter() - start) * 1000.0)
        cpus.append((time.process_time() - start_cpu) * 1000.0)
    if cpu is not None:
        cpu.append(statistics.median(cpus))
    return statistics.median(times)


def read_grid_file(path):
    """x, y, z and levels of a grid model file (as whole_process.py reads it)."""
    def section(lines, name):
        start = lines.index(name) + 1
        return lines[start:lines.index("*end", start)]

    lines = [line.split("#")[0].strip().lower() for line in open(path, encoding="cp932")]
    lines = [line for line in lines if line]
    x = np.array([float(v) for v in section(lines, "*x")])
    y = np.array([float(v) for v in section(lines, "*y")])
    z = np.full((len(y), len(x)), np.nan)
    for record in section(lines, "*value"):
        i, j, v = record.replace(",", " ").split()
        z[int(j) - 1, int(i) - 1] = float(v)
    levels = [float(line.split()[0]) for line in section(lines, "*isovar")]
    return x, y, z, levels


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    sys.path.insert(0, os.path.join(build, "lib", "python3", "dist-packages"))
    import contourpy
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    import isovar

    w1 = os.path.join(HERE, "..", "examples", "large.isovar")
    m = isovar.read(w1)
    x, y, zw, lw = read_grid_file(w1)

    def mpl_png():
        fig = plt.figure(figsize=(6.65, 5.85), dpi=100)
        ax = fig.add_subplot()
        cs = ax.contour(x, y, zw, levels=lw, cmap="coolwarm")
        ax.clabel(cs, fmt="%.2f", fontsize=8)
        fig.savefig(io.BytesIO(), format="png")
        plt.close(fig)

    with tempfile.TemporaryDirectory() as tmp:
        png = os.path.join(tmp, "w1.png")
        m.plot(), m.save(png), mpl_png()
        t_plot = timed(m.plot, rounds * 3)
        t_save = timed(lambda: m.save(png), rounds * 3)
        t_mpl = timed(mpl_png, rounds)


    with tempfile.TemporaryDirectory() as tmp:
        model = os.path.join(tmp, "noise.isovar")
        raw = os.path.join(tmp, "noise.f32")
        subprocess.run([os.path.join(build, "bin", "isovar-gen"), "noise", str(N), model, raw], check=True)
        z = np.fromfile(raw, dtype=np.float32).reshape(N, N).T.astype(np.float64)  # z[j, i]
        with open(model, "rb") as f:
            text = f.read().decode("ascii")
    section = text[text.rindex("*isovar"):]
    levels = [float(line.split()[0]) for line in section.splitlines()[1:] if line and line[0] != "*"]
    axis = np.array([float(v) for v in text[text.index("*x") + 3:text.index("*end", text.index("*x"))].split()])
    z2 = np.ascontiguousarray(z[::-1, ::-1])

    def ours(field=z, threads=None):
        return isovar.Grid(axis, axis, field, levels=levels).lines(threads=threads)

    def theirs():
        gen = contourpy.contour_generator(axis, axis, z, name="serial")
        return [gen.lines(level) for level in levels]

    # Two models, each traced on one thread: one after the other, or side
    # by side on two threads of the interpreter.
    def two_serial():
        ours(z, 1)
        ours(z2, 1)

    def two_threads():
        threads = [threading.Thread(target=ours, args=(f, 1)) for f in (z, z2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    ours(), theirs()  # warm: pages, caches, imports
    points_ours = sum(len(a) for per in ours() for a in per)
    points_theirs = sum(len(a) for per in theirs() for a in per)
    t_ours = timed(ours, rounds)
    t_ours_one = timed(lambda: ours(z, 1), rounds)
    t_theirs = timed(theirs, rounds)
    cpu = []
    t_serial = timed(two_serial, rounds, cpu)
    t_threads = timed(two_threads, rounds, cpu)

    print(f"medians of {rounds} rounds (pictures {rounds * 3}), one process, {os.cpu_count()} cores, "
          f"load average {os.getloadavg()[0]:.1f}")
    print(f"2000 x 2000 grid, {len(levels)} levels:")
    print(f"  isovar Grid(...).lines()       {t_ours:8.1f} ms  ({points_ours} points; threads: one per core)")
    print(f"  the same, threads=1            {t_ours_one:8.1f} ms")
    print(f"  contourpy serial, all levels   {t_theirs:8.1f} ms  ({points_theirs} points)")
    print(f"  ratio                          {t_ours / t_theirs:8.3f}  (goal: at most 0.6)")
    print(f"  two models one after the other {t_serial:8.1f} ms  (CPU {cpu[0]:.1f} ms; threads=1 each)")
    print(f"  two models on two threads      {t_threads:8.1f} ms  (CPU {cpu[1]:.1f} ms)")
    print(f"  ratio                          {t_threads / t_serial:8.3f}  (goal: at most 0.6)")
    print("W1 (200 x 200, 10 levels), 665 x 585:")
    print(f"  isovar m.plot()                {t_plot:8.2f} ms")
    print(f"  isovar m.save(PNG)             {t_save:8.2f} ms")
    print(f"  matplotlib contour+clabel+PNG  {t_mpl:8.1f} ms")
    print(f"  ratio plot / matplotlib        {t_plot / t_mpl:8.4f}  (goal: at most 0.02)")
    print(f"  ratio save / matplotlib        {t_save / t_mpl:8.4f}")


if __name__ == "__main__":
    main()
