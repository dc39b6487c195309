"""Rasters larger than one machine: traced tile by tile on a Dask cluster.

The raster is cut into tiles of whole cells; neighbouring tiles share the
row or column of values along their border, so every cell lies in exactly
one tile and a line that crosses a border ends, in both tiles, at the same
crossing on a border edge. Each tile is read (a GDAL window, or a slice of
a dask or numpy array) and traced on a worker: a worker holds one tile, not
the raster. The client joins the pieces end to end where they meet on a
border, into the polylines the raster traced in one piece has, and the
bands' polygons by their union across the borders (GEOS, through OGR).

    import isovar.dask
    from dask.distributed import Client
    client = Client("tcp://HOST:8786")
    lines = isovar.dask.lines("dem.tif", levels=range(0, 3000, 50), tile=(4096, 4096),
                              client=client, output="dem-lines.gpkg")
"""

import math
import os

import numpy as np

from ._models import Grid, axis_origin

__all__ = ["lines", "bands", "tiles"]


# ---- Sources ----------------------------------------------------------------

class _Raster:
    """A north-up raster file read by GDAL, one window at a time; pickled to
    the workers as its path."""

    def __init__(self, path, band=1):
        from osgeo import gdal
        self.path = os.fspath(path)
        self.band = band
        ds = gdal.Open(self.path)
        if ds is None:
            raise ValueError(f"source: GDAL cannot open {self.path}")
        gt = ds.GetGeoTransform()
        if gt[2] != 0 or gt[4] != 0:
            raise ValueError(f"source: {self.path} is rotated (a geotransform with terms {gt[2]}, {gt[4]})")
        self.shape = (ds.RasterYSize, ds.RasterXSize)
        # Pixel centres; rows run north to south, the grid's y upwards.
        self.x = gt[0] + gt[1] * (np.arange(self.shape[1]) + 0.5)
        self.y = gt[3] + gt[5] * (np.arange(self.shape[0]) + 0.5)
        self.crs = ds.GetProjection() or None

    def window(self, r0, r1, c0, c1):
        from osgeo import gdal
        ds = gdal.Open(self.path)
        b = ds.GetRasterBand(self.band)
        z = b.ReadAsArray(c0, r0, c1 - c0, r1 - r0).astype(np.float64)
        nodata = b.GetNoDataValue()
        if nodata is not None:
            z[z == nodata] = np.nan
        return z


class _Arrays:
    """x, y and z (numpy or dask) with z[j, i] at x[i], y[j]."""

    def __init__(self, x, y, z):
        self.x = np.asarray(x, dtype=np.float64)
        self.y = np.asarray(y, dtype=np.float64)
        self.z = z
        self.shape = tuple(z.shape)
        if len(self.shape) != 2 or self.shape != (len(self.y), len(self.x)):
            raise ValueError(f"z: shape {self.shape}, but x has {len(self.x)} values and y {len(self.y)}")
        self.crs = None

    def window(self, r0, r1, c0, c1):
        return np.asarray(self.z[r0:r1, c0:c1], dtype=np.float64)


def _source(source, x, y, band):
    if isinstance(source, (str, bytes, os.PathLike)):
        return _Raster(source, band)
    if x is None or y is None:
        # An xarray DataArray brings its coordinates.
        coords = getattr(source, "coords", None)
        dims = getattr(source, "dims", None)
        if coords is None or dims is None or len(dims) != 2:
            raise ValueError("x, y: needed for an array without coordinates")
        y, x = (np.asarray(coords[d]) for d in dims)
        source = source.data
    return _Arrays(x, y, source)


def tiles(shape, tile):
    """The tiles of a grid of shape (ny, nx) values, tile = (rows, columns)
    of cells each: a list of (r0, r1, c0, c1), value rows r0 .. r1 - 1 and
    columns c0 .. c1 - 1, neighbours sharing their border row or column."""
    rows, cols = int(tile[0]), int(tile[1])
    if rows < 1 or cols < 1:
        raise ValueError(f"tile: at least one cell each way, not {tile}")
    ny, nx = shape
    rs = [(r, min(r + rows, ny - 1) + 1) for r in range(0, max(ny - 1, 1), rows)]
    cs = [(c, min(c + cols, nx - 1) + 1) for c in range(0, max(nx - 1, 1), cols)]
    return [(r0, r1, c0, c1) for r0, r1 in rs for c0, c1 in cs]


# ---- The work of one tile ---------------------------------------------------

def _ascending(src):
    """x and y ascending (a raster's rows run downwards), and the origin the
    whole grid chooses: every tile stores its coordinates as offsets from
    it, so a tile's cells trace to the points of the whole grid's, bit for
    bit."""
    y = src.y[::-1] if len(src.y) > 1 and src.y[0] > src.y[-1] else src.y
    return (axis_origin(src.x), axis_origin(y))


def _trace(src, window, levels, kind, origin):
    r0, r1, c0, c1 = window
    z = src.window(r0, r1, c0, c1)
    x, y = src.x[c0:c1], src.y[r0:r1]
    if len(y) > 1 and y[0] > y[-1]:
        y, z = y[::-1], z[::-1]
    grid = Grid(np.ascontiguousarray(x), np.ascontiguousarray(y), np.ascontiguousarray(z), levels=levels,
                origin=origin)
    return grid.lines() if kind == "lines" else grid.bands()


def _run(source, levels, tile, client, kind, x, y, band):
    src = _source(source, x, y, band)
    levels = [float(v) for v in levels]
    windows = tiles(src.shape, tile)
    origin = _ascending(src)
    if client is not None:
        futures = [client.submit(_trace, src, w, levels, kind, origin, pure=False) for w in windows]
        parts = client.gather(futures)
    else:
        import dask
        parts = dask.compute(*[dask.delayed(_trace)(src, w, levels, kind, origin) for w in windows])
    return src, levels, list(parts)


# ---- Joining ----------------------------------------------------------------

def _join(pieces):
    """Polylines joined end to end where the end of one is the end of just
    one other, a list of (N, 2) arrays in, the joined ones out (rings
    closed), in an order that depends only on the pieces. As in the one-piece
    trace, a point where more than two pieces end (a level met at a value)
    ends them all. Two tiles compute a crossing on their common border from
    the same numbers: its ends are equal, bit for bit."""
    done, open_ = [], []
    for p in pieces:
        (done if len(p) > 1 and p[0][0] == p[-1][0] and p[0][1] == p[-1][1] else open_).append(p)
    ends = {}
    for i, p in enumerate(open_):
        for side in (0, -1):
            ends.setdefault((p[side][0], p[side][1]), []).append((i, side))
    used = [False] * len(open_)

    def through(point):
        """The two piece ends at point, or None when there are not two."""
        here = ends[(point[0], point[1])]
        return here if len(here) == 2 else None

    def walk(i, start):
        """The chain from piece i's end `start` (0 first point, -1 last)."""
        used[i] = True
        chain = [open_[i] if start == 0 else open_[i][::-1]]
        tail = (i, -1 if start == 0 else 0)
        while (here := through(chain[-1][-1])) is not None:
            j, side = here[1] if here[0] == tail else here[0]
            if used[j]:
                break  # round to the first piece: a ring
            used[j] = True
            chain.append((open_[j] if side == 0 else open_[j][::-1])[1:])
            tail = (j, -1 if side == 0 else 0)
        return np.concatenate(chain)

    # Chains from their ends first (a lone end or a meeting of more than
    # two), then the rings left over.
    order = [i for i, p in enumerate(open_) if through(p[0]) is None or through(p[-1]) is None]
    for i in order + list(range(len(open_))):
        if not used[i]:
            done.append(walk(i, 0 if through(open_[i][0]) is None or through(open_[i][-1]) is not None else -1))
    return done


def lines(source, levels, tile=(4096, 4096), client=None, output=None, *, x=None, y=None, band=1,
          layer="isolines"):
    """The isolines of a raster too large for one machine's memory, traced
    tile by tile on Dask's workers and joined on the client.

    source: a raster file's path (read by GDAL, a window per tile), or an
    array (numpy, dask.array, xarray.DataArray) with x and y (or its own
    coordinates). levels: ascending values. tile: cells per tile (rows,
    columns). client: a dask.distributed Client, or None for Dask's default
    scheduler. output: a geodata file to write (.gpkg, .fgb, .shp,
    .geojson; the attributes ID and ELEV as isovar-plot writes them, the
    raster's CRS). Returns one list per level of (N, 2) arrays, as
    Model.lines() does; a polyline's points equal those of the raster
    traced in one piece, and so does the set of polylines."""
    src, levels, parts = _run(source, levels, tile, client, "lines", x, y, band)
    per_level = []
    for k in range(len(levels)):
        per_level.append(_join([p for part in parts for p in part[k]]))
    if output is not None:
        _write(output, src.crs, layer, ogr_geometries=_line_features(per_level, levels))
    return per_level


def bands(source, levels, tile=(4096, 4096), client=None, output=None, *, x=None, y=None, band=1,
          layer="bands"):
    """The band polygons of a raster, as lines() traces it: each tile's
    polygons, their union per band across the tiles' borders (GEOS). Returns
    one entry per band (as Model.bands()), each a list of polygons, each a
    list of closed rings, the outer ring first."""
    src, levels, parts = _run(source, levels, tile, client, "bands", x, y, band)
    borders = _borders(src, tile)
    out = []
    for b in range(len(levels) + 1):
        polygons = [p for part in parts for p in part[b]]
        # Only the polygons on a border between tiles have parts in others.
        inside = [p for p in polygons if not _on_border(p[0], borders)]
        out.append(inside + _union([p for p in polygons if _on_border(p[0], borders)]))
    if output is not None:
        _write(output, src.crs, layer, ogr_geometries=_band_features(out, levels))
    return out


def _borders(src, tile):
    """The x and y of the borders between tiles, and half a cell's tolerance."""
    windows = tiles(src.shape, tile)
    xs = sorted({src.x[c0] for _, _, c0, _ in windows if c0 > 0})
    ys = sorted({src.y[r0] for r0, _, _, _ in windows if r0 > 0})
    cell = min(np.min(np.abs(np.diff(src.x))) if len(src.x) > 1 else 1.0,
               np.min(np.abs(np.diff(src.y))) if len(src.y) > 1 else 1.0)
    return np.array(xs), np.array(ys), 0.5 * cell


def _on_border(ring, borders):
    xs, ys, tol = borders
    lo, hi = ring.min(axis=0), ring.max(axis=0)
    return bool(np.any((xs >= lo[0] - tol) & (xs <= hi[0] + tol)) or np.any((ys >= lo[1] - tol) & (ys <= hi[1] + tol)))


def _union(polygons):
    from osgeo import ogr
    if len(polygons) < 2:
        return polygons
    multi = ogr.Geometry(ogr.wkbMultiPolygon)
    for polygon in polygons:
        multi.AddGeometry(_ogr_polygon(polygon))
    return _polygons_of(multi.UnionCascaded())


# ---- Geometry and output ----------------------------------------------------

def _ogr_polygon(rings):
    """An OGR polygon from its rings, through well-known binary."""
    from osgeo import ogr
    parts = [np.array([1], "u1").tobytes(), np.array([3, len(rings)], "<u4").tobytes()]
    for ring in rings:
        parts += [np.array([len(ring)], "<u4").tobytes(), np.ascontiguousarray(ring, "<f8").tobytes()]
    return ogr.CreateGeometryFromWkb(b"".join(parts))


def _ogr_line(points):
    from osgeo import ogr
    header = np.array([1], "u1").tobytes() + np.array([2, len(points)], "<u4").tobytes()
    return ogr.CreateGeometryFromWkb(header + np.ascontiguousarray(points, "<f8").tobytes())


def _polygons_of(geometry):
    from osgeo import ogr
    if geometry is None or geometry.IsEmpty():
        return []
    kind = ogr.GT_Flatten(geometry.GetGeometryType())
    if kind == ogr.wkbPolygon:
        polygons = [geometry]
    else:
        polygons = [geometry.GetGeometryRef(i) for i in range(geometry.GetGeometryCount())]
    out = []
    for p in polygons:
        if ogr.GT_Flatten(p.GetGeometryType()) != ogr.wkbPolygon:
            continue
        rings = [np.array(p.GetGeometryRef(i).GetPoints(), dtype=np.float64)[:, :2]
                 for i in range(p.GetGeometryCount())]
        # As Model.bands(): the outer ring counter-clockwise, holes clockwise.
        out.append([r if (_area2(r) > 0) == (i == 0) else r[::-1] for i, r in enumerate(rings)])
    return out


def _area2(ring):
    """Twice the signed area of a closed ring (counter-clockwise positive),
    from its first point: far from 0, products of whole coordinates would
    lose the digits the area is made of."""
    x, y = ring[:, 0] - ring[0, 0], ring[:, 1] - ring[0, 1]
    return float(np.dot(x[:-1], y[1:]) - np.dot(x[1:], y[:-1]))


def _line_features(per_level, levels):
    n = 0
    for k, level_lines in enumerate(per_level):
        for a in level_lines:
            yield {"ID": n, "ELEV": levels[k]}, _ogr_line(a)
            n += 1


def _band_features(per_band, levels):
    n = 0
    for b, polygons in enumerate(per_band):
        lo = levels[b - 1] if b > 0 else -math.inf
        hi = levels[b] if b < len(levels) else math.inf
        for polygon in polygons:
            yield {"ID": n, "ELEV_MIN": lo, "ELEV_MAX": hi}, _ogr_polygon(polygon)
            n += 1


_DRIVERS = {".gpkg": "GPKG", ".fgb": "FlatGeobuf", ".shp": "ESRI Shapefile", ".geojson": "GeoJSON",
            ".json": "GeoJSON"}


def _write(path, crs, layer_name, ogr_geometries):
    """Writes the features into a new file at path, under a temporary name
    renamed when complete."""
    from osgeo import ogr, osr
    path = os.fspath(path)
    ext = os.path.splitext(path)[1].lower()
    driver_name = _DRIVERS.get(ext)
    if driver_name is None:
        raise ValueError(f"output: no format for the extension {ext!r} (known: {', '.join(sorted(_DRIVERS))})")
    folder = os.path.dirname(os.path.abspath(path))
    temp = os.path.join(folder, f".{os.path.basename(path)}.{os.getpid()}.part{ext}")
    driver = ogr.GetDriverByName(driver_name)
    srs = None
    if crs:
        srs = osr.SpatialReference()
        srs.ImportFromWkt(crs)
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    ds = driver.CreateDataSource(temp)
    if ds is None:
        raise OSError(f"{path}: cannot be written")
    try:
        layer = None
        ds.StartTransaction()
        for attributes, geometry in ogr_geometries:
            if layer is None:
                layer = ds.CreateLayer(layer_name, srs, geometry.GetGeometryType())
                for name, value in attributes.items():
                    layer.CreateField(ogr.FieldDefn(name, ogr.OFTInteger if isinstance(value, int)
                                                    else ogr.OFTReal))
            f = ogr.Feature(layer.GetLayerDefn())
            for name, value in attributes.items():
                f.SetField(name, value)
            f.SetGeometry(geometry)
            if layer.CreateFeature(f) != 0:
                raise OSError(f"{path}: a feature could not be written")
        if layer is None:
            ds.CreateLayer(layer_name, srs, ogr.wkbUnknown)
        ds.CommitTransaction()
        ds = None
    except BaseException:
        ds = None
        driver.DeleteDataSource(temp)
        raise
    if driver_name == "ESRI Shapefile":
        # A shapefile is several files: each renamed to the name asked for.
        stem, final_stem = os.path.splitext(temp)[0], os.path.splitext(path)[0]
        for side in (".shp", ".shx", ".dbf", ".prj", ".cpg"):
            if os.path.exists(stem + side):
                os.replace(stem + side, final_stem + side)
    else:
        os.replace(temp, path)
