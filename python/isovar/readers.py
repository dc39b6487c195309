"""Models from the files isovar-convert reads: rasters (GDAL), tables of
scattered points (triangulated) and Gmsh meshes. The converter's readers are
loaded when first used."""

import os

import numpy as np

from ._models import Grid, Mesh


def _convert():
    from . import _convert as module  # GDAL and qhull, loaded when first needed
    return module


def _read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def read_raster(path, band=1, levels=None, *, every=1, **model):
    """A grid of one band of any raster GDAL opens: x and y the pixel
    centres, ascending; nodata pixels without a value; the band's scale and
    offset applied. every: keep every K-th row and column. Other keywords
    (titles, bold, labelled, full, large) as for Grid."""
    if int(band) < 1:
        raise ValueError(f"band: 1 or more, not {band}")
    if int(every) < 1:
        raise ValueError(f"every: 1 or more, not {every}")
    x, y, z, _, _ = _convert().raster(os.fsdecode(os.fspath(path)), int(band), int(every))
    return Grid(x, y, z, levels=levels, **model)


def read_points(path_or_array, levels=None, *, columns="1,2,3", **model):
    """A mesh of triangles (Delaunay, by qhull) over scattered points: a
    CSV, TSV or blank-separated table (columns: the fields of x, y and z,
    by number or header name), or an (n, 3) array of x, y, z. Points with
    the x and y of an earlier one are left out."""
    if isinstance(path_or_array, (str, bytes, os.PathLike)):
        points = _convert().table(_read_bytes(path_or_array), str(columns))
    else:
        points = np.asarray(path_or_array, dtype=np.float64)
        if points.ndim != 2 or points.shape[1] != 3:
            raise ValueError(f"path_or_array: points must be of shape (n, 3), not {points.shape}")
    (x, y, values, cells), _ = _convert().triangulate(np.ascontiguousarray(points))
    return Mesh(x, y, cells, values, levels=levels, **model)


def read_mesh(path, field=None, step=None, levels=None, **model):
    """A mesh of a Gmsh file (ASCII 2.2 or 4.1): its 3-node triangles and
    4-node quadrangles, with the node values of the field named (None: the
    first $NodeData block's) at the time step given (None: the first)."""
    (x, y, values, cells), _, _, _ = _convert().gmsh(_read_bytes(path), field or "", step)
    return Mesh(x, y, cells, values, levels=levels, **model)
