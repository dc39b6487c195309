#!/usr/bin/env python3
"""Large mode beside contourpy, on the same 2000 x 2000 grid, in one run.

Makes the model with build/bin/isovar-gen (also as a float32 array), then
alternates: a whole Isovar plot run (engine, render at 665 x 585, display
list) through build/bin/bench_large, and contourpy's serial line generator
for the same 11 levels. Prints the medians side by side, with the reading
speed and the peak memory of `isovar-plot --large` on the file.

Usage: bench/compare_large.py [BUILD_DIR] [ROUNDS]   (default: build 5)
Needs python3-numpy and python3-contourpy (Debian packages).
"""
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

import contourpy
import numpy as np

N = 2000


def isovar_run(build, model, bench):
    out = subprocess.run(
        [os.path.join(build, "bin", "bench_large"), "--model=" + model,
         "--benchmark_filter=" + bench, "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    result = json.loads(out)["benchmarks"][0]
    return result


def contourpy_run(z, x, y, levels):
    start = time.perf_counter()
    gen = contourpy.contour_generator(x, y, z, name="serial", line_type="SeparateCode")
    points = 0
    for level in levels:
        lines, _ = gen.lines(level)
        points += sum(len(line) for line in lines)
    return (time.perf_counter() - start) * 1000.0, points


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    with tempfile.TemporaryDirectory() as tmp:
        model = os.path.join(tmp, "noise.isovar")
        raw = os.path.join(tmp, "noise.f32")
        subprocess.run([os.path.join(build, "bin", "isovar-gen"), "noise", str(N), model, raw], check=True)
        # The file holds column i's values one after another: z[j, i].
        z = np.fromfile(raw, dtype=np.float32).reshape(N, N).T
        with open(model, "rb") as f:
            text = f.read().decode("ascii")
        section = text[text.rindex("*isovar"):]
        levels = [float(line.split()[0]) for line in section.splitlines()[1:] if line and line[0] != "*"]
        axis = np.array([float(v) for v in text[text.index("*x") + 3:text.index("*end", text.index("*x"))].split()])

        isovar_ms, contour_ms, read_mbs = [], [], []
        points = 0
        for _ in range(rounds):
            plot = isovar_run(build, model, "BM_LargePlotRun")
            isovar_ms.append(plot["real_time"])
            ms, points = contourpy_run(z, axis, axis, levels)
            contour_ms.append(ms)
            read = isovar_run(build, model, "BM_LargeRead")
            read_mbs.append(read["bytes_per_second"] / 1e6)

        rss = subprocess.run(
            ["/usr/bin/time", "-f", "%M", os.path.join(build, "bin", "isovar-plot"), model, "--large",
             "--display-list", os.path.join(tmp, "prtInfo.tmp")],
            cwd=tmp, check=True, capture_output=True, text=True).stderr.strip().splitlines()[-1]
        size_mb = os.path.getsize(model) / 1e6

    print(f"2000 x 2000 grid, {len(levels)} levels, model file {size_mb:.0f} MB, medians of {rounds} rounds")
    print(f"  Isovar plot run (trace, render 665x585, display list): {statistics.median(isovar_ms):8.1f} ms")
    print(f"  contourpy serial lines, same levels ({points} points):  {statistics.median(contour_ms):8.1f} ms")
    print(f"  Isovar readData:                                        {statistics.median(read_mbs):8.1f} MB/s")
    print(f"  isovar-plot --large peak memory:                        {int(rss) / 1024:8.1f} MB")


if __name__ == "__main__":
    main()
