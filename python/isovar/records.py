"""Results as plain records, for gathering from many processes or machines
(Dask, multiprocessing): picklable dicts that geopandas takes as they are
(GeoDataFrame.from_features)."""

import os

from ._models import read


def line_records(model, **properties):
    """The model's isolines as GeoJSON features (dicts), each with the
    library's properties (level, level_index, closed, bold, labelled) and
    the given ones (a source file's name, say)."""
    features = model.to_geojson("lines")["features"]
    for f in features:
        f["properties"].update(properties)
    return features


def plot_file(path, out_dir, size=(665, 585), fill=False, large=None):
    """Reads the model file at path, writes its picture to out_dir as a PNG
    of the same name, and returns its isolines as records with the property
    "source" (the file's name): one task of the Dask recipe."""
    model = read(path, large=large)
    name = os.path.splitext(os.path.basename(os.fspath(path)))[0]
    model.save(os.path.join(out_dir, name + ".png"), size=size, fill=fill)
    return line_records(model, source=os.path.basename(os.fspath(path)))
