"""The converter's readers from Python: a raster, a table of points and a
Gmsh mesh give the models isovar-convert makes of the same files, levels
chosen alike."""

import os
import subprocess

import numpy as np
import pytest

import isovar


def convert(path, tmp_path, *args):
    program = os.environ.get("ISOVAR_CONVERT", "isovar-convert")
    out = tmp_path / "converted.isovar"
    done = subprocess.run([program, str(path), "-o", str(out), *args], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return isovar.read(out)


def same_lines(a, b):
    """The same lines through the same points, b's (a model file's) rounded
    to single precision: a model built in memory may keep its coordinates
    as offsets from an origin, finer than the file's numbers."""
    np.testing.assert_array_equal(a.levels, b.levels)
    la, lb = a.lines(), b.lines()
    assert sum(map(len, la)) > 0
    assert all(len(x) == len(y) and all(p.shape == q.shape and np.allclose(p, q, rtol=2.0 ** -22, atol=0)
                                        for p, q in zip(x, y)) for x, y in zip(la, lb))


def test_raster(tmp_path):
    rng = np.random.default_rng(1)
    z = np.round(np.cumsum(rng.standard_normal((30, 40)), axis=1), 3)
    rows = [" ".join(str(v) for v in row) for row in z]
    path = tmp_path / "field.asc"
    path.write_text("ncols 40\nnrows 30\nxllcorner 100\nyllcorner 200\ncellsize 5\nNODATA_value -9999\n"
                    + "\n".join(rows) + "\n")
    m = isovar.read_raster(path)
    assert m.kind == "grid" and m.extent == (102.5, 297.5, 202.5, 347.5)
    same_lines(m, convert(path, tmp_path))
    same_lines(isovar.read_raster(path, every=2, levels=[0.0, 2.0]),
               convert(path, tmp_path, "--every", "2", "--levels", "0.0,2.0"))
    with pytest.raises(ValueError):
        isovar.read_raster(path, band=2)


def test_points_from_a_table_and_from_an_array(tmp_path):
    rng = np.random.default_rng(2)
    pts = np.round(rng.random((200, 3)) * [50, 30, 10], 4)
    path = tmp_path / "points.csv"
    path.write_text("east,north,depth\n" + "\n".join(",".join(map(str, p)) for p in pts) + "\n")
    reference = convert(path, tmp_path, "--columns", "east,north,depth")
    same_lines(isovar.read_points(path, columns="east,north,depth"), reference)
    same_lines(isovar.read_points(pts.astype(np.float32).astype(np.float64)), reference)


def test_gmsh_mesh(tmp_path):
    nodes = [(1, 0, 0), (2, 1, 0), (3, 2, 0), (4, 0, 1), (5, 1, 1), (6, 2, 1)]
    values = {1: 0.0, 2: 1.0, 3: 2.0, 4: 1.0, 5: 2.5, 6: 3.0}
    text = ["$MeshFormat", "2.2 0 8", "$EndMeshFormat", "$Nodes", str(len(nodes))]
    text += [f"{n} {x} {y} 0" for n, x, y in nodes]
    text += ["$EndNodes", "$Elements", "3", "1 3 2 0 1 1 2 5 4", "2 2 2 0 1 2 3 6", "3 2 2 0 1 2 6 5",
             "$EndElements", "$NodeData", "1", '"temperature"', "1", "0.0", "3", "0", "1", "6"]
    text += [f"{n} {v}" for n, v in values.items()]
    text += ["$EndNodeData"]
    path = tmp_path / "plate.msh"
    path.write_text("\n".join(text) + "\n")
    m = isovar.read_mesh(path, levels=[0.5, 1.5, 2.25])
    assert m.kind == "mesh"
    same_lines(m, convert(path, tmp_path, "--levels", "0.5,1.5,2.25"))
    with pytest.raises(ValueError):
        isovar.read_mesh(path, field="pressure")
