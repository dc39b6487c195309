"""What the tests share: the source tree's examples, isovar-plot (the
reference every result is held against), and random models as arrays and
as the model file of the same numbers."""

import json
import os
import subprocess
from dataclasses import dataclass, field

import numpy as np
import pytest

import isovar

SOURCE_DIR = os.environ.get("ISOVAR_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
EXAMPLES = {name: os.path.join(SOURCE_DIR, "examples", name + ".isovar") for name in ("terrain", "plate")}


def isovar_plot(*args):
    """Runs isovar-plot with args; fails the test when it fails."""
    program = os.environ.get("ISOVAR_PLOT", "isovar-plot")
    done = subprocess.run([program, *map(str, args)], capture_output=True)
    assert done.returncode == 0, done.stderr.decode("utf-8", "replace")


def library_geojson(model_path, tmp_path, kind="lines", large=False):
    """The library's GeoJSON of a model file, as isovar-plot writes it."""
    out = tmp_path / f"reference.{kind}.geojson"
    isovar_plot(model_path, "--isolines" if kind == "lines" else "--bands", out, *(["--large"] if large else []))
    with open(out, encoding="utf-8") as f:
        return json.load(f)


def short(v):
    """Nine significant digits: what a field of the model file holds."""
    return float("%.9g" % v)


@dataclass
class Arrays:
    """A model as arrays (the arguments of Grid or Mesh) and as a file."""
    mesh: bool
    x: np.ndarray
    y: np.ndarray
    values: np.ndarray  # z (ny, nx) of a grid, per node of a mesh
    levels: list
    cells: np.ndarray = None
    bold: tuple = ()
    labelled: tuple = None
    titles: tuple = ()
    full: bool = False

    def model(self, **kw):
        common = dict(levels=self.levels, titles=self.titles, bold=self.bold, labelled=self.labelled,
                      full=self.full)
        common.update(kw)
        if self.mesh:
            return isovar.Mesh(self.x, self.y, self.cells, self.values, **common)
        return isovar.Grid(self.x, self.y, self.values, **common)

    def write(self, path):
        out = ["*model fem" if self.mesh else "*model differencial"]
        if self.titles:
            out += ["*title", *self.titles, "*end"]
        if self.full:
            out.append("*display full")
        if self.mesh:
            out.append("*node")
            out += [f"{n} {short(a)!r} {short(b)!r}" for n, (a, b) in enumerate(zip(self.x, self.y))]
            out += ["*end", "*element"]
            for c, cell in enumerate(self.cells):
                out.append(" ".join(str(v) for v in [c, *[n for n in cell if n >= 0]]))
            out += ["*end", "*node_data"]
            out += [f"{n} {short(v)!r}" for n, v in enumerate(self.values) if not np.isnan(v)]
            out.append("*end")
        else:
            out += ["*x", *[repr(short(v)) for v in self.x], "*end", "*y", *[repr(short(v)) for v in self.y], "*end"]
            out.append("*value")
            ny, nx = self.values.shape
            out += [f"{i + 1} {j + 1} {short(self.values[j, i])!r}" for j in range(ny) for i in range(nx)
                    if not np.isnan(self.values[j, i])]
            out.append("*end")
        out.append("*isovar")
        for v in self.levels:
            flags = " bold" if v in self.bold else " default"
            if self.labelled is not None and v not in self.labelled:
                flags += " no"
            out.append(repr(short(v)) + flags)
        out.append("*end")
        path.write_bytes(("\n".join(out) + "\n").encode("cp932"))
        return path


def random_arrays(seed, mesh=None, side=None):
    """A random grid or mesh (as the library's own tests make them): smooth
    or integer values, some points without a value, every number as a
    model file holds it."""
    rng = np.random.default_rng(seed)
    integers = seed % 2 == 0
    side = side or int(rng.integers(3, 41))
    mesh = seed % 3 == 2 if mesh is None else mesh

    def value(u, v):
        return float(rng.integers(0, 6)) if integers else 10 * np.sin(5 * u) * np.cos(4 * v) + rng.random()

    levels = [1.0, 2.0, 3.0, 4.0] if integers else [k + 0.5 for k in range(-8, 9, 2)]
    common = dict(levels=levels, bold=(levels[1],), labelled=tuple(v for k, v in enumerate(levels) if k != 2),
                  titles=(f"random {seed}",), full=seed % 5 == 4)
    if not mesh:
        x = np.array([short(i * 1.5 + rng.random()) for i in range(side)])
        y = np.arange(side, dtype=np.float64)
        z = np.array([[short(value(i / side, j / side)) if rng.integers(0, 31) else np.nan for i in range(side)]
                      for j in range(side)])
        return Arrays(False, x, y, z, **common)
    x, y, v = [], [], []
    for i in range(side):
        for j in range(side):
            x.append(short(i + 0.3 * rng.random()))
            y.append(short(j + 0.3 * rng.random()))
            v.append(short(value(i / side, j / side)) if rng.integers(0, 41) else np.nan)
    cells = []
    for i in range(side - 1):
        for j in range(side - 1):
            quad = rng.integers(0, 2) == 0
            cells.append([i * side + j, (i + 1) * side + j, (i + 1) * side + j + 1, i * side + j + 1 if quad else -1])
    return Arrays(True, np.array(x), np.array(y), np.array(v), cells=np.array(cells, dtype=np.int32), **common)


@pytest.fixture(params=sorted(EXAMPLES))
def example(request):
    return EXAMPLES[request.param]
