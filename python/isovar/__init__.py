"""isovar: isolines of grids and finite-element meshes from numpy arrays.

    import numpy as np, isovar
    x = np.linspace(0, 10, 200); y = np.linspace(0, 8, 160)
    z = np.sin(x)[None, :] * np.cos(y)[:, None]
    m = isovar.Grid(x, y, z, levels=np.linspace(-0.8, 0.8, 9))
    lines = m.lines()          # per level: (N, 2) arrays
    bands = m.bands()          # per band: polygons of rings
    picture = m.plot()         # (585, 665, 3) uint8
    m.save("plot.png")         # .png .bmp .svg .pdf .geojson

Grid, Mesh and read make models (isovar.readers adds rasters, point tables
and Gmsh meshes); isovar.mpl draws them into matplotlib axes;
isovar.records gives results as records for Dask and geopandas. Failures of
the library raise IsovarError (a ValueError) with its message; bad arguments
raise ValueError naming the argument before the library is called.
"""

from ._models import DEFAULT_SIZE, Grid, IsovarError, Mesh, Model, axis_origin, read, release_runs
from .readers import read_mesh, read_points, read_raster

__all__ = ["DEFAULT_SIZE", "Grid", "IsovarError", "Mesh", "Model", "axis_origin", "read", "read_mesh", "read_points",
           "read_raster", "release_runs"]
