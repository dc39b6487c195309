"""Models: built from arrays (Grid, Mesh) or read from a model file (read),
traced into lines and bands, drawn into pictures and files."""

import json
import os
import tempfile

import numpy as np

from . import _isovar

IsovarError = _isovar.IsovarError

#: The picture's size when none is given: (width, height) in pixels.
DEFAULT_SIZE = (665, 585)
#: A model holds at most this many levels and titles, each title at most
#: TITLE_BYTES bytes in code page 932.
MAX_LEVELS = 49
MAX_TITLES = 5
TITLE_BYTES = 58
#: About this many automatic levels when none are given.
AUTO_LEVEL_COUNT = 10

_STYLE_KEYS = ("levels", "bold", "labelled", "titles", "full")
_PICTURE_FORMATS = {".png": "png", ".bmp": "bmp", ".svg": "svg", ".pdf": "pdf", ".geojson": "geojson",
                    ".json": "geojson"}


# ---- Argument checks: each names the argument it refuses -------------------

def _float_array(name, value, ndim):
    try:
        a = np.asarray(value, dtype=np.float64)
    except (TypeError, ValueError) as e:
        raise ValueError(f"{name}: not an array of numbers ({e})") from None
    if a.ndim != ndim:
        raise ValueError(f"{name}: must have {ndim} dimension{'s' if ndim > 1 else ''}, not {a.ndim}")
    return np.ascontiguousarray(a)


def _coordinates(name, value):
    a = _float_array(name, value, 1)
    bad = np.flatnonzero(~np.isfinite(a))
    if bad.size:
        raise ValueError(f"{name}: the coordinate at index {bad[0]} is not a finite number")
    steps = np.flatnonzero(~(a[1:] > a[:-1]))
    if steps.size:
        raise ValueError(f"{name}: must be strictly increasing (index {steps[0] + 1} is not above the one before)")
    return a


def _level_values(levels):
    a = _float_array("levels", levels, 1)
    if a.size > MAX_LEVELS:
        raise ValueError(f"levels: at most {MAX_LEVELS}, not {a.size}")
    if not np.all(np.isfinite(a)):
        raise ValueError("levels: every level must be a finite number")
    if np.any(a[1:] <= a[:-1]):
        raise ValueError("levels: must be strictly increasing")
    return a


def _flags(name, chosen, levels, default):
    """Per level, whether it is among the chosen level values (all, for None
    when default is True)."""
    if chosen is None:
        return [default] * len(levels)
    values = _float_array(name, [chosen] if np.isscalar(chosen) else list(chosen), 1)
    if values.size == 0:
        return [False] * len(levels)
    with np.errstate(over="ignore"):  # levels beyond single precision are the library's to refuse
        as_stored = np.asarray(levels, dtype=np.float32)
        chosen32 = values.astype(np.float32)
    for v, v32 in zip(values, chosen32):
        if not np.any(as_stored == v32):
            raise ValueError(f"{name}: {v:g} is not one of the levels")
    return [bool(np.any(chosen32 == l)) for l in as_stored]


def _titles(titles):
    if isinstance(titles, str):
        titles = [titles]
    titles = list(titles)
    if len(titles) > MAX_TITLES:
        raise ValueError(f"titles: at most {MAX_TITLES}, not {len(titles)}")
    out = []
    for i, t in enumerate(titles):
        if not isinstance(t, str):
            raise ValueError(f"titles: title {i} is not a str")
        try:
            b = t.encode("cp932")
        except UnicodeEncodeError as e:
            raise ValueError(f"titles: title {i} has a character code page 932 lacks ({e.object[e.start]!r})") from None
        if len(b) > TITLE_BYTES:
            raise ValueError(f"titles: title {i} is {len(b)} bytes in code page 932, more than {TITLE_BYTES}")
        if any(c < 0x20 for c in b):
            raise ValueError(f"titles: title {i} holds a control character")
        out.append(b)
    return out


def _info(levels, bold, labelled, titles, full):
    info = _isovar.Info()
    info.levels = [float(v) for v in levels]
    info.bold = [1 if b else 0 for b in _flags("bold", bold, levels, False)]
    info.labelled = [1 if b else 0 for b in _flags("labelled", labelled, levels, True)]
    info.titles = _titles(titles)
    info.display_mode = 2 if full else 1
    return info


def _threads(threads):
    """The threads of a trace: None for one per core (0 to the library)."""
    if threads is None:
        return 0
    if isinstance(threads, bool) or not isinstance(threads, int) or threads < 1:
        raise ValueError("threads: None (one per core) or a count from 1")
    return threads


def _large(large):
    if large is None or isinstance(large, bool):
        return large
    raise ValueError("large: None (as needed), True or False")


def _auto_levels(values, name):
    finite = values[np.isfinite(values)]
    if finite.size == 0:
        raise ValueError(f"{name}: no value at all, so no level can be chosen; give levels")
    from . import _convert  # the converter's choice of round levels
    try:
        return np.asarray(_convert.auto_levels(float(finite.min()), float(finite.max()), AUTO_LEVEL_COUNT))
    except ValueError as e:
        raise ValueError(f"levels: {str(e).replace('give --levels', 'give levels')}") from None


# ---- Models -----------------------------------------------------------------

class Model:
    """A model of the library: a grid or a finite-element mesh with its
    levels, titles and display mode. Made by Grid, Mesh, read and the
    readers of isovar.readers; its methods may run on several threads at
    once (each call traces or draws in a run of its own, without the GIL).

    Attributes: kind ("grid" or "mesh"), levels (float64 array, as stored:
    single precision), bold and labelled (the levels so drawn), titles
    (str), full (the plot fills the picture), extent (xmin, xmax, ymin,
    ymax) and large (the model lies in the growing tables).

    The calls that trace or draw take large: None (the default) or True
    trace in the growing tables, which give what the default tables give
    wherever those hold the results; False keeps the default tables and
    their limits (an IsovarError past them).
    """

    def __init__(self, core):
        self._core = core
        self._refresh()

    def _refresh(self):
        s = self._core.summary()
        self.kind = s["kind"]
        self.large = s["large"]
        self.full = s["display_mode"] == 2
        self.levels = np.array(s["levels"], dtype=np.float64)
        self.levels.flags.writeable = False
        self.bold = tuple(float(v) for v, b in zip(s["levels"], s["bold"]) if b)
        self.labelled = tuple(float(v) for v, b in zip(s["levels"], s["labelled"]) if b)
        self.titles = tuple(t.decode("cp932", "replace") for t in s["titles"])
        self.extent = tuple(float(v) for v in s["extent"])

    def __repr__(self):
        return (f"<isovar.Model {self.kind}, {len(self.levels)} levels, extent {self.extent}"
                f"{', large' if self.large else ''}>")

    # What a call draws or traces: None for the model's own levels and
    # titles, else an Info with the given ones in their place.
    def _override(self, levels=None, bold=None, labelled=None, titles=None, full=None):
        if levels is None and bold is None and labelled is None and titles is None and full is None:
            return None, len(self.levels)
        lv = self.levels if levels is None else _level_values(levels)
        if bold is None:
            bold = self.bold if levels is None else ()
        if labelled is None:
            labelled = self.labelled if levels is None else None
        info = _info(lv, bold, labelled, self.titles if titles is None else titles,
                     self.full if full is None else full)
        return info, len(lv)

    def _style(self, style):
        unknown = sorted(set(style) - set(_STYLE_KEYS))
        if unknown:
            raise TypeError(f"unknown style keyword {unknown[0]!r} (known: {', '.join(_STYLE_KEYS)})")
        return self._override(**style)

    def set_levels(self, levels, bold=(), labelled=None):
        """Replaces the model's levels (and which are bold and labelled) for
        the calls that follow. Not while another thread uses the model."""
        lv = _level_values(levels)
        self._core.set_info(_info(lv, bold, labelled, self.titles, self.full))
        self._refresh()

    def lines(self, levels=None, *, large=None, threads=None):
        """The isolines: a list with one entry per level, each a list of
        (N, 2) float64 arrays of x, y in model units, in the engine's order.
        A closed ring repeats its first point last; the arrays of one level
        are views of one block. levels: others than the model's, for this
        call. threads: how many trace a large model (None: one per core); the
        result is the same for every count."""
        info, count = self._override(levels=levels)
        return self._core.lines(info, _large(large), count, _threads(threads))

    def bands(self, levels=None, *, large=None, threads=None):
        """The filled bands between neighbouring levels: a list of
        len(levels) + 1 entries (entry 0 below the lowest level, the last
        above the highest), each a list of polygons, each polygon a list of
        rings as (N, 2) arrays, the outer ring first (counter-clockwise) and
        its holes after (clockwise), every ring closed (its first point
        repeated). Areas without values lie in no band."""
        info, count = self._override(levels=levels)
        return self._core.bands(info, _large(large), count, _threads(threads))

    def plot(self, size=DEFAULT_SIZE, fill=False, large=None, threads=None, **style):
        """The picture as an (height, width, 3) uint8 RGB array, as
        isovar-plot draws it. size: (width, height); fill: bands filled
        under the lines; style: levels, bold, labelled, titles or full
        in place of the model's, for this picture."""
        info, _ = self._style(style)
        return self._core.plot(info, _large(large), _picture(size, fill), _threads(threads))

    def save(self, path, size=DEFAULT_SIZE, fill=False, large=None, kind="lines", threads=None, **style):
        """Writes what the extension of path names: .png, .bmp (below 1000
        pixels each way), .svg, .pdf (the printed page, as isovar-plot --pdf
        makes it), .geojson or .json (kind "lines" or "bands", as the
        library writes them). The file is replaced only when complete."""
        path = os.fsdecode(os.fspath(path))
        ext = os.path.splitext(path)[1].lower()
        fmt = _PICTURE_FORMATS.get(ext)
        if fmt is None:
            raise ValueError(f"path: no format for the extension {ext!r} "
                             f"(known: {', '.join(sorted(_PICTURE_FORMATS))})")
        info, _ = self._style(style)
        large = _large(large)
        threads = _threads(threads)
        if fmt == "geojson":
            self._core.save_geojson(info, large, kind, path, threads)
        elif fmt == "pdf":
            from . import _pdf  # cairo, loaded for the first PDF only
            with tempfile.TemporaryDirectory(prefix="isovar-") as folder:
                display_list = os.path.join(folder, "prtInfo.tmp")
                self._core.save_picture(info, large, _picture(size, fill), "display_list", display_list, threads)
                try:
                    pdf = _pdf.print_pdf(display_list, "isovar (Python)")
                except ValueError as e:
                    raise IsovarError(str(e)) from None
            _isovar.write_file(path, pdf)
        else:
            self._core.save_picture(info, large, _picture(size, fill), fmt, path, threads)

    def to_geojson(self, kind="lines", levels=None, *, large=None, threads=None):
        """The isolines (kind "lines") or the band polygons ("bands") as a
        GeoJSON FeatureCollection dict, as the library writes it: one feature
        per polyline with the properties level, level_index, closed, bold
        and labelled; or one per band with band, lower and upper."""
        if kind not in ("lines", "bands"):
            raise ValueError(f'kind: "lines" or "bands", not {kind!r}')
        info, _ = self._override(levels=levels)
        with tempfile.TemporaryDirectory(prefix="isovar-") as folder:
            path = os.path.join(folder, kind + ".geojson")
            self._core.save_geojson(info, _large(large), kind, path, _threads(threads))
            with open(path, encoding="utf-8") as f:
                return json.load(f)


def _picture(size, fill):
    try:
        width, height = (int(v) for v in size)
    except (TypeError, ValueError):
        raise ValueError("size: (width, height) in pixels") from None
    if width <= 0 or height <= 0 or width > 32767 or height > 32767:
        raise ValueError(f"size: {width} x {height} pixels is no picture (1 to 32767 each way)")
    return _isovar.Picture(width, height, bool(fill))


class Grid(Model):
    """A grid model from arrays: x of length nx and y of length ny, each
    strictly increasing, z of shape (ny, nx) (z[j, i] at x[i], y[j]), NaN
    where there is no value. levels: ascending (at most 49), or None for
    about ten round levels between the lowest and highest value. bold and
    labelled: the levels so drawn (labelled None: all). titles: up to five
    lines. full: the plot fills the picture instead of keeping the scale.
    large: None to use the growing tables when the default ones do not hold
    the model, True or False to force either. Numbers are stored in single
    precision, as the model file's reader stores them; coordinates far from
    0 for their span as offsets from an origin the model chooses, or from
    origin=(x0, y0) when given (tiles of one grid given the whole grid's,
    axis_origin(x) and axis_origin(y), store and trace their cells as the
    whole grid does, bit for bit)."""

    def __init__(self, x, y, z, levels=None, titles=(), bold=(), labelled=None, *, full=False, large=None,
                 origin=None):
        x = _coordinates("x", x)
        y = _coordinates("y", y)
        z = _float_array("z", z, 2)
        if z.shape != (y.size, x.size):
            raise ValueError(f"z: shape must be (len(y), len(x)) = ({y.size}, {x.size}), not {z.shape}")
        lv = _auto_levels(z, "z") if levels is None else _level_values(levels)
        info = _info(lv, bold, labelled, titles, full)
        if origin is not None:
            origin = tuple(float(v) for v in origin)
            if len(origin) != 2 or not all(np.isfinite(origin)):
                raise ValueError(f"origin: two finite numbers (x0, y0), not {origin}")
        super().__init__(_isovar.grid(x, y, z, info, _large(large), origin))


def axis_origin(v):
    """The origin Grid chooses for an axis of coordinates v (its first value
    when that halves the largest magnitude to store, else 0)."""
    return _isovar.axis_origin(_coordinates("v", v))


def _cells(cells, node_count):
    """cells as an (n, 4) int32 array, -1 last for a triangle."""
    if isinstance(cells, (list, tuple)) and cells and all(
            isinstance(c, np.ndarray) and c.ndim == 2 for c in cells):
        parts = [_cells(c, node_count) for c in cells]  # blocks of triangles and of quadrilaterals
        return np.concatenate(parts) if parts else np.zeros((0, 4), np.int32)
    try:
        a = np.asarray(cells)
    except ValueError:
        a = None
    if a is None or a.dtype == object:
        rows = list(cells)
        out = np.full((len(rows), 4), -1, dtype=np.int64)
        for r, row in enumerate(rows):
            row = list(row)
            if len(row) not in (3, 4):
                raise ValueError(f"cells: cell {r} has {len(row)} nodes, not 3 or 4")
            out[r, :len(row)] = row
        a = out
    elif a.size == 0:
        return np.zeros((0, 4), np.int32)
    if a.ndim != 2 or a.shape[1] not in (3, 4):
        raise ValueError(f"cells: must be of shape (n, 3) or (n, 4), not {a.shape}")
    if not np.issubdtype(a.dtype, np.integer):
        if not np.all(np.equal(np.mod(a, 1), 0)):
            raise ValueError("cells: node indices must be whole numbers")
        a = a.astype(np.int64)
    if a.shape[1] == 3:
        a = np.concatenate([a, np.full((a.shape[0], 1), -1, a.dtype)], axis=1)
    corners = a[:, :3]
    last = a[:, 3]
    bad = np.flatnonzero(np.any((corners < 0) | (corners >= node_count), axis=1) | (last < -1) | (last >= node_count))
    if bad.size:
        raise ValueError(f"cells: cell {bad[0]} names a node outside 0 to {node_count - 1}: {a[bad[0]].tolist()}")
    return np.ascontiguousarray(a, dtype=np.int32)


class Mesh(Model):
    """A finite-element model from arrays: node coordinates x and y and
    values (NaN: none), one each per node, and cells: an (n, 3) or (n, 4)
    integer array of 0-based node indices (triangles or quadrilaterals; in
    an (n, 4) array a last index of -1 makes a triangle), or a list of such
    arrays, or a list of 3- and 4-node sequences. A cell with a node without
    a value is not traced. Other arguments as for Grid."""

    def __init__(self, x, y, cells, values, levels=None, titles=(), bold=(), labelled=None, *, full=False,
                 large=None):
        x = _float_array("x", x, 1)
        y = _float_array("y", y, 1)
        values = _float_array("values", values, 1)
        if y.size != x.size:
            raise ValueError(f"y: one per node, {x.size} as x, not {y.size}")
        if values.size != x.size:
            raise ValueError(f"values: one per node, {x.size} as x, not {values.size}")
        for name, a in (("x", x), ("y", y)):
            bad = np.flatnonzero(~np.isfinite(a))
            if bad.size:
                raise ValueError(f"{name}: node {bad[0]} has no finite coordinate")
        c = _cells(cells, x.size)
        lv = _auto_levels(values, "values") if levels is None else _level_values(levels)
        info = _info(lv, bold, labelled, titles, full)
        super().__init__(_isovar.mesh(x, y, values, c, info, _large(large)))


def release_runs():
    """Frees the runs the package keeps for the calls that follow (up to
    four in the default tables and the last two that used the growing
    tables, which keep the memory of the last large models' traces)."""
    _isovar.release_runs()


def read(path, *, large=None):
    """The model of a model file (its levels, titles and flags with it).
    large as for Grid. Raises IsovarError with the reader's message."""
    path = os.fsdecode(os.fspath(path))
    return Model(_isovar.read(path, _large(large)))
