"""Lines and bands from Python equal the library's GeoJSON for the same
model file: the examples read, random grids and meshes built from arrays,
other levels for one call, large models; a mesh's lines equal matplotlib's
tricontour."""

import numpy as np
import pytest

import isovar
from conftest import EXAMPLES, Arrays, library_geojson, random_arrays, short


def f32(a):
    return np.asarray(a, dtype=np.float64).astype(np.float32)


def assert_lines_match(per_level, geojson, levels):
    """per_level (Model.lines) holds the features of the GeoJSON, level by
    level in the file's order, with the same points in single precision."""
    assert len(per_level) == len(levels)
    taken = [0] * len(levels)
    for feature in geojson["features"]:
        p = feature["properties"]
        k = p["level_index"]
        assert p["level"] == pytest.approx(levels[k], rel=1e-6)
        line = per_level[k][taken[k]]
        taken[k] += 1
        assert line.dtype == np.float64 and line.shape[1] == 2
        np.testing.assert_array_equal(f32(line), f32(feature["geometry"]["coordinates"]))
    assert taken == [len(lines) for lines in per_level]


def assert_bands_match(bands, geojson, level_count):
    assert len(bands) == level_count + 1
    by_band = {f["properties"]["band"]: f["geometry"]["coordinates"] for f in geojson["features"]}
    for b, polygons in enumerate(bands):
        expected = by_band.get(b, [])
        assert len(polygons) == len(expected), f"band {b}"
        for polygon, rings in zip(polygons, expected):
            assert len(polygon) == len(rings)
            for ring, ring_expected in zip(polygon, rings):
                np.testing.assert_array_equal(f32(ring), f32(ring_expected))
                np.testing.assert_array_equal(ring[0], ring[-1])


def test_example_files(example, tmp_path):
    m = isovar.read(example)
    assert_lines_match(m.lines(), library_geojson(example, tmp_path), m.levels)
    assert_bands_match(m.bands(), library_geojson(example, tmp_path, "bands"), len(m.levels))
    assert m.to_geojson() == library_geojson(example, tmp_path)
    assert m.to_geojson("bands") == library_geojson(example, tmp_path, "bands")


def test_example_levels_titles_and_flags():
    m = isovar.read(EXAMPLES["terrain"])
    assert m.kind == "grid" and not m.large and not m.full
    assert list(m.levels) == list(range(150, 526, 25))
    assert m.bold == (200.0, 300.0, 400.0, 500.0)
    assert 175.0 not in m.labelled and 150.0 in m.labelled
    assert m.titles[1] == "Terrain survey, elevation in metres"
    assert m.titles[0].startswith("地形図")
    assert isovar.read(EXAMPLES["plate"]).kind == "mesh"


@pytest.mark.parametrize("seed", range(12))
def test_random_models_from_arrays(seed, tmp_path):
    a = random_arrays(seed)
    path = a.write(tmp_path / "model.isovar")
    m = a.model()
    assert m.kind == ("mesh" if a.mesh else "grid")
    np.testing.assert_array_equal(m.levels, f32(a.levels))
    assert m.titles == a.titles and m.full == a.full
    assert_lines_match(m.lines(), library_geojson(path, tmp_path), m.levels)
    assert_bands_match(m.bands(), library_geojson(path, tmp_path, "bands"), len(m.levels))
    assert m.to_geojson() == isovar.read(path).to_geojson()


def test_other_levels_for_one_call_leave_the_model_as_it_was():
    a = random_arrays(3, mesh=False, side=30)
    m = a.model()
    before = m.lines()
    other = [0.0, 2.5, 7.0]
    with_other = a.model(levels=other, bold=(), labelled=None).lines()
    got = m.lines(levels=other)
    assert len(got) == 3
    for x, y in zip(got, with_other):
        assert len(x) == len(y) and all(np.array_equal(p, q) for p, q in zip(x, y))
    assert [len(v) for v in m.bands(levels=other)] == [len(v) for v in a.model(levels=other, bold=(), labelled=None).bands()]
    np.testing.assert_array_equal(m.levels, f32(a.levels))
    assert m.bold == (f32(a.levels[1]),) and m.titles == a.titles
    after = m.lines()
    assert all(np.array_equal(p, q) for x, y in zip(before, after) for p, q in zip(x, y))
    m.set_levels(other, bold=(2.5,))
    np.testing.assert_array_equal(m.levels, other)
    assert m.bold == (2.5,) and m.labelled == (0.0, 2.5, 7.0)


def test_mixed_cells_given_three_ways():
    a = random_arrays(2, mesh=True, side=12)
    triangles = np.array([c[:3] for c in a.cells if c[3] < 0])
    quads = np.array([c for c in a.cells if c[3] >= 0])
    ragged = [list(c[:3]) if c[3] < 0 else list(c) for c in a.cells]
    reference = a.model().lines()
    same = isovar.Mesh(a.x, a.y, ragged, a.values, levels=a.levels).lines()
    assert all(len(x) == len(y) and all(np.array_equal(p, q) for p, q in zip(x, y))
               for x, y in zip(same, reference))
    # Blocks of triangles and quadrilaterals: the cells come in another
    # order, so the lines are joined otherwise, through the same points.
    blocks = isovar.Mesh(a.x, a.y, [quads, triangles], a.values, levels=a.levels).lines()
    for x, y in zip(blocks, reference):
        np.testing.assert_array_equal(segments_points(x), segments_points(y))


def test_large_models_switch_on_by_themselves(tmp_path):
    # 600 columns: more than the default tables' 499.
    x = np.arange(600, dtype=np.float64)
    y = np.arange(40, dtype=np.float64)
    z = np.vectorize(short)(np.sin(x / 40)[None, :] + np.cos(y / 7)[:, None])
    levels = [-1.0, -0.5, 0.0, 0.5, 1.0, 1.5]
    m = isovar.Grid(x, y, z, levels=levels)
    assert m.large
    with pytest.raises(isovar.IsovarError) as e:
        isovar.Grid(x, y, z, levels=levels, large=False)
    assert e.value.limit_reached
    path = Arrays(False, x, y, z, levels).write(tmp_path / "wide.isovar")
    assert_lines_match(m.lines(), library_geojson(path, tmp_path, large=True), m.levels)
    assert isovar.read(path).large
    # The run kept from a large model's trace serves the next ones alike,
    # large or not, until released.
    small = random_arrays(4, mesh=False, side=20)
    reference = small.model().lines()
    assert all(np.array_equal(p, q) for x, y in zip(small.model(large=True).lines(), reference) for p, q in zip(x, y))
    assert len(m.lines()[0]) == len(isovar.Grid(x, y, z, levels=levels).lines()[0])
    # A line kept alone outlives its level's block and the calls after it.
    kept = m.lines()[2][-1]
    copy = kept.copy()
    m.lines(), m.lines(levels=[0.25])
    np.testing.assert_array_equal(kept, copy)
    assert kept.flags.c_contiguous and kept.flags.writeable and kept.base.shape[1] == 2
    isovar.release_runs()
    assert all(np.array_equal(p, q) for x, y in zip(small.model().lines(), reference) for p, q in zip(x, y))


def test_automatic_levels_are_round():
    x = np.linspace(0, 1, 20)
    z = np.outer(np.linspace(0, 1, 10), 97 * x) + 3
    m = isovar.Grid(x, np.arange(10.0), z)
    assert 5 <= len(m.levels) <= 15
    steps = np.diff(m.levels)
    assert np.allclose(steps, steps[0]) and steps[0] in (5, 10, 20, 25)
    assert 3 < m.levels[0] and m.levels[-1] < 100


def segments_points(segs):
    pts = [s for s in segs if len(s)]
    return np.unique(np.concatenate(pts).astype(np.float32), axis=0) if pts else np.zeros((0, 2), np.float32)


def nearest(a, b):
    """For each point of a, the distance to the nearest point of b."""
    return np.array([np.min(np.hypot(*(b - p).T)) for p in a]) if len(b) else np.full(len(a), np.inf)


@pytest.mark.parametrize("seed", [1, 4, 7])
def test_mesh_lines_equal_matplotlib_tricontour(seed):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.tri as mtri

    rng = np.random.default_rng(seed)
    side = 16
    gx, gy = np.meshgrid(np.arange(side, dtype=np.float64), np.arange(side, dtype=np.float64))
    x = f32(gx.ravel() + 0.3 * rng.random(side * side)).astype(np.float64)
    y = f32(gy.ravel() + 0.3 * rng.random(side * side)).astype(np.float64)
    z = f32(np.sin(x / 3) * np.cos(y / 4) * 10 + 0.01 * rng.random(x.size)).astype(np.float64)
    tri = mtri.Triangulation(x, y)
    levels = [-7.5, -4.25, -1.1, 0.3, 2.9, 6.15]
    m = isovar.Mesh(x, y, tri.triangles, z, levels=levels)
    fig, ax = plt.subplots()
    cs = ax.tricontour(tri, z, levels=levels)
    plt.close(fig)
    tol = 4 * np.finfo(np.float32).eps * side
    for k, lines in enumerate(m.lines()):
        ours = segments_points(lines)
        theirs = segments_points(cs.allsegs[k])
        assert len(ours) > 0
        assert np.max(nearest(ours, theirs)) < tol, f"level {levels[k]}"
        assert np.max(nearest(theirs, ours)) < tol, f"level {levels[k]}"
