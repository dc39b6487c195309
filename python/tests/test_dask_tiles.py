"""A raster traced tile by tile on a LocalCluster of two workers equals the
raster traced in one piece: the same polylines, the same band areas."""

import numpy as np
import pytest

import isovar
import isovar.dask

distributed = pytest.importorskip("distributed")
gdal = pytest.importorskip("osgeo.gdal")
ogr = pytest.importorskip("osgeo.ogr")

N = 1500
LEVELS = [-1.5, -1.0, -0.5, -0.1, 0.0, 0.3, 0.8, 1.2]


def field(n):
    rng = np.random.default_rng(7)
    j, i = np.mgrid[0:n, 0:n] / n
    z = np.sin(9 * i) * np.cos(7 * j) + 0.8 * np.sin(23 * i * j + 1.0)
    return z + 0.02 * rng.standard_normal((n, n))


@pytest.fixture(scope="module")
def raster(tmp_path_factory):
    """A north-up GeoTIFF in a projected CRS, far from the origin."""
    path = str(tmp_path_factory.mktemp("tiles") / "field.tif")
    z = field(N)
    ds = gdal.GetDriverByName("GTiff").Create(path, N, N, 1, gdal.GDT_Float32)
    ds.SetGeoTransform((500000.0, 30.0, 0.0, 4000000.0, 0.0, -30.0))
    ds.SetProjection(_utm_wkt())
    ds.GetRasterBand(1).WriteArray(z.astype(np.float32))
    ds = None
    x = 500000.0 + 30.0 * (np.arange(N) + 0.5)
    y = 4000000.0 - 30.0 * (np.arange(N) + 0.5)
    return path, x, y[::-1].copy(), z.astype(np.float32).astype(np.float64)[::-1].copy()


def _utm_wkt():
    from osgeo import osr
    s = osr.SpatialReference()
    s.ImportFromEPSG(32617)
    return s.ExportToWkt()


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False, dashboard_address=None,
                                  silence_logs=50) as cluster, distributed.Client(cluster) as c:
        yield c


def same_polyline(a, b, tol):
    """a and b are one polyline, up to direction and a ring's first point."""
    if len(a) != len(b):
        return False
    if np.abs(a[0] - a[-1]).max() <= tol and len(a) > 2:
        a, b = a[:-1], b[:-1]
        b = np.roll(b, -int(np.argmin(np.abs(b - a[0]).max(axis=1))), axis=0)
        return np.abs(a - b).max() <= tol or np.abs(a[1:] - b[1:][::-1]).max() <= tol
    return np.abs(a - b).max() <= tol or np.abs(a - b[::-1]).max() <= tol


def assert_same_lines(ours, theirs, tol):
    """Each of ours is one of theirs (matched by point count and the corner
    of its bounding box), and none is matched twice."""
    assert len(ours) == len(theirs)
    groups = {}
    for j, line in enumerate(theirs):
        groups.setdefault(len(line), []).append(j)
    corners = {n: np.array([theirs[j].min(axis=0) for j in js]) for n, js in groups.items()}
    taken = set()
    for line in ours:
        js = groups.get(len(line))
        assert js, f"no polyline of {len(line)} points in one piece"
        near = np.argsort(np.abs(corners[len(line)] - line.min(axis=0)).max(axis=1), kind="stable")[:8]
        match = [js[i] for i in near if js[i] not in taken and same_polyline(line, theirs[js[i]], tol)]
        assert match, line[:3]
        taken.add(match[0])


def test_tiles_cover_every_cell_once():
    for shape, tile in [((5, 7), (2, 3)), ((1501, 1501), (500, 500)), ((3, 3), (1, 1)), ((10, 2), (100, 100))]:
        cells = np.zeros((shape[0] - 1, shape[1] - 1), dtype=int)
        for r0, r1, c0, c1 in isovar.dask.tiles(shape, tile):
            cells[r0:r1 - 1, c0:c1 - 1] += 1
        assert (cells == 1).all(), (shape, tile)


def test_lines_and_bands_of_nine_tiles_equal_one_piece(raster, client, tmp_path):
    path, x, y, z = raster
    whole = isovar.Grid(x, y, z, levels=LEVELS)
    out = tmp_path / "lines.gpkg"
    tiled = isovar.dask.lines(path, LEVELS, tile=(500, 500), client=client, output=str(out))
    one = whole.lines()
    for k in range(len(LEVELS)):
        assert_same_lines(tiled[k], one[k], 0.0)  # bit for bit
    ds = ogr.Open(str(out))
    layer = ds.GetLayer(0)
    assert layer.GetFeatureCount() == sum(len(per) for per in one)
    assert "32617" in layer.GetSpatialRef().ExportToWkt() or layer.GetSpatialRef().GetUTMZone() == 17
    assert [layer.GetLayerDefn().GetFieldDefn(i).GetName() for i in range(2)] == ["ID", "ELEV"]

    tiled_bands = isovar.dask.bands(path, LEVELS, tile=(500, 500), client=client)
    one_bands = whole.bands()
    for b, (t, o) in enumerate(zip(tiled_bands, one_bands)):
        def area(polygons):  # holes run clockwise: their areas count negative
            return sum(isovar.dask._area2(ring) for p in polygons for ring in p) / 2
        assert area(t) == pytest.approx(area(o), rel=1e-9, abs=1e-3), b
        for polygon in t:
            assert isovar.dask._ogr_polygon(polygon).IsValid()
